// What WinMM's results mean to the user, and its short message packing; built everywhere,
// Windows or not.
#include <gtest/gtest.h>

#include <vector>

#include "midi/winmm_error.h"

namespace kf {
namespace {

using namespace winmm_result;
using Stage = WinMmStage;

struct Mapping {
    unsigned result;
    Stage stage;
    MidiError::Kind kind;
};

class WinMmErrors : public ::testing::TestWithParam<Mapping> {};

TEST_P(WinMmErrors, HaveTheKindTheUserCanActOn) {
    EXPECT_EQ(winMmErrorKind(GetParam().result, GetParam().stage), GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WinMmErrors,
    ::testing::Values(
        Mapping{kNoError, Stage::Open, MidiError::None}, Mapping{kAllocated, Stage::Open, MidiError::PortBusy},
        Mapping{kBadDeviceId, Stage::Open, MidiError::NoSuchPort},
        Mapping{kNoDevice, Stage::Open, MidiError::NoSuchPort}, Mapping{kNoMap, Stage::Open, MidiError::NoSuchPort},
        Mapping{kInvalidSetup, Stage::Open, MidiError::NoSuchPort},
        Mapping{kNoDriver, Stage::Open, MidiError::NoMidiSystem},
        Mapping{kNoDriver, Stage::Transfer, MidiError::NoSuchPort},
        Mapping{kNotReady, Stage::Transfer, MidiError::Stalled},
        Mapping{kStillPlaying, Stage::Transfer, MidiError::Stalled},
        Mapping{kNotReady, Stage::Open, MidiError::PortBusy}, Mapping{kNoMem, Stage::Transfer, MidiError::Other},
        Mapping{kInvalHandle, Stage::Transfer, MidiError::Other},
        Mapping{kInvalParam, Stage::Open, MidiError::Other}, Mapping{kError, Stage::Open, MidiError::Other}));

struct Packing {
    std::vector<std::uint8_t> bytes;
    bool isShort;
    std::uint32_t packed;
};

class ShortMessages : public ::testing::TestWithParam<Packing> {};

TEST_P(ShortMessages, PackAndUnpackAsWinMmHasThem) {
    const auto& p = GetParam();
    std::uint32_t packed = 0;
    ASSERT_EQ(packShortMessage(p.bytes.data(), p.bytes.size(), &packed), p.isShort);
    if (!p.isShort) return;
    EXPECT_EQ(packed, p.packed);
    std::uint8_t out[3] = {};
    const std::size_t n = unpackShortMessage(packed, out);
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + n), p.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShortMessages,
    ::testing::Values(Packing{{0x99, 0x24, 0x7F}, true, 0x7F2499}, Packing{{0xC9, 0x10}, true, 0x10C9},
                      Packing{{0xE0, 0x00, 0x40}, true, 0x4000E0}, Packing{{0xF2, 0x01, 0x02}, true, 0x0201F2},
                      Packing{{0xF3, 0x05}, true, 0x05F3}, Packing{{0xFE}, true, 0xFE},
                      // SysEx, and what does not have its status's length, go as long messages.
                      Packing{{0xF0, 0x41, 0xF7}, false, 0}, Packing{{0x90, 0x24}, false, 0},
                      Packing{{0x24, 0x7F}, false, 0}, Packing{{}, false, 0}));

}  // namespace
}  // namespace kf
