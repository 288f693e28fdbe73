// One running copy, held by a lock file.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>

#include "app/single_instance.h"
#include "gui_harness.h"

namespace kf::test {
namespace {

TEST(SingleInstance, ALiveLockBlocksAndAStaleOneDoesNot) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/MutexObjectKFG";
    {
        ui::SingleInstance first(path);
        ASSERT_EQ(first.acquire(), ui::SingleInstance::Claim::Acquired);
        // another process holds it: simulated by a second process below
    }
    // A lock file left by a process that is gone (a crashed run).
    QProcess gone;
    gone.start("/bin/true");
    gone.waitForFinished();
    const qint64 deadPid = gone.processId() ? gone.processId() : 999999;
    QFile stale(path);
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write(QByteArray::number(deadPid) + "\nkitforge\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    stale.close();
    ui::SingleInstance again(path);
    EXPECT_EQ(again.acquire(), ui::SingleInstance::Claim::Acquired);
}

TEST(SingleInstance, ALockFileThatNamesNoOwnerIsStale) {
    for (const QByteArray& content : {QByteArray(), QByteArray("\n"), QByteArray("garbage"), QByteArray("-5\nx\n")}) {
        QTemporaryDir dir;
        const QString path = dir.path() + "/MutexObjectKFG";
        QFile left(path);
        ASSERT_TRUE(left.open(QIODevice::WriteOnly));
        left.write(content);
        left.close();
        ui::SingleInstance copy(path);
        EXPECT_EQ(copy.acquire(), ui::SingleInstance::Claim::Acquired) << content.toStdString();
        // and now it is a live lock
        ui::SingleInstance second(path);
        EXPECT_EQ(second.acquire(), ui::SingleInstance::Claim::HeldByAnother);
    }
}

TEST(SingleInstance, ASecondCopyEndsAtOnceWithNoWindow) {
    QTemporaryDir run;
    const QString lockPath = run.path() + "/MutexObjectKFG";
    QLockFile held(lockPath);
    ASSERT_TRUE(held.tryLock(0));
    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", run.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    second.setProcessEnvironment(env);
    second.start(KITFORGE_EXECUTABLE, {});
    ASSERT_TRUE(second.waitForFinished(10000)) << "the second copy kept running";
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardOutput().isEmpty());
}

// Not being able to check for a running copy is not the same as finding one: the user is told
// why, and the exit status says it failed.
TEST(SingleInstance, ALockThatCanBeNeitherMadeNorReadIsSaidAndEndsWithOne) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("MutexObjectKFG"));
    const QStringList unusable = {
        dir.path() + "/MutexObjectKFG",               // a folder where the lock belongs
        dir.path() + "/gone/MutexObjectKFG",          // a runtime folder that is not there
        QStringLiteral("/proc/MutexObjectKFG"),       // a folder no one may write, root included
    };
    for (const QString& path : unusable) {
        ui::SingleInstance instance(path);
        ScriptedDialogs dialogs;
        EXPECT_EQ(ui::claimSingleInstance(instance, dialogs), std::optional<int>(1)) << path.toStdString();
        ASSERT_EQ(dialogs.shown.size(), 1u) << path.toStdString();
        EXPECT_EQ(dialogs.shown[0].icon, QMessageBox::Critical);
        EXPECT_TRUE(dialogs.shown[0].text.contains(path)) << dialogs.shown[0].text.toStdString();
    }
    // A live copy still ends the second one quietly, with 0.
    ui::SingleInstance first(dir.path() + "/lock");
    ASSERT_EQ(first.acquire(), ui::SingleInstance::Claim::Acquired);
    ui::SingleInstance second(dir.path() + "/lock");
    ScriptedDialogs dialogs;
    EXPECT_EQ(ui::claimSingleInstance(second, dialogs), std::optional<int>(0));
    EXPECT_TRUE(dialogs.shown.empty());
}

}  // namespace
}  // namespace kf::test
