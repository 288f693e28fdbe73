#include <gtest/gtest.h>

#include "fake_module.h"
#include "gs/kit_verify.h"
#include "gs/sysex.h"
#include "midi/send_queue.h"
#include "model/parameters.h"
#include "sample_kit.h"

namespace kf {
namespace {

using namespace std::chrono_literals;

// One compare against module, with every answer at once.
KitFetch::State compareWith(test::FakeModule& module, KitFetch& reads) {
    auto now = KitFetch::Clock::time_point{} + 1s;
    while (reads.state() == KitFetch::State::Running) {
        for (const MidiBytes& q : reads.take(now))
            if (auto a = module.answer(q)) reads.received(*a);
        now += 50ms;
    }
    return reads.state();
}

// Messages on a line to module, each with pause after it; t runs on.
void line(test::FakeModule& module, const std::vector<MidiBytes>& messages, std::chrono::microseconds pause,
          std::chrono::microseconds& t) {
    for (const MidiBytes& m : messages) {
        module.answer(m, t);
        t += kWireTimePerByte * static_cast<long>(m.size()) + pause;
    }
}

Kit sample() { return test::tableKit(test::shippedTables(), 20, 9); }

TEST(KitVerify, ReadsBothNamesAndEveryParameterOfEachUsedNote) {
    const Kit kit = sample();
    const auto reads = verifyReads(kit);
    ASSERT_EQ(reads.size(), 2u + 40u * 12u);
    KitFetch fetch(reads);
    // Set 1's name, twelve bytes at 21 00 00, is the first request.
    EXPECT_EQ(fetch.take(KitFetch::Clock::time_point{}).front(), gsDataRequest(0x21u << 14, 12, 0x10));
}

TEST(KitVerify, NamesExactlyWhatDiffers) {
    const Kit kit = sample();
    Kit held = kit;
    int note = 0;
    while (!kit.entry(1, note).used) ++note;
    held.entry(1, note).level = static_cast<std::uint8_t>(kit.entry(1, note).level ^ 1);
    held.setSetName(2, "Other");
    test::FakeModule module(held);
    const VerifyReport r = runCompare(kit, {}, [&](KitFetch& f) { return compareWith(module, f); });
    ASSERT_EQ(r.differences.size(), 2u);
    EXPECT_EQ(r.differences[0].parameter, 0);
    EXPECT_EQ(r.differences[0].set, 2);
    EXPECT_EQ(r.differences[0].moduleName, "Other       ");
    EXPECT_EQ(describeDifference(r.differences[1]),
              "set 1 note " + std::to_string(note) + " level: kit " + std::to_string(kit.entry(1, note).level) +
                  ", module " + std::to_string(held.entry(1, note).level));
    EXPECT_EQ(r.notesDiffering(), 1);
    EXPECT_EQ(r.namesDiffering(), 1);
    EXPECT_EQ(repairMessages(kit, r.differences),
              (std::vector<MidiBytes>{buildNameMessage(kit, 2), buildParameterMessage(kit, 1, note, kLevel)}));
}

// A module busy for 10 ms after each DT1 it takes loses most of a transfer at cable speed.
TEST(KitVerify, RoundsSendWhatDiffersUntilTheModuleHoldsTheKit) {
    struct Case {
        const char* what;
        std::chrono::microseconds busy;  // after each DT1 the module takes
        bool silent;
        KitFetch::State state;
        int rounds;
        bool same;
    } cases[] = {
        {"takes everything", 0us, false, KitFetch::State::Done, 0, true},
        {"busy after each message", 10ms, false, KitFetch::State::Done, 1, true},
        {"busy longer than any pause", 1h, false, KitFetch::State::Done, 3, false},
        {"silent", 0us, true, KitFetch::State::NoAnswer, 0, false},
    };
    const Kit kit = sample();
    Kit blank;
    blank.reset();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::FakeModule module(blank);
        module.takesDataSets = true;
        module.busyAfterDt1 = c.busy;
        module.silent = c.silent;
        std::chrono::microseconds t{0};
        std::vector<MidiBytes> transfer;
        for (int set = 1; set <= kSetCount; ++set) {
            for (int n = 0; n < kNoteCount; ++n)
                if (kit.entry(set, n).used)
                    for (int p = 1; p <= kDeviceParameterCount; ++p) transfer.push_back(buildParameterMessage(kit, set, n, p));
            transfer.push_back(buildNameMessage(kit, set));
        }
        line(module, transfer, 0us, t);
        const auto compare = [&](KitFetch& f) { return compareWith(module, f); };
        const VerifyReport first = runCompare(kit, {}, compare);
        std::vector<MidiBytes> resent;
        const RepairOutcome o = repairRounds(kit, first, {}, compare, [&](const std::vector<MidiBytes>& m) {
            resent.insert(resent.end(), m.begin(), m.end());
            t += 1s;  // the compare before
            line(module, m, std::chrono::milliseconds(kRepairPauseMs), t);
            return true;
        });
        EXPECT_EQ(o.last.state, c.state);
        EXPECT_EQ(o.rounds, c.rounds);
        EXPECT_EQ(o.last.same(), c.same);
        EXPECT_EQ(o.sent, static_cast<int>(resent.size()));
        if (c.rounds == 0) continue;
        // Only what differed went again: fewer than the whole transfer the first time.
        EXPECT_EQ(repairMessages(kit, first.differences).size(), first.differences.size());
        EXPECT_LT(first.differences.size(), transfer.size());
        EXPECT_GT(module.dt1Lost(), 0);
    }
}

}  // namespace
}  // namespace kf
