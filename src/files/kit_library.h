// The kit library: one summary row for each file the program opens or imports (its set names,
// used notes and instruments), and the search over those rows.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "files/disk.h"
#include "midi/midi_backend.h"
#include "model/kit.h"

namespace kf {

struct ReferenceTables;

// The preset instruments by source map, program and note, the names a row is searched by.
// Made once from the tables and shared read-only with the indexing thread.
class InstrumentNames {
public:
    InstrumentNames() = default;
    explicit InstrumentNames(const ReferenceTables& tables);
    // Empty when the tables know no such instrument.
    std::string_view name(int map, int program, int note) const;

private:
    std::unordered_map<int, std::string> names_;
};

struct LibraryEntry {
    std::string path;      // UTF-8, as the core takes paths
    std::string fileName;  // UTF-8
    long long modified = 0;  // seconds since 1970
    std::string setNames[kSetCount];  // Shift-JIS, as the Kit holds them
    int notes[kSetCount] = {0, 0};    // used notes per set
    // Distinct instrument names of the used notes, Shift-JIS, each followed by '\n': the preset
    // instrument the note plays and the name the note was given.
    std::string instruments;
    // Why the file cannot be read (UTF-8); empty when it was.
    std::string error;

    bool readable() const { return error.empty(); }
};

// .kfg, .mid, .midi, .syx or .txt in any case: the files Open and Import take.
bool isLibraryFile(std::string_view fileName);

// Reads bytes as Open (a .kfg) or Import (anything else) would into kit. Returns why they hold
// no kit (UTF-8), or an empty string.
std::string readKitOfAnyKind(std::string_view fileName, std::string_view bytes, Kit& kit);

// The row of a file's bytes; a file that holds no kit gives a row with its reason.
LibraryEntry summarizeKit(const std::string& path, const std::string& fileName, long long modified,
                          std::string_view bytes, const InstrumentNames& names);
// The same, read from disk: a file that cannot be read is a row with its reason, never an
// exception.
LibraryEntry indexKitFile(const std::string& path, const std::string& fileName, long long modified,
                          const InstrumentNames& names, const DiskCalls& disk = systemDiskCalls());

// One search text in the two encodings it is compared in: file names are UTF-8, the names of
// sets and instruments Shift-JIS. names is empty when the text has no Shift-JIS form, and
// then matches only file names.
struct LibraryQuery {
    std::string fileName;
    std::string names;
};

// Case-insensitive (ASCII letters) substring of the file name, a set name or an instrument
// name. A Shift-JIS text matches only from the start of a character, never from the second
// byte of a two-byte one. An empty query matches every row.
bool libraryMatches(const LibraryEntry& entry, const LibraryQuery& query);
// The indexes of the rows that match, in order.
std::vector<int> searchLibrary(const std::vector<LibraryEntry>& rows, const LibraryQuery& query);

// What a synth is told to hold the kit: the rhythm-part message, then what the module is sent
// of each set, as a .syx export holds it.
std::vector<MidiBytes> kitLoadMessages(const Kit& kit);
// The used notes, set 1 first, in note order.
std::vector<std::pair<int, int>> usedNotes(const Kit& kit);

}  // namespace kf
