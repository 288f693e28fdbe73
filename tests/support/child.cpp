#include "child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

namespace kf::test {

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

void toDevNull(int fd) {
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) ::dup2(null, fd), ::close(null);
}

}  // namespace

Child::Child(const std::string& program, const std::vector<std::string>& args, const ChildOptions& options) {
    // Made before the fork: the child of a test with threads allocates as little as it can.
    std::vector<char*> argv{const_cast<char*>(program.c_str() + program.rfind('/') + 1)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    start([&] { ::execv(program.c_str(), argv.data()); }, options);
}

Child::Child(const std::function<int()>& body, const ChildOptions& options) {
    start([&] { ::_exit(body()); }, options);
}

Child::Child(Child&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)), out_(std::exchange(other.out_, -1)), output_(std::move(other.output_)),
      start_(other.start_) {}

Child::~Child() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) ::close(out_);
}

void Child::start(const std::function<void()>& inChild, const ChildOptions& options) {
    int pipe[2] = {-1, -1};
    if (options.captureOutput && ::pipe2(pipe, O_CLOEXEC) != 0) return;
    start_ = Clock::now();
    pid_ = ::fork();
    if (pid_ == 0) {
        if (options.captureOutput) ::dup2(pipe[1], 1);
        if (options.captureOutput && options.errorsInOutput) ::dup2(pipe[1], 2);
        else if (options.quietErrors) toDevNull(2);
        for (const auto& [name, value] : options.env) ::setenv(name.c_str(), value.c_str(), 1);
        inChild();
        ::_exit(127);
    }
    if (options.captureOutput) {
        ::close(pipe[1]);
        out_ = pipe[0];
    }
}

// Reads what is there within timeoutMs; false once the output has ended.
bool Child::readSome(int timeoutMs) {
    pollfd fd{out_, POLLIN, 0};
    if (::poll(&fd, 1, timeoutMs) <= 0) return true;
    char buffer[4096];
    const ssize_t n = ::read(out_, buffer, sizeof buffer);
    if (n <= 0) return false;
    output_.append(buffer, static_cast<size_t>(n));
    return true;
}

double Child::waitForOutput(const std::string& word, std::chrono::seconds bound) {
    if (out_ < 0) return -1;
    const auto end = start_ + bound;
    while (output_.find(word) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0 || !readSome(static_cast<int>(left))) return -1;
    }
    return secondsSince(start_);
}

ChildEnd Child::wait(std::chrono::seconds bound) {
    ChildEnd end;
    if (pid_ <= 0) return end;
    const auto until = Clock::now() + bound;
    int status = 0;
    pid_t done = 0;
    bool reading = out_ >= 0;
    while ((done = ::waitpid(pid_, &status, WNOHANG)) == 0 && Clock::now() < until) {
        if (reading) reading = readSome(10);
        else std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    end.seconds = secondsSince(start_);
    if (done == 0) {
        end.hung = true;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
    } else if (WIFSIGNALED(status)) {
        end.signal = WTERMSIG(status);
    } else if (WIFEXITED(status)) {
        end.exitCode = WEXITSTATUS(status);
    }
    pid_ = -1;
    // What it printed before it ended, to the last byte; a grandchild holding the pipe open
    // does not hold this up.
    for (pollfd fd{out_, POLLIN, 0}; reading && ::poll(&fd, 1, 0) == 1;) reading = readSome(0);
    end.output = std::move(output_);
    return end;
}

ChildEnd Child::kill() {
    if (pid_ > 0) ::kill(pid_, SIGKILL);
    return wait();
}

ChildEnd runProgram(const std::string& program, const std::vector<std::string>& args, const ChildOptions& options,
                    std::chrono::seconds bound) {
    return Child(program, args, options).wait(bound);
}

}  // namespace kf::test
