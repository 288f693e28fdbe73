#include <gtest/gtest.h>

#include "fake_module.h"
#include "files/kit_file.h"
#include "files/reference_tables.h"
#include "gs/kit_fetch.h"
#include "sample_kit.h"

namespace kf {
namespace {

using namespace std::chrono_literals;

const ReferenceTables& tables() { return test::shippedTables(); }

struct Outcome {
    KitFetch::State state;
    Kit kit;
    FetchSummary summary;
    long requests;
    std::size_t widest;  // the most requests handed over at once
};

// Every answer arrives before the next step; a step is 50 ms.
Outcome fetchFrom(test::FakeModule& module, FetchSettings settings = {}) {
    KitFetch fetch(&tables(), settings);
    Outcome r{};
    auto now = KitFetch::Clock::time_point{} + 1s;
    for (int step = 0; fetch.state() == KitFetch::State::Running && step < 100000; ++step) {
        const auto requests = fetch.take(now);
        r.widest = std::max(r.widest, requests.size());
        for (const MidiBytes& q : requests)
            if (auto a = module.answer(q)) fetch.received(*a);
        now += 50ms;
    }
    r.state = fetch.state();
    r.kit = fetch.result(&r.summary);
    r.requests = module.requests();
    return r;
}

TEST(KitFetch, TheRequestIsTheDataSetsFrameWithCommand11) {
    // Set 2's name: 21 10 00, twelve bytes; checksum over address and size.
    EXPECT_EQ(gsDataRequest(0x21u << 14 | 0x10u << 7, 12, 0x10),
              (MidiBytes{0xF0, 0x41, 0x10, 0x42, 0x11, 0x21, 0x10, 0x00, 0x00, 0x00, 0x0C, 0x43, 0xF7}));
}

struct Case {
    const char* what;
    int usedPerSet;
    int dropEvery;
    bool oneByOne;
};

class FetchCase : public ::testing::TestWithParam<Case> {};

TEST_P(FetchCase, GivesTheModulesSetsAskingOnlyWhatIsNeeded) {
    const Kit kit = test::tableKit(tables(), GetParam().usedPerSet, 3);
    test::FakeModule module(kit);
    module.dropEvery = GetParam().dropEvery;
    FetchSettings settings;
    settings.oneByOne = GetParam().oneByOne;
    const Outcome r = fetchFrom(module, settings);
    EXPECT_EQ(r.state, KitFetch::State::Done);
    EXPECT_EQ(WriteKitFile(r.kit), WriteKitFile(kit));
    // Names, three source parameters of every note, nine more of each used note.
    const long needed = 2 + 3 * 256 + 9 * 2 * GetParam().usedPerSet;
    EXPECT_EQ(r.requests, needed + module.dropped());
    if (GetParam().dropEvery) {
        EXPECT_GE(module.dropped(), needed / GetParam().dropEvery / 2);
    }
    EXPECT_EQ(r.widest, GetParam().oneByOne ? 1u : std::size_t(KitFetch::kWindow));
    EXPECT_EQ(r.summary.unanswered, 0);
}

INSTANTIATE_TEST_SUITE_P(Kits, FetchCase,
                         ::testing::Values(Case{"sparse", 12, 0, false}, Case{"full", 128, 0, false},
                                           Case{"every 6th lost", 12, 6, false}, Case{"one by one", 5, 0, true}),
                         [](const auto& info) { return "c" + std::to_string(info.index); });

TEST(KitFetch, AModuleThatNeverAnswersEndsItAfterTheFirstThreeRequests) {
    for (bool badChecksum : {false, true}) {
        test::FakeModule module(test::tableKit(tables(), 3, 1));
        module.silent = !badChecksum;
        module.badChecksum = badChecksum;
        const Outcome r = fetchFrom(module);
        EXPECT_EQ(r.state, KitFetch::State::NoAnswer);
        EXPECT_LE(r.requests, 2 * KitFetch::kWindow);
        EXPECT_EQ(r.summary.ignored, badChecksum ? r.requests : 0);
    }
}

TEST(KitFetch, AModuleThatStopsPartwayKeepsWhatCame) {
    test::FakeModule module(test::tableKit(tables(), 128, 5));
    module.silentAfter = 100;
    const Outcome r = fetchFrom(module);
    EXPECT_EQ(r.state, KitFetch::State::StoppedAnswering);
    EXPECT_EQ(r.summary.names, 2);
    EXPECT_GE(r.summary.unanswered, KitFetch::kGivingUp);
    EXPECT_LE(r.requests, 100 + 3 * KitFetch::kWindow);
}

TEST(KitFetch, AnswersOfAnotherDeviceOrAddressAreIgnoredAndCounted) {
    KitFetch fetch(&tables());
    fetch.take(KitFetch::Clock::time_point{});
    // Device 11 answering set 1's name; then the name of set 1 asked of device 10 but at note 5's
    // parameter 1 address, which nobody asked for.
    fetch.received({0xF0, 0x41, 0x11, 0x42, 0x12, 0x21, 0x00, 0x00, 0x41, 0x1E, 0xF7});
    fetch.received({0xF0, 0x41, 0x10, 0x42, 0x12, 0x21, 0x01, 0x05, 0x41, 0x18, 0xF7});
    FetchSummary s;
    fetch.result(&s);
    EXPECT_EQ(s.ignored, 2);
    EXPECT_EQ(fetch.done(), 0);
}

}  // namespace
}  // namespace kf
