// The preset drum sets of the module and their instruments, read from Drum_set.csv and
// DrumInst.csv at start-up.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>
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

// Reports of a long load, for a progress bar.
struct LoadProgress {
    std::function<void(int)> setMaximum;
    std::function<void()> step;     // every 128 lines of DrumInst.csv
    std::function<void()> finished;  // the bar goes to its maximum
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

// "  55 ", "  88 ", " Pro " or "#%3d ".
std::string mapTag(int map);

// Maps accepted by the Use Map setting; any value other than 0 or 1 becomes 2 (all maps).
std::pair<int, int> acceptedMaps(int& useMap);

// Builds the tables from the bytes of both files.
ReferenceTables buildReferenceTables(std::string_view drumSetCsv, std::string_view drumInstCsv, int& useMap,
                                     int rememberedDrumSet, const LoadProgress* progress = nullptr);

// Reads both files from the first directory of dirs that holds Drum_set.csv (the program's
// own directory should come first), and builds the tables. Throws FileError.
ReferenceTables LoadReferenceTables(const std::vector<std::string>& dirs, int& useMap, int rememberedDrumSet,
                                    const LoadProgress* progress = nullptr);

// Names sorted as a sorted list box keeps them: case-insensitive.
std::vector<std::string> sortedSuggestions(std::vector<std::string> names);

}  // namespace kf
