#include "midi/rtmidi_error.h"

namespace kf {

MidiError::Kind rtMidiErrorKind(int type, RtMidiStage stage) {
    using namespace rtmidi_type;
    switch (type) {
        case kDebugWarning: return MidiError::None;
        case kNoDevicesFound: return stage == RtMidiStage::Setup ? MidiError::NoMidiSystem : MidiError::NoSuchPort;
        // A port number past the list: the device went away since it was listed.
        case kInvalidDevice:
        case kInvalidParameter: return MidiError::NoSuchPort;
        case kDriverError:
            switch (stage) {
                case RtMidiStage::Setup: return MidiError::NoMidiSystem;  // no client of the API
                case RtMidiStage::Open: return MidiError::PortBusy;       // the driver keeps it for another
                default: return MidiError::NoSuchPort;                    // the device went away
            }
        // RtMidi warns, rather than fails, of a message it could not hand on or keep.
        case kWarning: return stage == RtMidiStage::Receive ? MidiError::Overrun : MidiError::Other;
        default: return MidiError::Other;
    }
}

}  // namespace kf
