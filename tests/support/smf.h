// Standard MIDI Files for the tests: built byte by byte, to feed the import what other
// programs write, and read back strictly, to judge what the export wrote.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "midi/midi_backend.h"

namespace kf::test::smf {

// A variable-length quantity.
std::string vlq(std::uint32_t v);
// Bytes written out one by one, as a song's bytes are given in a test.
std::string bytes(std::initializer_list<int> v);
// An event after delta ticks.
inline std::string ev(std::uint32_t delta, const std::string& event) { return vlq(delta) + event; }
// A big-endian 32-bit number at `at`.
std::uint32_t be32(const std::string& bytes, size_t at);
// A file of these track bodies, at 480 ticks a quarter unless told.
std::string file(std::initializer_list<std::string> tracks, std::uint16_t format = 1, std::uint16_t division = 480);
// The track event of a SysEx message: delta 0, F0, its length, the rest.
std::string sysex(const MidiBytes& m);

struct Event {
    std::uint32_t time;   // absolute, in ticks
    std::uint8_t status;  // F0 SysEx, FF meta
    std::uint8_t type;    // of a meta event
    std::string data;
};

// The events of every track. Throws std::runtime_error on anything a strict reader would
// refuse: a header that does not count the tracks there are, a chunk or an event that runs
// past its end. It knows only the events the export writes: SysEx and meta.
std::vector<std::vector<Event>> read(const std::string& bytes);

// An event of any kind, its status spelled out: a channel message's status and data bytes, or
// F0/F7/FF with the rest as the file holds it (a meta event's type, then length and data).
struct AnyEvent {
    std::uint32_t time;
    std::string bytes;
    bool operator==(const AnyEvent& o) const { return time == o.time && bytes == o.bytes; }
};
// Every event of every track, as a player reads the file: chunks of other kinds passed over,
// running status held across meta and SysEx events, as most players take it. Refuses as read() does, and an event of a kind no MIDI
// file holds or a data byte with no status before it.
std::vector<std::vector<AnyEvent>> readAll(const std::string& bytes);

}  // namespace kf::test::smf
