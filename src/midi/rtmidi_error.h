// What RtMidi's error types mean to the user, kept apart from RtMidi so the mapping builds
// and is tested where RtMidi is not used.
#pragma once

#include "midi/midi_backend.h"

namespace kf {

// RtMidiError::Type, by value (rtmidi_backend.cpp checks them against RtMidi's own).
namespace rtmidi_type {
constexpr int kWarning = 0, kDebugWarning = 1, kUnspecified = 2, kNoDevicesFound = 3, kInvalidDevice = 4,
              kMemoryError = 5, kInvalidParameter = 6, kInvalidUse = 7, kDriverError = 8, kSystemError = 9,
              kThreadError = 10;
}

// What the program was doing when RtMidi reported: making its client, opening a port, sending,
// or receiving on an open port.
enum class RtMidiStage { Setup, Open, Send, Receive };

// The kind of an RtMidi error of type at stage; None for what is no failure (debug notes).
MidiError::Kind rtMidiErrorKind(int type, RtMidiStage stage);

}  // namespace kf
