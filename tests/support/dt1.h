// Expected GS DT1 messages for tests, built byte by byte apart from the program's own
// builders so that a fault there cannot hide in the expectation.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace kf::test::dt1 {

// A note's twelve bytes in address order: play note, level, assign group, pan, reverb, chorus,
// Rx note off, Rx note on, delay, source map, source program, source note.
using NoteBytes = std::array<int, 12>;

// "F0 41 10 42 12 <address and data> <checksum> F7" in the recorder's hex text.
std::string message(const std::vector<int>& addressAndData);
// One per-note byte: address 21 (16 * (set - 1) + parameter) note.
std::string noteParameter(int set, int note, int parameter, int value);
// A set's name, blank-padded to twelve characters, at address 21 (16 * (set - 1)) 00.
std::string setName(int set, const std::string& name);
// The twelve messages of a note, in the order given (parameter numbers 1..12).
std::vector<std::string> note(int set, int note, const NoteBytes& bytes,
                              const std::vector<int>& order = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
// A note sent right after the panel's two Rx messages: the note's own Rx messages take their
// places in the queue, so they come first.
std::vector<std::string> noteAfterRx(int set, int note, const NoteBytes& bytes);

}  // namespace kf::test::dt1
