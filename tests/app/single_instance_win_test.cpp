// One running copy, held by the named mutex.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>

#include <windows.h>

#include "app/single_instance.h"
#include "gui_harness.h"

namespace kf::test {
namespace {

TEST(SingleInstance, TheMutexHoldsOneCopyAtATimeAndGoesWithIt) {
    const QString name = QStringLiteral("KitforgeTest-%1").arg(QCoreApplication::applicationPid());
    {
        ui::SingleInstance first(name);
        ASSERT_EQ(first.acquire(), ui::SingleInstance::Claim::Acquired);
        ui::SingleInstance second(name);
        ScriptedDialogs dialogs;
        EXPECT_EQ(ui::claimSingleInstance(second, dialogs), std::optional<int>(0));
        EXPECT_TRUE(dialogs.shown.empty());
    }
    // The first copy ended: its mutex with it, crashed or not.
    ui::SingleInstance third(name);
    EXPECT_EQ(third.acquire(), ui::SingleInstance::Claim::Acquired);
}

TEST(SingleInstance, ASecondCopyEndsAtOnceWithNoWindow) {
    HANDLE held = ::CreateMutexW(nullptr, FALSE, L"MutexObjectKFG");
    ASSERT_NE(held, nullptr);
    ASSERT_NE(::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << "a copy of the program is running";
    QProcess second;
    second.start(KITFORGE_EXECUTABLE, {});
    EXPECT_TRUE(second.waitForFinished(20000)) << "the second copy kept running";
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardOutput().isEmpty());
    if (second.state() != QProcess::NotRunning) second.kill();
    ::CloseHandle(held);
}

}  // namespace
}  // namespace kf::test
