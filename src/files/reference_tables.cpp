#include "files/reference_tables.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "files/disk.h"
#include "files/fields.h"
#include "model/sjis.h"
#include "model/parameters.h"

namespace kf {

namespace {

constexpr size_t kMaxSets = 256;
constexpr size_t kProgressLines = 128;
// Names are kept only as long as anything shows them: an instrument's as long as a note's name
// can be, a set's longer than a set name, to tell sets apart in the map list. A huge name in a
// table then costs no more than reading it.
constexpr size_t kInstrumentNameBytes = 20;
constexpr size_t kSetNameBytes = 32;

bool before(const PresetDrumSet& a, const PresetDrumSet& b) {
    return std::pair(a.map, a.program) < std::pair(b.map, b.program);
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) { return sjis::upper(a) == sjis::upper(b); }

void fillInstrument(DrumInstrument& inst, std::string_view line) {
    inst.used = 1;
    inst.name = sjis::cut(field(line, 4), kInstrumentNameBytes);
    // A field left out takes the parameter's value for a missing field.
    auto number = [&](int column, int p) { return numberField(field(line, column), deviceParameterInfo(p).missing); };
    inst.playNote = static_cast<std::uint8_t>(number(5, kPlayNote));
    inst.level = static_cast<std::uint8_t>(number(6, kLevel));
    inst.pan = static_cast<std::uint8_t>(number(7, kPan));
    inst.reverb = static_cast<std::uint8_t>(number(8, kReverb));
    const int chorus = number(9, kChorus);
    const int delay = number(10, kDelay);
    inst.effectSend = static_cast<std::uint8_t>(std::max(chorus, delay));
    inst.effectType = delay > chorus ? 1 : 0;
    inst.assignGroup = static_cast<std::uint8_t>(number(11, kAssignGroup));
    inst.rxNoteOff = integerOr(field(line, 12), deviceParameterInfo(kRxNoteOff).missing) != 0 ? 1 : 0;
    inst.rxNoteOn = integerOr(field(line, 13), deviceParameterInfo(kRxNoteOn).missing) != 0 ? 1 : 0;
}

}  // namespace

std::string mapTag(int map) {
    switch (map) {
        case 1: return "  55 ";
        case 2: return "  88 ";
        case 3: return " Pro ";
        default: {
            char buf[16];
            std::snprintf(buf, sizeof buf, "#%3d ", map);
            return buf;
        }
    }
}

std::pair<int, int> acceptedMaps(int& useMap) {
    if (useMap == 0) return {1, 2};
    if (useMap == 1) return {1, 3};
    useMap = 2;
    return {0, 127};
}

ReferenceTables buildReferenceTables(std::string_view drumSetCsv, std::string_view drumInstCsv, int& useMap,
                                     int rememberedDrumSet, const LoadProgress* progress) {
    const auto [lowMap, highMap] = acceptedMaps(useMap);
    const size_t instCount = LineReader(drumInstCsv).count();
    if (progress && progress->setMaximum) progress->setMaximum(static_cast<int>(instCount / kProgressLines + 1));

    ReferenceTables t;
    std::string_view line;
    for (LineReader setLines(drumSetCsv); setLines.next(line);) {
        const auto map = digitsField(field(line, 1));
        const auto program = digitsField(field(line, 2));
        if (!map || !program || *map < lowMap || *map > highMap) continue;
        PresetDrumSet s;
        s.map = *map;
        s.program = *program;
        // The first line of a map and program wins.
        if (std::any_of(t.sets.begin(), t.sets.end(),
                        [&](const PresetDrumSet& o) { return o.map == s.map && o.program == s.program; }))
            continue;
        s.name = sjis::cut(field(line, 3), kSetNameBytes);
        t.sets.push_back(std::move(s));
        if (t.sets.size() == kMaxSets) break;
    }
    std::stable_sort(t.sets.begin(), t.sets.end(), before);

    LineReader instLines(drumInstCsv);
    for (size_t i = 0; instLines.next(line); ++i) {
        if (!line.empty()) {
            const auto map = digitsField(field(line, 1));
            const auto program = digitsField(field(line, 2));
            if (map && program) {
                // Looked up by its key alone: a whole set to compare with is 128 instruments made
                // and dropped for every line.
                const std::pair<int, int> wanted(*map, *program);
                const auto beforeKey = [](const PresetDrumSet& s, const std::pair<int, int>& key) {
                    return std::pair(s.map, s.program) < key;
                };
                auto it = std::lower_bound(t.sets.begin(), t.sets.end(), wanted, beforeKey);
                if (it != t.sets.end() && it->map == *map && it->program == *program) {
                    it->hasInstruments = true;
                    if (const auto note = digitsField(field(line, 3))) {
                        DrumInstrument& inst = it->instruments[static_cast<size_t>(*note)];
                        if (!inst.used) fillInstrument(inst, line);
                    }
                }
            }
        }
        if (i % kProgressLines == 0 && progress && progress->step) progress->step();
    }
    if (progress && progress->finished) progress->finished();

    for (auto& s : t.sets)
        if (!s.hasInstruments) s.map = 255;
    std::stable_sort(t.sets.begin(), t.sets.end(),
                     [](const PresetDrumSet& a, const PresetDrumSet& b) { return a.map < b.map; });

    for (const auto& s : t.sets) {
        if (s.hasInstruments) {
            if (drumSetSettingOf(s.map, s.program) == rememberedDrumSet) t.selectedItem = static_cast<int>(t.mapList.size());
            t.mapList.push_back(mapTag(s.map) + s.name);
        }
        const bool plain = sjis::cutBeforeHighByte(s.name).size() == s.name.size();
        const bool known = std::any_of(t.nameSuggestions.begin(), t.nameSuggestions.end(),
                                       [&](const std::string& n) { return equalsIgnoringCase(n, s.name); });
        if (plain && !known) t.nameSuggestions.push_back(s.name);
    }
    if (t.selectedItem < 0 && !t.mapList.empty()) t.selectedItem = 0;
    return t;
}

ReferenceTables LoadReferenceTables(const std::vector<std::string>& dirs, int& useMap, int rememberedDrumSet,
                                    const LoadProgress* progress) {
    namespace fs = std::filesystem;
    // The folders are UTF-8, on Windows too, where a path made from a plain string would take it
    // for the ANSI code page.
    fs::path dir = dirs.empty() ? fs::path(".") : fs::u8path(dirs.front());
    std::error_code ec;
    for (const auto& d : dirs)
        if (fs::exists(fs::u8path(d) / "Drum_set.csv", ec)) {
            dir = fs::u8path(d);
            break;
        }
    const std::string sets = readFileBytes((dir / "Drum_set.csv").u8string());
    const std::string insts = readFileBytes((dir / "DrumInst.csv").u8string());
    return buildReferenceTables(sets, insts, useMap, rememberedDrumSet, progress);
}

std::vector<std::string> sortedSuggestions(std::vector<std::string> names) {
    std::stable_sort(names.begin(), names.end(),
                     [](const std::string& a, const std::string& b) { return sjis::upper(a) < sjis::upper(b); });
    return names;
}

}  // namespace kf
