// How long a user waits on a JACK server that fails: kitforge-cli send ending once the server is
// killed or stopped mid-transfer; send and fetch ending once the server stops at moments from
// 0.05 s to 1 s after their start (opening the port, connecting, the first messages); and
// against a server stopped before the first connection the port list, a send and the editor's
// first paint. Several runs each; min, median and max of the seconds from the fault to the end.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "child.h"
#include "files/disk.h"
#include "files/kit_file.h"
#include "jack_module.h"
#include "private_server.h"
#include "sample_kit.h"
#include "switch_on.h"
#include "wait.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 5;

struct Figure {
    std::string what;
    std::vector<double> seconds;
    int failed = 0;  // runs that ended otherwise than a user is told they end
};

void print(const Figure& f) {
    std::vector<double> s = f.seconds;
    std::sort(s.begin(), s.end());
    if (s.empty()) {
        std::printf("%-58s  no run ended as it should (%d failed)\n", f.what.c_str(), f.failed);
        return;
    }
    std::printf("%-58s %7.3f %7.3f %7.3f", f.what.c_str(), s.front(), s[s.size() / 2], s.back());
    if (f.failed) std::printf("  (%d runs failed)", f.failed);
    std::printf("\n");
}

bool portShown(const std::string& server) {
    const kf::test::ChildEnd listed = kf::test::runProgram(JACK_LSP, {}, {{{"JACK_DEFAULT_SERVER", server}}, true});
    return listed.output.find("Kitforge:Kitforge") != std::string::npos;
}

// The send exits 1 with a message soon after the fault: the seconds from the fault to its end.
Figure faultToExit(const std::string& what, int signal, const std::string& file) {
    Figure f{"send: server " + what + " mid-transfer, fault to exit", {}, 0};
    for (int run = 0; run < kRuns; ++run) {
        kf::test::PrivateServer server(JACK_SERVER_SCRIPT, "kitforge-bench-" + what);
        if (!server.ok()) return f;
        kf::test::Child cli(KITFORGE_CLI, {"send", "--port", "-1", file}, {{{"JACK_DEFAULT_SERVER", server.name()}}});
        if (!kf::test::waitUntil([&] { return portShown(server.name()); }, kf::test::kHang)) {
            ++f.failed;
            continue;
        }
        ::kill(server.pid(), signal);
        const auto fault = Clock::now();
        const kf::test::ChildEnd end = cli.wait();
        if (end.status() != 1) ++f.failed;
        else f.seconds.push_back(std::chrono::duration<double>(Clock::now() - fault).count());
    }
    return f;
}

// The verb's run with the server stopped moment after its start: every run must end with exit 1.
Figure stoppedAt(const std::string& verb, double moment, const std::string& file) {
    char what[96];
    std::snprintf(what, sizeof what, "%s: server stopped %.2f s after the start", verb.c_str(), moment);
    Figure f{what, {}, 0};
    for (int run = 0; run < 3; ++run) {
        kf::test::PrivateServer server(JACK_SERVER_SCRIPT, "kitforge-bench-sweep");
        if (!server.ok()) return f;
        ::setenv("JACK_DEFAULT_SERVER", server.name().c_str(), 1);
        std::vector<std::string> args{"send", "--port", "-1", file};
        std::unique_ptr<kf::test::JackModule> module;
        if (verb == "fetch") {
            module = std::make_unique<kf::test::JackModule>("kfsweep", kf::test::fullKit(), std::chrono::milliseconds(2));
            const std::string out = kf::test::cliPortId(KITFORGE_CLI, "kfsweep:in");
            const std::string in = kf::test::cliPortId(KITFORGE_CLI, "kfsweep:out", true);
            args = {"fetch", "--port", out, "--in", in, file + ".fetched.kfg"};
        }
        const auto start = Clock::now();
        kf::test::Child cli(KITFORGE_CLI, args);
        std::this_thread::sleep_until(start + std::chrono::duration<double>(moment));
        ::kill(server.pid(), SIGSTOP);
        const auto fault = Clock::now();
        const kf::test::ChildEnd end = cli.wait(std::chrono::seconds(20));
        if (end.status() != 1) ++f.failed;
        else f.seconds.push_back(std::chrono::duration<double>(Clock::now() - fault).count());
        ::kill(server.pid(), SIGCONT);
        module.reset();
    }
    return f;
}

}  // namespace

int main() {
    const std::string work = (std::filesystem::temp_directory_path() / "kitforge-jack-fault-bench").string();
    std::filesystem::create_directories(work);
    const std::string file = work + "/kit.kfg";
    kf::writeFileAtomically(file, kf::WriteKitFile(kf::test::fullKit()));
    std::printf("%-58s %7s %7s %7s  (s, %d runs)\n", "JACK server fault", "min", "median", "max", kRuns);
    print(faultToExit("killed", SIGKILL, file));
    print(faultToExit("stopped", SIGSTOP, file));
    for (const char* verb : {"send", "fetch"})
        for (double moment : {0.05, 0.1, 0.15, 0.25, 0.3, 0.5, 1.0}) print(stoppedAt(verb, moment, file));
    ::unsetenv("JACK_DEFAULT_SERVER");
    Figure ports{"ports: server stopped before the first connection", {}, 0};
    Figure send{"send: server stopped before the first connection", {}, 0};
    [[maybe_unused]] Figure window{"editor's first paint: server stopped before", {}, 0};
    for (int run = 0; run < kRuns; ++run) {
        kf::test::PrivateServer server(JACK_SERVER_SCRIPT, "kitforge-bench-before");
        if (!server.ok()) break;
        ::kill(server.pid(), SIGSTOP);
        const kf::test::ChildEnd listed =
            kf::test::runProgram(KITFORGE_CLI, {"ports"}, {{{"JACK_DEFAULT_SERVER", server.name()}}, true});
        listed.status() == 1 ? ports.seconds.push_back(listed.seconds) : void(++ports.failed);
        const kf::test::ChildEnd sent = kf::test::runProgram(KITFORGE_CLI, {"send", "--port", "0", file},
                                                             {{{"JACK_DEFAULT_SERVER", server.name()}}, true});
        sent.status() == 1 ? send.seconds.push_back(sent.seconds) : void(++send.failed);
#ifdef KITFORGE_WINDOW_PROBE
        const double shown = kf::test::startEditor(KITFORGE_WINDOW_PROBE, server.name(), work + "/home")
                                 .waitForOutput("shown");
        shown >= 0 ? window.seconds.push_back(shown) : void(++window.failed);
#endif
    }
    print(ports);
    print(send);
#ifdef KITFORGE_WINDOW_PROBE
    print(window);
#endif
    return 0;
}
