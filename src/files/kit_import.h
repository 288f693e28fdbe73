// Kits from anywhere: the user drum sets set up by a Standard MIDI File, a SysEx dump or a
// hex text, read from the GS DT1 messages they carry.
#pragma once

#include <string>
#include <string_view>

#include "model/kit.h"

namespace kf {

struct ReferenceTables;

struct ImportSummary {
    enum Kind { StandardMidiFile, SysexDump, HexText, Unknown };
    Kind kind = Unknown;
    int notes[kSetCount] = {0, 0};  // used notes per set afterwards
    int names = 0;                  // sets whose name was found
    long taken = 0;                 // user drum DT1 messages applied
    long skipped = 0;               // every other message: other SysEx, channel messages, bad sums
    long badChecksum = 0;           // of those skipped, the DT1 messages whose checksum was wrong
    std::string damage;             // empty, or where the input stopped being sound

    bool usable() const { return notes[0] + notes[1] + names > 0; }
};

// Reads bytes of any of the three kinds, told apart by content, into kit as New leaves it
// (Reset), later messages winning. Instrument names come from the comments our exports write
// before a note's messages, else from tables (may be null) by source map, program and note.
// Never reads outside bytes, however the lengths inside lie.
ImportSummary ImportKit(std::string_view bytes, Kit& kit, const ReferenceTables* tables = nullptr);

// What an import found, in a line of English for the command line.
std::string describeImport(const ImportSummary& s);

}  // namespace kf
