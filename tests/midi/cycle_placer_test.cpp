// Paced messages keep the line's spacing in the buffers the callbacks really fill, whatever
// frame time a late callback reads.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "midi/cycle_placer.h"

namespace kf {
namespace {

constexpr std::uint32_t kPeriod = 1024;
constexpr double kFramesPerUs = 0.048;  // 48 kHz
constexpr long kWire11 = 169;           // 11 bytes at 320 us a byte, in frames, rounded up

struct Lateness {
    const char* name;
    std::vector<std::uint32_t> periodsLate;  // per callback, repeating: how far ahead its read start is
};

class Placement : public ::testing::TestWithParam<Lateness> {};

// 300 eleven-byte messages all due at once: each must leave a wire time after the one before,
// counted in the frames the buffers really stand for.
TEST_P(Placement, PacedMessagesNeverCloserThanTheWire) {
    const auto& late = GetParam().periodsLate;
    CyclePlacer placer(kFramesPerUs);
    std::vector<long> real;
    for (std::uint32_t cycle = 0; real.size() < 300 && cycle < 1000; ++cycle) {
        placer.beginCycle((cycle + late[cycle % late.size()]) * kPeriod, kPeriod);
        for (long at; real.size() < 300 && (at = placer.offsetFor(11, true, 0)) >= 0;) {
            placer.placed(at, 11, true);
            real.push_back(static_cast<long>(cycle * kPeriod) + at);
        }
        placer.endCycle();
    }
    ASSERT_EQ(real.size(), 300u);
    for (size_t i = 1; i < real.size(); ++i) ASSERT_GE(real[i] - real[i - 1], kWire11) << "message " << i;
    // Nothing waits longer than the line asks.
    EXPECT_EQ(real.back() - real.front(), 299 * kWire11);
}

INSTANTIATE_TEST_SUITE_P(Callbacks, Placement,
                         ::testing::Values(Lateness{"OnTime", {0}}, Lateness{"EveryThirdLate", {0, 0, 1}},
                                           Lateness{"TwoLateInARow", {0, 1, 1, 0}},
                                           Lateness{"AlternatelyLateAndOnTime", {1, 0}}),
                         [](const auto& info) { return info.param.name; });

struct SettleCase {
    const char* name;
    bool paced;
    std::vector<std::uint32_t> periodsLate;
};

class SettlePlacement : public ::testing::TestWithParam<SettleCase> {};

// A reset placed mid-cycle, then messages all due at once: the first after it waits the 50 ms
// from the reset's last byte in the buffers' own frames, paced or not; the rest follow as before.
TEST_P(SettlePlacement, NothingFollowsAResetBeforeTheModuleHasSettled) {
    const auto& late = GetParam().periodsLate;
    const bool paced = GetParam().paced;
    CyclePlacer placer(kFramesPerUs);
    std::vector<long> real;
    for (std::uint32_t cycle = 0; real.size() < 3 && cycle < 100; ++cycle) {
        placer.beginCycle((cycle + late[cycle % late.size()]) * kPeriod, kPeriod);
        for (long at; real.size() < 3 && (at = placer.offsetFor(11, paced, 0)) >= 0;) {
            if (real.empty()) at = 500;
            placer.placed(at, 11, paced, real.empty() ? std::chrono::milliseconds(50) : std::chrono::milliseconds(0));
            real.push_back(static_cast<long>(cycle * kPeriod) + at);
        }
        placer.endCycle();
    }
    ASSERT_EQ(real.size(), 3u);
    EXPECT_EQ(real[1] - real[0], kWire11 + 2400);
    EXPECT_EQ(real[2] - real[1], paced ? kWire11 : 0);
}

INSTANTIATE_TEST_SUITE_P(Callbacks, SettlePlacement,
                         ::testing::Values(SettleCase{"Paced", true, {0}}, SettleCase{"Unpaced", false, {0}},
                                           SettleCase{"UnpacedLateCallbacks", false, {0, 1, 1, 0}}),
                         [](const auto& info) { return info.param.name; });

TEST(Placement, APacedMessageWaitsForItsDueFrameAndUnpacedOnesFollowAtOnce) {
    CyclePlacer placer(kFramesPerUs);
    placer.beginCycle(4096, kPeriod);
    EXPECT_EQ(placer.offsetFor(11, true, 4096 + 2000), -1);  // a later cycle's
    EXPECT_EQ(placer.offsetFor(3, false, 0), 0);
    placer.placed(0, 3, false);
    EXPECT_EQ(placer.offsetFor(3, false, 0), 0);
    placer.endCycle();
    placer.beginCycle(4096 + kPeriod, kPeriod);
    EXPECT_EQ(placer.offsetFor(11, true, 4096 + 2000), 2000 - 1024);
}

}  // namespace
}  // namespace kf
