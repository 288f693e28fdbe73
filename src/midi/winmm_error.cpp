#include "midi/winmm_error.h"

namespace kf {

MidiError::Kind winMmErrorKind(unsigned result, WinMmStage stage) {
    using namespace winmm_result;
    switch (result) {
        case kNoError: return MidiError::None;
        case kAllocated:
        case kHandleBusy: return MidiError::PortBusy;
        // A number past the list, or a mapper set to a device that is not there (or to none at
        // all, which Wine calls a damaged setup): the device went away since it was listed.
        case kBadDeviceId:
        case kNoDevice:
        case kNoMap:
        case kInvalidSetup: return MidiError::NoSuchPort;
        // No driver behind the number: none installed when opening, unplugged once open.
        case kNoDriver:
        case kNotEnabled: return stage == WinMmStage::Open ? MidiError::NoMidiSystem : MidiError::NoSuchPort;
        // The interface is still busy with what it was given before.
        case kNotReady:
        case kStillPlaying: return stage == WinMmStage::Transfer ? MidiError::Stalled : MidiError::PortBusy;
        default: return MidiError::Other;
    }
}

namespace {

// Bytes a message with this status byte has in all, 0 for SysEx and for what is no status.
std::size_t messageLength(std::uint8_t status) {
    if (status < 0x80) return 0;
    if (status < 0xF0) return (status & 0xE0) == 0xC0 ? 2 : 3;
    switch (status) {
        case 0xF1:
        case 0xF3: return 2;
        case 0xF2: return 3;
        case 0xF0:
        case 0xF7: return 0;
        default: return 1;  // tune request and realtime
    }
}

}  // namespace

bool packShortMessage(const std::uint8_t* data, std::size_t size, std::uint32_t* packed) {
    if (size == 0 || size != messageLength(data[0])) return false;
    std::uint32_t p = 0;
    for (std::size_t i = 0; i < size; ++i) p |= static_cast<std::uint32_t>(data[i]) << (8 * i);
    *packed = p;
    return true;
}

std::size_t unpackShortMessage(std::uint32_t packed, std::uint8_t out[3]) {
    const std::size_t n = messageLength(static_cast<std::uint8_t>(packed & 0xFF));
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(packed >> (8 * i));
    return n;
}

}  // namespace kf
