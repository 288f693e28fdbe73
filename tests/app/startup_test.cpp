#include <gtest/gtest.h>

#include <QTest>

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QMenu>
#include <QTemporaryDir>

#include "app/title_window.h"
#include "app/data_box.h"
#include "app/grid.h"
#include "app/panel.h"
#include "app/status_bar.h"
#include "gui_harness.h"

#include <QComboBox>
#include <QMenu>
#include <QProgressBar>
#include <QToolButton>

#include "app/controls.h"
#include "app/preview.h"

namespace kf::test {
namespace {

const std::string kRhythm = "F0 41 10 42 12 40 1A 15 02 0F F7";

TEST(StartUp, PreviewOnSendsTheRhythmPartThenTheTenSetUpMessages) {
    Harness h;
    const std::vector<std::string> expected{
        kRhythm,           param(1, 0, 1, 60), param(1, 0, 2, 127), param(1, 0, 4, 64), param(1, 0, 5, 127),
        param(1, 0, 6, 0), param(1, 0, 9, 0),  param(1, 0, 3, 0),   param(1, 0, 10, 2), param(1, 0, 11, 0),
        param(1, 0, 12, 0)};
    EXPECT_EQ(h.takeSent(), expected);
    EXPECT_EQ(h.midi().opened, (std::vector<int>{-1}));
    EXPECT_FALSE(h.document().modified());
    EXPECT_TRUE(h.dialogs().shown.empty());
    // the start values land in the empty entry of set 1, note 0, which stays unused
    const DrumNoteEntry& e = h.document().kit().entry(1, 0);
    EXPECT_EQ(e.used, 0);
    EXPECT_EQ(e.playNote, 60);
    EXPECT_EQ(e.sourceMap, 2);
    EXPECT_EQ(h.window().windowTitle(), QStringLiteral("Kitforge - 無題"));
    EXPECT_EQ(h.window().status()->cell(), "1,   1");
    EXPECT_FALSE(h.window().titleWindow()->isVisible());
    EXPECT_EQ(h.window().titleWindow()->findChild<QProgressBar*>("ProgressBar1")->value(), 4053 / 128 + 1);
}

struct OpenFailure {
    const char* name;
    MidiError::Kind kind;
    const char* lines;  // the box's first two lines; the transport's own words follow in brackets
};

class FailedOpen : public ::testing::TestWithParam<OpenFailure> {};

// The box says what went wrong; only a port in use asks the user to wait for it.
TEST_P(FailedOpen, LeavesPreviewOffWithTheBoxNamingTheCause) {
    HarnessOptions o;
    o.failOpen = true;
    o.failKind = GetParam().kind;
    Harness h(o);
    EXPECT_TRUE(h.takeSent().empty());
    ASSERT_EQ(h.dialogs().shown.size(), 1u);
    EXPECT_EQ(h.dialogs().shown[0].caption, QStringLiteral("ﾌﾟﾚﾋﾞｭｰ機能"));
    EXPECT_EQ(h.dialogs().shown[0].text, QString::fromUtf8(GetParam().lines) + QStringLiteral("\r\n(no such port)"));
    EXPECT_EQ(h.dialogs().shown[0].icon, QMessageBox::Warning);
    EXPECT_FALSE(h.session().preview());
    EXPECT_FALSE(h.window().previewAction()->isChecked());
    EXPECT_FALSE(h.window().previewButton()->isEnabled());
    EXPECT_FALSE(h.window().sendMenu()->menuAction()->isEnabled());
    EXPECT_FALSE(h.parts().panel->velocityTrackBar()->isVisible());
    EXPECT_FALSE(h.parts().dataBox->previewButton()->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Causes, FailedOpen,
    ::testing::Values(
        OpenFailure{"Busy", MidiError::PortBusy,
                    "指定したMIDIﾃﾞﾊﾞｲｽはすでに使われています。\r\n解放されるまで待ってから、やり直してください。"},
        OpenFailure{"NoMidiSystem", MidiError::NoMidiSystem,
                    "MIDIｼｽﾃﾑが見つかりません。\r\nMIDIｼｽﾃﾑを用意してから、やり直してください。"},
        OpenFailure{"NoSuchPort", MidiError::NoSuchPort,
                    "指定したMIDIﾃﾞﾊﾞｲｽが見つかりません。\r\nｵﾌﾟｼｮﾝでMIDIﾃﾞﾊﾞｲｽを選び直してください。"},
        OpenFailure{"ServerNotAnswering", MidiError::ServerGone,
                    "MIDIｻｰﾊﾞｰが応答しません。\r\nｻｰﾊﾞｰが動いているか確かめてから、やり直してください。"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StartUp, APortThatFailsToOpenIsReportedOverTheTitleWindow) {
    HarnessOptions o;
    o.failOpen = true;
    o.create = false;
    Harness h(o);
    bool titleShown = false;
    h.dialogs().onMessage = [&] { titleShown = h.window().titleWindow() && h.window().titleWindow()->isVisible(); };
    h.window().FormCreate();
    ASSERT_EQ(h.dialogs().shown.size(), 1u);
    EXPECT_TRUE(titleShown);
    EXPECT_FALSE(h.window().titleWindow()->isVisible());
}

TEST(StartUp, ADeviceThatTakesNothingIsReportedOnce) {
    HarnessOptions o;
    o.refuseSends = true;
    Harness h(o);
    // All eleven are lost, the box shown once: the sender may still be dropping when it shows.
    ASSERT_TRUE(QTest::qWaitFor([&] { return h.midiOut().droppedCount() == 11 && !h.dialogs().shown.empty(); },
                                30000));
    QApplication::processEvents();
    ASSERT_EQ(h.dialogs().shown.size(), 1u);
    EXPECT_EQ(h.dialogs().shown[0].caption, QStringLiteral("ﾌﾟﾚﾋﾞｭｰ機能"));
    EXPECT_TRUE(h.dialogs().shown[0].text.contains("Kitforge"));
    EXPECT_EQ(h.midiOut().droppedCount(), 11);
}

TEST(StartUp, MissingTablesAreReportedAfterTheWindowIsUpAndNoSettingsAreWritten) {
    QTemporaryDir empty;
    HarnessOptions o;
    o.tableDirs = {empty.path()};
    Harness h(o);
    ASSERT_EQ(h.dialogs().shown.size(), 1u);
    EXPECT_EQ(h.dialogs().shown[0].text, QStringLiteral("ﾌｧｲﾙ %1 は開けません").arg(QDir::toNativeSeparators(empty.path() + "/Drum_set.csv")))
        << h.dialogs().shown[0].text.toStdString();
    EXPECT_FALSE(h.parts().dataBox->mapList()->isEnabled());
    h.window().FormDestroy();
    EXPECT_TRUE(h.settings().allKeys().isEmpty());
}

TEST(StartUp, ShutdownClosesThePortAndSendsNothing) {
    Harness h;
    h.takeSent();
    h.window().FormDestroy();
    EXPECT_TRUE(h.takeSent().empty());
    EXPECT_EQ(h.midi().closes, 1);
    EXPECT_EQ(h.settings().value("Preview").toString(), "1");
}

}  // namespace
}  // namespace kf::test
