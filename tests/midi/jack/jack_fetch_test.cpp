// Reading both user sets back from a module over a real JACK server: the fake module answers
// from its own client, at its own latency, as told.
#include <gtest/gtest.h>

#include <thread>

#include "files/kit_file.h"
#include "files/reference_tables.h"
#include "gs/kit_fetch.h"
#include "jack_module.h"
#include "midi/jack_backend.h"
#include "midi/jack_input.h"
#include "midi/midi_in.h"
#include "midi/midi_out.h"
#include "sample_kit.h"
#include "switch_on.h"

namespace kf {
namespace {

using namespace std::chrono_literals;

const ReferenceTables& tables() { return test::shippedTables(); }

struct Fetched {
    KitFetch::State state;
    Kit kit;
    FetchSummary summary;
    double seconds;
};

// Fetches from module; the module must already be set up. stopAfter: cancel once the module
// has seen that many requests.
Fetched fetchFrom(test::JackModule& module, FetchSettings settings = {}, long stopAfter = -1) {
    MidiOut out(std::make_unique<JackBackend>("kffetch"));
    MidiIn in(std::make_unique<JackInput>("kffetch-in", "kffetch"));
    EXPECT_TRUE(out.openPort(test::portIndex(out, module.inputName())));
    EXPECT_TRUE(in.openPort(test::portIndex(in, module.outputName())));
    KitFetch fetch(&tables(), settings);
    std::atomic<bool> cancel{false};
    std::atomic<bool> ended{false};
    std::thread stopper([&] {
        while (stopAfter >= 0 && !ended && module.requests() < stopAfter)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        cancel = stopAfter >= 0;
    });
    const auto start = std::chrono::steady_clock::now();
    Fetched f{runFetch(fetch, out, in, cancel), {}, {}, 0};
    ended = true;
    stopper.join();
    f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    f.kit = fetch.result(&f.summary);
    return f;
}

struct Case {
    const char* what;
    int usedPerSet;
    int dropEvery;
    int loseOneIn = 0;
    bool buffered = false;  // working slower than requests come, from an input buffer of 256 bytes
};

class JackFetch : public ::testing::TestWithParam<Case> {};

TEST_P(JackFetch, GivesExactlyTheModulesSets) {
    const Kit kit = test::tableKit(tables(), GetParam().usedPerSet, 7);
    test::JackModule module("kfmodule", kit, 5ms);
    ASSERT_TRUE(module.ok());
    module.module().dropEvery = GetParam().dropEvery;
    module.module().loseOneIn = GetParam().loseOneIn;
    if (GetParam().buffered) {
        module.module().inputBytes = 256;
        module.module().workPerRequest = 5ms;
    }
    const Fetched f = fetchFrom(module);
    EXPECT_EQ(module.snapshot().overflowed(), 0) << "the window fits the module's buffer";
    EXPECT_EQ(f.state, KitFetch::State::Done) << GetParam().what;
    EXPECT_EQ(WriteKitFile(f.kit), WriteKitFile(kit)) << GetParam().what;
    EXPECT_EQ(f.summary.notes[0], GetParam().usedPerSet);
    EXPECT_EQ(f.summary.names, 2);
    EXPECT_EQ(f.summary.unanswered, 0);
    EXPECT_TRUE(f.summary.complete());
}

INSTANTIATE_TEST_SUITE_P(Kits, JackFetch,
                         ::testing::Values(Case{"sparse", 40, 0}, Case{"full", 128, 0, 0, true},
                                           Case{"every 25th answer lost", 20, 25},
                                           Case{"1 in 11 requests lost", 20, 0, 11}),
                         [](const auto& info) { return std::string(info.param.usedPerSet == 128 ? "Full" : "Sparse") +
                                                       (info.param.dropEvery ? "Lossy" : "") +
                                                       (info.param.loseOneIn ? "OneIn" + std::to_string(info.param.loseOneIn) : ""); });

TEST(JackFetchFault, StoppingPartwayEndsItAtOnce) {
    test::JackModule module("kfstopped", test::tableKit(tables(), 40, 3), 5ms);
    ASSERT_TRUE(module.ok());
    const Fetched f = fetchFrom(module, {}, 100);
    EXPECT_EQ(f.state, KitFetch::State::Cancelled);
    EXPECT_LT(module.requests(), 1000) << "stopped long before the 1,490 requests of the whole";
}

TEST(JackFetchFault, ASilentModuleEndsTheFetchAfterTheFirstWindow) {
    test::JackModule module("kfsilent", test::tableKit(tables(), 4, 1), 5ms);
    ASSERT_TRUE(module.ok());
    module.module().silent = true;
    const Fetched f = fetchFrom(module);
    EXPECT_EQ(f.state, KitFetch::State::NoAnswer);
    // The first window, then its first request alone until its tries run out: not thousands of timeouts.
    EXPECT_LE(module.requests(), KitFetch::kWindow + KitFetch::kTries - 1);
    EXPECT_LT(f.seconds, 30.0) << "a hang, not a slow machine";
}

}  // namespace
}  // namespace kf
