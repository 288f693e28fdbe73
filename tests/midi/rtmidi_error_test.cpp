// What RtMidi's error types mean to the user at each stage; built everywhere, RtMidi or not.
#include <gtest/gtest.h>

#include "midi/rtmidi_error.h"

namespace kf {
namespace {

using namespace rtmidi_type;
using Stage = RtMidiStage;

struct Mapping {
    int type;
    Stage stage;
    MidiError::Kind kind;
};

class RtMidiErrors : public ::testing::TestWithParam<Mapping> {};

TEST_P(RtMidiErrors, HaveTheKindTheUserCanActOn) {
    EXPECT_EQ(rtMidiErrorKind(GetParam().type, GetParam().stage), GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RtMidiErrors,
    ::testing::Values(
        // A debug note is no failure, wherever it comes.
        Mapping{kDebugWarning, Stage::Open, MidiError::None}, Mapping{kDebugWarning, Stage::Receive, MidiError::None},
        Mapping{kNoDevicesFound, Stage::Setup, MidiError::NoMidiSystem},
        Mapping{kNoDevicesFound, Stage::Open, MidiError::NoSuchPort},
        Mapping{kInvalidParameter, Stage::Open, MidiError::NoSuchPort},
        Mapping{kInvalidDevice, Stage::Open, MidiError::NoSuchPort},
        Mapping{kDriverError, Stage::Setup, MidiError::NoMidiSystem},
        Mapping{kDriverError, Stage::Open, MidiError::PortBusy},
        Mapping{kDriverError, Stage::Send, MidiError::NoSuchPort},
        Mapping{kDriverError, Stage::Receive, MidiError::NoSuchPort},
        Mapping{kWarning, Stage::Send, MidiError::Other}, Mapping{kWarning, Stage::Receive, MidiError::Overrun},
        Mapping{kMemoryError, Stage::Send, MidiError::Other}, Mapping{kSystemError, Stage::Receive, MidiError::Other},
        Mapping{kThreadError, Stage::Open, MidiError::Other}, Mapping{kInvalidUse, Stage::Open, MidiError::Other},
        Mapping{kUnspecified, Stage::Setup, MidiError::Other}));

}  // namespace
}  // namespace kf
