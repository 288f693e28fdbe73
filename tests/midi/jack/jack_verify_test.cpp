// kitforge-cli verify and send --verify over a real JACK server, against the fake module's own
// client: what it reports, its exit status, and what the module holds afterwards.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "child.h"
#include "files/disk.h"
#include "files/kit_file.h"
#include "jack_module.h"
#include "model/parameters.h"
#include "sample_kit.h"
#include "switch_on.h"

namespace kf {
namespace {

using namespace std::chrono_literals;

// A parameter the module holds other than the Kit says, and the word kitforge-cli names it by.
struct Damage {
    int set, note, parameter;
    const char* word;
    std::uint8_t value;
};

struct Case {
    const char* name;
    std::vector<std::string> verb;  // before the ports and the file
    std::vector<Damage> damage;
    const char* damagedName2 = nullptr;  // what the module holds as set 2's name
    bool silent = false;
    bool busy = false;  // holds another kit, and loses a DT1 that comes right after another
    int status;
    const char* last = nullptr;  // the last line a compare prints
};

const Case kCases[] = {
    {"VerifyIdentical", {"verify"}, {}, nullptr, false, false, 0, "the module holds the kit"},
    {"VerifyDamaged",
     {"verify"},
     {{1, 16, 2, "level", 5}, {1, 16, 4, "pan", 5}, {2, 112, 8, "rx note on", 1}},
     "Damaged",
     false,
     false,
     1,
     "2 note(s) and 1 name(s) differ"},
    {"VerifySilent", {"verify"}, {}, nullptr, true, false, 1},
    {"SendVerifyRepairsHoles", {"send", "--verify"}, {}, nullptr, false, true, 0},
    {"SendVerifySilent", {"send", "--verify"}, {}, nullptr, true, false, 1},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class JackVerify : public ::testing::TestWithParam<Case> {};

TEST_P(JackVerify, ReportsWhatTheModuleHolds) {
    const Case& c = GetParam();
    const Kit kit = test::tableKit(test::shippedTables(), 8, 5);
    const std::string file = ::testing::TempDir() + "/kfverify-" + c.name + ".kfg";
    writeFileAtomically(file, WriteKitFile(kit));
    Kit sent;
    sent.reset();
    ASSERT_EQ(ReadKitFile(WriteKitFile(kit), sent).status, KitReadResult::Read);
    const test::FakeModule wanted(sent);

    const std::string client = std::string("kfv") + c.name;
    test::JackModule module(client, c.busy ? test::tableKit(test::shippedTables(), 8, 6) : kit, 5ms);
    ASSERT_TRUE(module.ok());
    test::FakeModule& m = module.module();
    m.silent = c.silent;
    m.takesDataSets = true;
    // A DT1 right behind another is lost, one after a gap taken: holes, not a dead module.
    if (c.busy) m.busyAfterDt1 = 2ms;
    std::vector<std::string> expected;
    if (c.damagedName2) {
        m.holdName(2, c.damagedName2);
        expected.push_back(std::string("set 2 name: kit \"Other Set\", module \"") + c.damagedName2 + "\"");
    }
    for (const Damage& d : c.damage) {
        expected.push_back("set " + std::to_string(d.set) + " note " + std::to_string(d.note) + " " + d.word +
                           ": kit " + std::to_string(m.held(d.set, d.note, d.parameter)) + ", module " +
                           std::to_string(d.value));
        m.hold(d.set, d.note, d.parameter, d.value);
    }

    const std::string out = test::cliPortId(KITFORGE_CLI, client + ":in");
    const std::string in = test::cliPortId(KITFORGE_CLI, client + ":out", true);
    ASSERT_FALSE(out.empty() || in.empty()) << "the module's ports are not listed";
    std::vector<std::string> args = c.verb;
    for (const char* a : {"--port", out.c_str(), "--in", in.c_str(), file.c_str()}) args.push_back(a);
    test::ChildOptions options;
    options.captureOutput = true;
    options.errorsInOutput = c.silent;
    const test::ChildEnd end = test::runProgram(KITFORGE_CLI, args, options);
    ASSERT_TRUE(end.exited()) << (end.hung ? "hung" : "killed");
    EXPECT_EQ(end.status(), c.status) << end.output;

    const test::FakeModule held = module.snapshot();
    if (c.silent) {
        EXPECT_NE(end.output.find("output " + client + ":in, input " + client + ":out"), std::string::npos)
            << end.output;
        return;
    }
    if (c.busy) {
        EXPECT_GT(held.dt1Lost(), 0) << "the transfer left no holes to find";
        EXPECT_NE(end.output.find("sent again: "), std::string::npos) << "the first compare found nothing\n" << end.output;
    } else {
        expected.push_back(c.last);
        std::string lines;
        for (const std::string& l : expected) lines += l + "\n";
        EXPECT_EQ(end.output, lines);
    }
    if (c.status != 0) return;
    for (int set = 1; set <= kSetCount; ++set) {
        EXPECT_EQ(held.heldName(set), wanted.heldName(set)) << "set " << set;
        for (int note = 0; note < kNoteCount; ++note)
            for (int p = 1; p <= kDeviceParameterCount && sent.entry(set, note).used; ++p)
                EXPECT_EQ(held.held(set, note, p), wanted.held(set, note, p))
                    << "set " << set << " note " << note << " parameter " << p;
    }
}

INSTANTIATE_TEST_SUITE_P(Modules, JackVerify, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kf
