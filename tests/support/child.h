// Programs and functions run in a child process, for what a test cannot judge from inside
// its own: a crash, a hang, an exit status, the memory a run took, what a program printed.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "wait.h"

namespace kf::test {

struct ChildOptions {
    std::vector<std::pair<std::string, std::string>> env;  // set in the child only
    bool captureOutput = false;  // stdout into ChildEnd::output, else the test's own
    bool quietErrors = true;     // stderr to /dev/null
    bool errorsInOutput = false; // stderr captured with stdout (needs captureOutput)
};

struct ChildEnd {
    bool hung = false;   // still running at the bound, then killed
    int exitCode = -1;   // when it exited
    int signal = 0;      // when a signal ended it
    double seconds = 0;  // from its start to its end (or to the bound)
    std::string output;  // all it printed, when captured

    bool exited() const { return !hung && signal == 0; }
    // Its exit status; -1 when it hung or a signal ended it.
    int status() const { return exited() ? exitCode : -1; }
};

// One child process; a child still running when this goes is killed and reaped.
class Child {
public:
    // program with args (argv[0] is program's file name), or body whose return value is the
    // exit status.
    Child(const std::string& program, const std::vector<std::string>& args, const ChildOptions& options = {});
    Child(const std::function<int()>& body, const ChildOptions& options = {});
    Child(Child&& other) noexcept;
    ~Child();

    bool started() const { return pid_ > 0; }
    // Waits, within bound, until the captured output holds word; the seconds since the start,
    // or -1 when the child ended or the bound passed first.
    double waitForOutput(const std::string& word, std::chrono::seconds bound = kHang);
    // Waits for the end; a child still running after bound is killed.
    ChildEnd wait(std::chrono::seconds bound = kHang);
    // Ends it now.
    ChildEnd kill();

private:
    void start(const std::function<void()>& inChild, const ChildOptions& options);
    bool readSome(int timeoutMs);

    pid_t pid_ = -1;
    int out_ = -1;
    std::string output_;
    std::chrono::steady_clock::time_point start_;
};

// Runs a program to its end (or kills it after bound).
ChildEnd runProgram(const std::string& program, const std::vector<std::string>& args,
                    const ChildOptions& options = {}, std::chrono::seconds bound = kHang);

}  // namespace kf::test
