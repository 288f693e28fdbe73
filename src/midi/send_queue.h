// The ordered queue of messages waiting for the wire, and the arithmetic of wire time.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <unordered_map>

#include "midi/midi_backend.h"

namespace kf {

// How fast messages may leave. A MIDI cable carries 31,250 baud at 10 bits a byte.
struct Pacing {
    bool unlimited = false;
    std::chrono::milliseconds sysexPause{0};  // extra quiet after each SysEx message, 0..500
};

constexpr std::chrono::microseconds kWireTimePerByte{320};
constexpr int kMaxSysexPauseMs = 500;

// The time a message holds the line before the next one may start.
std::chrono::microseconds wireTime(const MidiBytes& message, const Pacing& pacing);

// How long the module needs after a message that reinitialises it before it takes the next.
// Roland asks for 50 ms after a GS reset; for the system mode and the map of all parts no
// figure is given, so they are allowed 200 ms. Every other message: none.
std::chrono::microseconds settleTime(const MidiBytes& message);
// The same for bytes a real-time thread holds, without a copy.
std::chrono::microseconds settleTime(const std::uint8_t* data, std::size_t size);

// The address of a user drum DT1 message (parameter or set name) as one number, or -1.
long userDrumAddress(const MidiBytes& message);

class SendQueue {
public:
    // A user drum DT1 replaces, in its place, a queued one of the same address unless another
    // SysEx (a device command) was queued after that one. Everything else goes to the end.
    // Returns true when the message replaced one.
    bool push(MidiBytes message);

    bool empty() const { return items_.empty(); }
    std::size_t size() const { return items_.size(); }
    const MidiBytes& front() const { return items_.front(); }
    MidiBytes pop();
    // Returns how many were dropped.
    std::size_t clear();
    std::size_t bytes() const { return bytes_; }
    std::size_t sysexCount() const { return sysex_; }
    // The settle times of what is queued, added up.
    std::chrono::microseconds settleTotal() const { return settle_; }
    // The line time of the queued messages that need settling: their settle starts after it
    // at every speed.
    std::chrono::microseconds settlingWire() const { return settlingWire_; }

private:
    std::deque<MidiBytes> items_;
    std::uint64_t frontSeq_ = 0;  // sequence number of items_.front()
    // Queued user drum messages since the last device command, by address.
    std::unordered_map<long, std::uint64_t> latest_;
    std::size_t bytes_ = 0;
    std::size_t sysex_ = 0;
    std::chrono::microseconds settle_{0};
    std::chrono::microseconds settlingWire_{0};
};

}  // namespace kf
