// The program ended by the system (log-out, kill, Ctrl+C, a closed terminal) closes as its close
// button does and keeps its settings.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <csignal>

#include "gui_harness.h"
#include "wait.h"

namespace kf::test {
namespace {

struct EndSignalCase {
    const char* name;
    int signal;
    // A kit named on the command line: its open paints the window before the start has ended.
    bool withKit;
};

class EndSignal : public ::testing::TestWithParam<EndSignalCase> {};

TEST_P(EndSignal, ClosesTheWindowAndWritesTheSettings) {
    QTemporaryDir dir;
    const QString conf = dir.path() + "/config/Vondrel/Kitforge.conf";
    {
        // Preview off: nothing to open on a machine without MIDI, and a value to find written back.
        QSettings preset(conf, QSettings::IniFormat);
        preset.setValue("Preview", "0");
        preset.setValue("Velocity", "99");
    }
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", dir.path() + "/config");
    env.insert("XDG_RUNTIME_DIR", dir.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    // Printed at the first paint, once the window is up and listening.
    env.insert("KITFORGE_STARTUP_STEPS", "1");
    program.setProcessEnvironment(env);
    QStringList arguments;
    if (GetParam().withKit) arguments << KITFORGE_SOURCE_DATA_DIR "/../tests/fuzz/examples/kit/basic.kfg";
    program.start(KITFORGE_EXECUTABLE, arguments);
    ASSERT_TRUE(program.waitForStarted());
    QByteArray said;
    const bool shown = waitUntil(
        [&] {
            program.waitForReadyRead(10);
            said += program.readAllStandardError();
            return said.contains("first paint") || program.state() == QProcess::NotRunning;
        },
        kHang);
    ASSERT_TRUE(shown && program.state() == QProcess::Running) << said.toStdString();
    ASSERT_EQ(::kill(static_cast<pid_t>(program.processId()), GetParam().signal), 0);
    ASSERT_TRUE(program.waitForFinished(static_cast<int>(std::chrono::milliseconds(kHang).count())));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << "ended by the signal itself";
    EXPECT_EQ(program.exitCode(), 0);
    QSettings written(conf, QSettings::IniFormat);
    EXPECT_EQ(written.value("Velocity").toString(), "99");
    EXPECT_EQ(written.value("Preview").toString(), "0");
    // Written at exit: a value the preset did not hold.
    EXPECT_TRUE(written.contains("DataBoxPos")) << QFile(conf).size();
}

INSTANTIATE_TEST_SUITE_P(Signals, EndSignal,
                         ::testing::Values(EndSignalCase{"Term", SIGTERM, false},
                                           EndSignalCase{"Interrupt", SIGINT, false},
                                           EndSignalCase{"HangUp", SIGHUP, false},
                                           EndSignalCase{"TermWithAKitOpen", SIGTERM, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kf::test
