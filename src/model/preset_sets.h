// The module's preset drum sets as the program knows them: each set's instruments, as read
// from the reference tables, and the "Drum Set" setting that remembers one of them.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "model/kit.h"

namespace kf {

// The "Drum Set" setting that remembers a preset set: map * 128 + program.
constexpr int drumSetSettingOf(int map, int program) { return map * 128 + program; }

struct PresetDrumSet {
    std::string name;  // Shift-JIS bytes
    int map = 0;       // 255 for a set without instruments
    int program = 0;
    bool hasInstruments = false;
    std::array<DrumInstrument, kNoteCount> instruments{};
};

struct ReferenceTables {
    // Table order: sets with instruments by map and program, then the others.
    std::vector<PresetDrumSet> sets;
    // The drum set list: item i stands for sets[i] (only sets with instruments are listed).
    std::vector<std::string> mapList;
    int selectedItem = -1;
    // Distinct set names (case-insensitive) without a byte of 7E or above, in table order.
    std::vector<std::string> nameSuggestions;

    bool empty() const { return sets.empty(); }
    // The "Drum Set" setting of an item (drumSetSettingOf); 256 when there is none.
    int drumSetSetting(int item) const;
};

}  // namespace kf
