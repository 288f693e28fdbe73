// A JACK server that stops answering at any one of the calls kitforge-cli or the editor make on
// it: a library loaded in front of libjack holds the N-th call for good, for every N a run
// reaches. Each run still ends, saying that the server does not answer. On a server of the
// test's own: another client coming or going would change the calls a listing makes.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "child.h"
#include "files/disk.h"
#include "files/kit_file.h"
#include "jack_module.h"
#include "private_server.h"
#include "sample_kit.h"
#include "switch_on.h"

namespace kf {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const char* kServerSilent = "JACK server does not answer";
// Every call is given up within a second at most; the rest is room for a busy machine.
constexpr double kEndsWithin = 5.0;

class OwnServer : public ::testing::Environment {
public:
    void SetUp() override {
        server_ = std::make_unique<test::PrivateServer>(JACK_SERVER_SCRIPT, JACK_FAULT_SERVER_PREFIX "stall");
        ASSERT_TRUE(server_->ok());
        ::setenv("JACK_DEFAULT_SERVER", server_->name().c_str(), 1);
    }
    void TearDown() override { server_.reset(); }

private:
    std::unique_ptr<test::PrivateServer> server_;
};
const auto* const kOwnServer = ::testing::AddGlobalTestEnvironment(new OwnServer);

struct Call {
    std::string name, client;
    bool stalled = false;
    double at = 0;  // monotonic seconds, when it was held
};

std::vector<Call> readCalls(const std::string& file) {
    std::vector<Call> calls;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        int n = 0;
        Call c;
        std::string mark;
        words >> n >> c.name >> c.client >> mark >> c.at;
        c.stalled = mark == "stalled";
        calls.push_back(c);
    }
    return calls;
}

double monotonicNow() { return std::chrono::duration<double>(Clock::now().time_since_epoch()).count(); }

struct StallRun {
    test::ChildEnd end;
    std::vector<Call> calls;
    double afterStall = -1;  // seconds from the held call to the end
};

// program with args, the N-th server call held (0: none).
StallRun runStalled(const std::string& program, const std::vector<std::string>& args, int n,
               std::vector<std::pair<std::string, std::string>> env = {}) {
    const std::string log = ::testing::TempDir() + "/kfstall-calls-" + std::to_string(::getpid()) + ".txt";
    std::filesystem::remove(log);
    env.emplace_back("LD_PRELOAD", SERVER_STALL_LIBRARY);
    env.emplace_back("KITFORGE_JACK_CALLS", log);
    env.emplace_back("KITFORGE_JACK_STALL_AT", std::to_string(n));
    test::ChildOptions options{env, true, true, true};
    StallRun run;
    run.end = test::runProgram(program, args, options, 30s);
    const double ended = monotonicNow();
    run.calls = readCalls(log);
    for (const Call& c : run.calls)
        if (c.stalled) run.afterStall = ended - c.at;
    return run;
}

std::string callsText(const std::vector<Call>& calls) {
    std::string text;
    for (size_t i = 0; i < calls.size(); ++i)
        text += std::to_string(i + 1) + " " + calls[i].name + " " + calls[i].client + "\n";
    return text;
}

// On a busy machine an earlier call can outlast its bound: the client is given up there, as for a
// server that stopped, and the call to be held is never made. The run must still end as it should.
bool reached(const StallRun& run, size_t n, const char* what) {
    if (run.afterStall >= 0 && run.calls.size() >= n) return true;
    std::fprintf(stderr, "%-6s %2zu not reached: an earlier call outlasted its bound\n", what, n);
    return false;
}

struct Verb {
    const char* name;
    std::vector<std::string> args;  // {out}, {in} and {file} stand for the module's ports and the kit
};

class JackStall : public ::testing::TestWithParam<Verb> {};

// Every verb reaches its calls in the same order each run: the run without a stall counts them.
TEST_P(JackStall, EveryCallHeldEndsTheVerbWithTheServerNamed) {
    const Verb& verb = GetParam();
    const std::string client = std::string("kfstall") + verb.name;
    const Kit kit = test::tableKit(test::shippedTables(), 2, 3);
    test::JackModule module(client, kit, 2ms);
    ASSERT_TRUE(module.ok());
    const std::string file = ::testing::TempDir() + "/" + client + ".kfg";
    writeFileAtomically(file, WriteKitFile(kit));
    const std::string out = test::cliPortId(KITFORGE_CLI, client + ":in");
    const std::string in = test::cliPortId(KITFORGE_CLI, client + ":out", true);
    ASSERT_FALSE(out.empty() || in.empty()) << "the module's ports are not listed";
    std::vector<std::string> args;
    for (const std::string& a : verb.args)
        args.push_back(a == "{out}" ? out : a == "{in}" ? in : a == "{file}" ? file : a);

    const StallRun clean = runStalled(KITFORGE_CLI, args, 0);
    ASSERT_EQ(clean.end.status(), 0) << clean.end.output;
    ASSERT_FALSE(clean.calls.empty());
    std::cerr << verb.name << ": " << clean.calls.size() << " server calls, " << clean.end.seconds << " s\n";
    for (size_t n = 1; n <= clean.calls.size(); ++n) {
        const StallRun run = runStalled(KITFORGE_CLI, args, static_cast<int>(n));
        const std::string where = std::string(verb.name) + ", call " + std::to_string(n) + " of\n" +
                                  callsText(clean.calls) + "output:\n" + run.end.output;
        ASSERT_TRUE(run.end.exited()) << (run.end.hung ? "hung: " : "killed: ") << where;
        EXPECT_EQ(run.end.status(), 1) << where;
        EXPECT_NE(run.end.output.find(kServerSilent), std::string::npos) << where;
        if (!reached(run, n, verb.name)) continue;
        std::fprintf(stderr, "%-6s %2zu %-22s %-12s exit %d %6.2f s after the stall\n", verb.name, n,
                     run.calls[n - 1].name.c_str(), run.calls[n - 1].client.c_str(), run.end.status(),
                     run.afterStall);
        EXPECT_LT(run.afterStall, kEndsWithin) << where;
    }
}

INSTANTIATE_TEST_SUITE_P(Verbs, JackStall,
                         ::testing::Values(Verb{"send", {"send", "--port", "{out}", "{file}"}},
                                           Verb{"fetch", {"fetch", "--port", "{out}", "--in", "{in}", "{file}"}},
                                           Verb{"ports", {"ports"}}, Verb{"inputs", {"ports", "--in"}}),
                         [](const auto& info) { return std::string(info.param.name); });

#ifdef KITFORGE_WINDOW_PROBE
// The editor with preview on, both ports the module's: a call held while a port opens brings
// the box that names the server; any held call leaves the window to close as it always does.
TEST(JackStall, TheEditorsStartAndCloseNeverHang) {
    const Kit kit = test::tableKit(test::shippedTables(), 2, 3);
    test::JackModule module("kfstallwin", kit, 2ms);
    ASSERT_TRUE(module.ok());
    const std::string out = test::cliPortId(KITFORGE_CLI, "kfstallwin:in");
    const std::string in = test::cliPortId(KITFORGE_CLI, "kfstallwin:out", true);
    ASSERT_FALSE(out.empty() || in.empty()) << "the module's ports are not listed";
    const std::string home = ::testing::TempDir() + "/kfstall-home";
    const auto start = [&](int n) {
        std::error_code ignored;
        std::filesystem::remove_all(home, ignored);
        std::filesystem::create_directories(home + "/Vondrel");
        std::filesystem::permissions(home, std::filesystem::perms::owner_all);
        std::ofstream(home + "/Vondrel/Kitforge.conf") << "[General]\nMidiPort=" << out << "\nMidiInPort=" << in << "\n";
        const char* server = std::getenv("JACK_DEFAULT_SERVER");
        return runStalled(KITFORGE_WINDOW_PROBE, {}, n,
                          {{"JACK_DEFAULT_SERVER", server ? server : ""},
                           {"XDG_CONFIG_HOME", home},
                           {"XDG_RUNTIME_DIR", home},
                           {"QT_QPA_PLATFORM", "offscreen"},
                           {"KITFORGE_PROBE_CLOSE", "1"}});
    };
    const StallRun clean = start(0);
    ASSERT_EQ(clean.end.status(), 0) << clean.end.output;
    ASSERT_EQ(clean.end.output.find("answered a box"), std::string::npos) << clean.end.output;
    std::cerr << "window: " << clean.calls.size() << " server calls\n" << callsText(clean.calls);
    for (size_t n = 1; n <= clean.calls.size(); ++n) {
        const StallRun run = start(static_cast<int>(n));
        const std::string where = "call " + std::to_string(n) + " of\n" + callsText(clean.calls) + "output:\n" +
                                  run.end.output;
        ASSERT_TRUE(run.end.exited()) << (run.end.hung ? "hung: " : "killed: ") << where;
        EXPECT_EQ(run.end.status(), 0) << where;
        if (!reached(run, n, "window")) continue;
        const Call& held = run.calls[n - 1];
        std::fprintf(stderr, "window %2zu %-22s %-12s exit %d %6.2f s after the stall\n", n, held.name.c_str(),
                     held.client.c_str(), run.end.status(), run.afterStall);
        EXPECT_LT(run.afterStall, kEndsWithin) << where;
        // The output's own opening: the user is told, in the window's words.
        const bool opening = held.client == "Kitforge" && held.name != "jack_port_unregister" &&
                             held.name != "jack_deactivate" && held.name != "jack_client_close";
        if (opening) {
            EXPECT_NE(run.end.output.find("answered a box: MIDIｻｰﾊﾞｰが応答しません。"), std::string::npos) << where;
        }
    }
}
#endif

}  // namespace
}  // namespace kf
