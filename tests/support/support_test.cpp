// What the process and transport tests stand on: a crash taken for an exit, or a wait that
// ends early, would let them pass.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "child.h"
#include "wait.h"

namespace kf::test {
namespace {

TEST(Child, ReportsHowItEnded) {
    const ChildOptions capture{{{"WORD", "hi"}}, true};
    const struct {
        const char* what;
        std::function<ChildEnd()> run;
        int status, signal;
        std::string output;
    } cases[] = {
        {"an exit", [] { return Child([] { return 3; }).wait(); }, 3, 0, ""},
        {"a crash", [] { return Child([]() -> int { std::abort(); }).wait(); }, -1, SIGABRT, ""},
        {"killed", [] { return Child([] { return ::pause(); }).kill(); }, -1, SIGKILL, ""},
        {"a program", [&] { return runProgram("/bin/sh", {"-c", "echo $WORD; exit 4"}, capture); }, 4, 0, "hi\n"},
        {"no such program", [] { return runProgram("/nonexistent/program", {}); }, 127, 0, ""},
    };
    for (const auto& c : cases) {
        const ChildEnd end = c.run();
        EXPECT_FALSE(end.hung) << c.what;
        EXPECT_EQ(end.status(), c.status) << c.what;
        EXPECT_EQ(end.signal, c.signal) << c.what;
        EXPECT_EQ(end.output, c.output) << c.what;
    }
}

TEST(Child, TellsWhenAWordAppears) {
    Child child("/bin/sh", {"-c", "echo shown; exec sleep 600"}, {{}, true});
    EXPECT_GE(child.waitForOutput("shown"), 0.0);
    EXPECT_EQ(child.kill().signal, SIGKILL) << "still running after its word";
    Child silent("/bin/sh", {"-c", "exit 0"}, {{}, true});
    EXPECT_LT(silent.waitForOutput("shown"), 0.0) << "ended without it";
}

TEST(Wait, ForTheConditionAndForQuiet) {
    int calls = 0;
    EXPECT_TRUE(waitUntil([&] { return ++calls == 3; }, kHang));
    EXPECT_EQ(calls, 3);
    calls = 0;
    waitQuiet([&] { return std::min(++calls, 5); }, std::chrono::milliseconds(30), kHang);
    EXPECT_GT(calls, 5) << "quiet only once the count stood still";
}

}  // namespace
}  // namespace kf::test
