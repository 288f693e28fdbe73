#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "dt1.h"
#include "fake_module.h"
#include "files/kit_file.h"
#include "files/reference_tables.h"
#include "gs/kit_fetch.h"
#include "model/parameters.h"
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

// A step is 50 ms; requests leave one after another at the cable's pace, and what the module
// puts on the line arrives at the first step at or after its time.
Outcome fetchFrom(test::FakeModule& module, FetchSettings settings = {}) {
    KitFetch fetch(&tables(), settings);
    Outcome r{};
    using Time = KitFetch::Clock::time_point;
    auto now = Time{} + 1s;
    Time lineFree = now;
    std::multimap<Time, MidiBytes> line;
    const auto deliver = [&] {
        while (!line.empty() && line.begin()->first <= now) {
            fetch.received(line.begin()->second, now);
            line.erase(line.begin());
        }
    };
    for (int step = 0; fetch.state() == KitFetch::State::Running && step < 100000; ++step) {
        deliver();
        const auto requests = fetch.take(now);
        r.widest = std::max(r.widest, requests.size());
        for (const MidiBytes& q : requests) {
            const Time at = std::max(now, lineFree);
            lineFree = at + 320us * static_cast<long>(q.size());
            const auto atUs = std::chrono::duration_cast<std::chrono::microseconds>(at.time_since_epoch());
            for (auto& reply : module.replies(q, atUs)) line.emplace(at + reply.after, std::move(reply.bytes));
        }
        deliver();
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
    int dropTimes = 1;
    int loseOneIn = 0;  // with late answers and noise around them
    int window = KitFetch::kWindow;
    bool slowBuffer = false;  // the module works slower than requests come, from a buffer of 256 bytes
};

void makeLossy(test::FakeModule& module, int loseOneIn) {
    module.loseOneIn = loseOneIn;
    module.lateMin = 5ms;
    module.lateMax = 60ms;
    module.noise = true;
}

class FetchCase : public ::testing::TestWithParam<Case> {};

TEST_P(FetchCase, GivesTheModulesSetsAskingOnlyWhatIsNeeded) {
    const Kit kit = test::tableKit(tables(), GetParam().usedPerSet, 3);
    test::FakeModule module(kit);
    module.dropEvery = GetParam().dropEvery;
    module.dropTimes = GetParam().dropTimes;
    if (GetParam().loseOneIn) makeLossy(module, GetParam().loseOneIn);
    if (GetParam().slowBuffer) {
        module.inputBytes = 256;
        module.workPerRequest = 8ms;  // a request takes 4.16 ms on the line
    }
    FetchSettings settings;
    settings.oneByOne = GetParam().oneByOne;
    settings.window = GetParam().window;
    const Outcome r = fetchFrom(module, settings);
    EXPECT_EQ(r.state, KitFetch::State::Done);
    EXPECT_EQ(WriteKitFile(r.kit), WriteKitFile(kit));
    EXPECT_EQ(r.widest, GetParam().oneByOne ? 1u : std::size_t(GetParam().window));
    // What the default window lets out fits the buffer; much more is lost there, and asked again.
    const bool overflows = GetParam().window > KitFetch::kWindow;
    EXPECT_EQ(module.overflowed() > 0, overflows);
    if (overflows) return;
    // Names, three source parameters of every note, nine more of each used note.
    const long needed = 2 + 3 * 256 + 9 * 2 * GetParam().usedPerSet;
    EXPECT_EQ(r.requests, needed + module.lost()) << "asked again only what did not come";
    if (GetParam().dropEvery) {
        EXPECT_GE(module.dropped(), needed / GetParam().dropEvery / 2);
    }
    EXPECT_EQ(r.summary.unanswered, 0);
    EXPECT_TRUE(r.summary.complete());
    if (GetParam().loseOneIn) {
        EXPECT_GE(module.lost(), needed / GetParam().loseOneIn);
        EXPECT_GT(r.summary.otherDevice, 0);
        EXPECT_GT(r.summary.otherAddress, 0);
        EXPECT_GT(r.summary.badChecksum, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Kits, FetchCase,
                         ::testing::Values(Case{"sparse", 12, 0, false}, Case{"full", 128, 0, false},
                                           Case{"every 6th lost", 12, 6, false}, Case{"one by one", 5, 0, true},
                                           Case{"every 7th lost four times over", 30, 7, false, 4},
                                           Case{"1 in 11 lost, late, noisy", 60, 0, false, 1, 11},
                                           Case{"one by one, 1 in 11 lost", 20, 0, true, 1, 11},
                                           Case{"full, from a slow module's buffer", 128, 0, false, 1, 0,
                                                KitFetch::kWindow, true},
                                           Case{"four times the window, from a slow module's buffer", 12, 0, false,
                                                1, 0, 4 * KitFetch::kWindow, true}),
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

TEST(KitFetch, AMissedAnswerIsAskedAgainBesideTheOthersUnlessNothingLaterCame) {
    std::vector<UserDrumRead> reads;
    for (int note = 0; note < 40; ++note) reads.push_back({1, kLevel, note});
    for (bool laterAnswered : {true, false}) {
        SCOPED_TRACE(laterAnswered ? "later answered" : "nothing answered");
        test::FakeModule module(test::tableKit(tables(), 40, 2));
        KitFetch fetch(reads);
        const auto t0 = KitFetch::Clock::time_point{} + 1s;
        const std::vector<MidiBytes> first = fetch.take(t0);
        ASSERT_EQ(first.size(), std::size_t(KitFetch::kWindow));
        if (laterAnswered)
            for (std::size_t i = 1; i < first.size(); ++i) fetch.received(*module.answer(first[i]), t0 + 20ms);
        // Past the first's deadline, before the ones that would follow the answers are asked.
        const std::vector<MidiBytes> next = fetch.take(t0 + 1s);
        ASSERT_FALSE(next.empty());
        EXPECT_EQ(next.front(), first.front()) << "what did not come is asked first";
        EXPECT_EQ(next.size(), laterAnswered ? std::size_t(KitFetch::kWindow) : 1u);
        // Its answer to the first try, late, still counts.
        fetch.received(*module.answer(first.front()), t0 + 1010ms);
        EXPECT_EQ(fetch.answered(1, 0, kLevel), module.held(1, 0, kLevel));
        EXPECT_EQ(fetch.done(), laterAnswered ? KitFetch::kWindow : 1);
    }
}

// Every note the result uses is the module's own to the byte; every used note of the module
// missing from the result is named with what did not come.
void expectNothingMadeUp(const Kit& module, const Outcome& r) {
    int named = 0;
    for (int set = 1; set <= kSetCount; ++set)
        for (int note = 0; note < kNoteCount; ++note) {
            const DrumNoteEntry& got = r.kit.entry(set, note);
            const auto gap = std::find_if(r.summary.incomplete.begin(), r.summary.incomplete.end(),
                                          [&](const IncompleteNote& n) { return n.set == set && n.note == note; });
            if (got.used) {
                EXPECT_EQ(gap, r.summary.incomplete.end()) << set << "/" << note;
                EXPECT_EQ(got.name, module.entry(set, note).name) << set << "/" << note;
                for (int p = 1; p <= kDeviceParameterCount; ++p)
                    EXPECT_EQ(parameterValue(r.kit, set, note, p), parameterValue(module, set, note, p))
                        << set << "/" << note << " parameter " << p;
            } else if (module.entry(set, note).used) {
                EXPECT_NE(gap, r.summary.incomplete.end()) << set << "/" << note << " neither used nor named";
            }
            if (gap != r.summary.incomplete.end()) {
                ++named;
                EXPECT_FALSE(gap->missing.empty());
            }
        }
    EXPECT_EQ(named, static_cast<int>(r.summary.incomplete.size()));
}

struct Stop {
    const char* what;
    long silentAfter;
    int loseOneIn;
    int names;
    int neverParameter = 0;  // asked of one note, its absence alone must keep that note out
};

class StopCase : public ::testing::TestWithParam<Stop> {};

TEST_P(StopCase, AModuleThatStopsPartwayNamesWhatIsMissingAndMakesNothingUp) {
    const Kit kit = test::tableKit(tables(), 128, 5);
    test::FakeModule module(kit);
    module.silentAfter = GetParam().silentAfter;
    module.neverParameter = GetParam().neverParameter;
    if (GetParam().loseOneIn) makeLossy(module, GetParam().loseOneIn);
    const Outcome r = fetchFrom(module);
    EXPECT_EQ(r.state, KitFetch::State::StoppedAnswering);
    EXPECT_EQ(r.summary.names, GetParam().names);
    EXPECT_GE(r.summary.unanswered, 1);
    EXPECT_FALSE(r.summary.complete());
    EXPECT_FALSE(r.summary.incomplete.empty());
    // The window, then the first of it alone until the tries run out.
    if (GetParam().silentAfter >= 0) {
        EXPECT_LE(r.requests, GetParam().silentAfter + KitFetch::kWindow + KitFetch::kTries - 1);
    }
    if (const int p = GetParam().neverParameter) {
        EXPECT_TRUE(std::any_of(r.summary.incomplete.begin(), r.summary.incomplete.end(),
                                [p](const IncompleteNote& n) { return n.missing == std::vector<int>{p}; }))
            << "the note that lacks only parameter " << p;
    }
    expectNothingMadeUp(kit, r);
}

INSTANTIATE_TEST_SUITE_P(Stops, StopCase,
                         ::testing::Values(Stop{"among the sources", 100, 0, 2},
                                           Stop{"among the other parameters", 1200, 0, 2},
                                           Stop{"lossy, near the end", 2900, 11, 2},
                                           Stop{"after set 1's name", 1, 0, 1},
                                           Stop{"never the delay send", -1, 0, 2, kDelay}),
                         [](const auto& info) { return "s" + std::to_string(info.index); });

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
    EXPECT_EQ(s.otherDevice, 1);
    EXPECT_EQ(s.otherAddress, 1);
    EXPECT_EQ(fetch.done(), 0);
}

MidiBytes bytesOf(const std::string& hex) {
    MidiBytes m;
    for (size_t i = 0; i + 1 < hex.size(); i += 3) m.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return m;
}

TEST(KitFetch, ANameThatCameIsNotOverwrittenByAMessageNobodyAskedFor) {
    KitFetch fetch(&tables());
    fetch.take(KitFetch::Clock::time_point{});  // set 1's name is asked first
    fetch.received(bytesOf(test::dt1::setName(1, "Mine")));
    fetch.received(bytesOf(test::dt1::setName(1, "Intruder")));
    FetchSummary s;
    EXPECT_EQ(fetch.result(&s).setName(1), "Mine");
    EXPECT_EQ(s.otherAddress, 1);
}

}  // namespace
}  // namespace kf
