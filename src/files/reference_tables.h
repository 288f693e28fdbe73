// Reading the preset drum sets and their instruments from Drum_set.csv and DrumInst.csv at
// start-up.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "model/kit.h"
#include "model/preset_sets.h"

namespace kf {

// Reports of a long load, for a progress bar.
struct LoadProgress {
    std::function<void(int)> setMaximum;
    std::function<void()> step;     // every 128 lines of DrumInst.csv
    std::function<void()> finished;  // the bar goes to its maximum
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
