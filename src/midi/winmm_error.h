// What WinMM's result codes mean to the user, and the packing of its short messages, kept
// apart from the Windows headers so both build and are tested on every platform.
#pragma once

#include <cstddef>
#include <cstdint>

#include "midi/midi_backend.h"

namespace kf {

// MMRESULT values, by number (winmm_client.cpp checks them against mmsystem.h).
namespace winmm_result {
constexpr unsigned kNoError = 0, kError = 1, kBadDeviceId = 2, kNotEnabled = 3, kAllocated = 4, kInvalHandle = 5,
                   kNoDriver = 6, kNoMem = 7, kNotSupported = 8, kInvalFlag = 10, kInvalParam = 11,
                   kHandleBusy = 12, kUnprepared = 64, kStillPlaying = 65, kNoMap = 66, kNotReady = 67,
                   kNoDevice = 68, kInvalidSetup = 69, kBadOpenMode = 70;
}

// What the program was doing when the call failed: opening a device, or carrying messages on
// one that is open.
enum class WinMmStage { Open, Transfer };

// The kind of a failed WinMM call's result at stage; None for success.
MidiError::Kind winMmErrorKind(unsigned result, WinMmStage stage);

// A channel or system message of at most three bytes as midiOutShortMsg takes it (the status
// in the low byte); false for what must go as a long message (SysEx, or longer).
bool packShortMessage(const std::uint8_t* data, std::size_t size, std::uint32_t* packed);
// A message that came in as MIM_DATA, back to its bytes: how many of out hold it (running
// status is never in effect there, so the status byte leads).
std::size_t unpackShortMessage(std::uint32_t packed, std::uint8_t out[3]);

}  // namespace kf
