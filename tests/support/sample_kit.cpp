#include "sample_kit.h"

#include <string>
#include <vector>

#include "files/reference_tables.h"

namespace kf::test {

Kit fullKit() {
    Kit kit;
    kit.reset();
    kit.setSetName(1, "Rock Kit");
    kit.setSetName(2, "Jazz,Brush");
    for (int s = 1; s <= 2; ++s) {
        for (int n = 0; n < kNoteCount; ++n) {
            DrumNoteEntry& e = kit.entry(s, n);
            e.used = 1;
            e.name = (n % 7 == 0 ? " Kick, " : "Inst ") + std::to_string(s * 1000 + n);
            e.playNote = static_cast<std::uint8_t>((n + 5 * s) % 128);
            e.level = static_cast<std::uint8_t>(127 - n % 64);
            e.pan = static_cast<std::uint8_t>((n * 3) % 128);
            e.reverb = static_cast<std::uint8_t>((n * 5) % 128);
            e.effectSend = static_cast<std::uint8_t>(n % 3 == 0 ? 0 : (n * 7) % 128);
            e.effectType = static_cast<std::uint8_t>(n % 2);
            e.assignGroup = static_cast<std::uint8_t>(n % 5);
            e.rxNoteOff = static_cast<std::uint8_t>(n % 4 == 0);
            e.rxNoteOn = 1;
            e.sourceMap = static_cast<std::uint8_t>(1 + n % 3);
            e.sourceProgram = static_cast<std::uint8_t>((n * 8) % 128);
            e.sourceNote = static_cast<std::uint8_t>(n);
        }
    }
    return kit;
}

}  // namespace kf::test

namespace kf::test {

const ReferenceTables& shippedTables() {
    static const ReferenceTables t = [] {
        int useMap = 2;
        return LoadReferenceTables({KITFORGE_SOURCE_DATA_DIR}, useMap, 256);
    }();
    return t;
}

Kit tableKit(const ReferenceTables& tables, int usedPerSet, unsigned seed) {
    std::vector<std::pair<const PresetDrumSet*, int>> instruments;
    for (const PresetDrumSet& s : tables.sets)
        if (s.hasInstruments)
            for (int n = 0; n < kNoteCount; ++n)
                if (s.instruments[static_cast<size_t>(n)].used) instruments.emplace_back(&s, n);
    std::uint32_t state = seed * 2654435761u + 1;
    auto next = [&state](std::uint32_t bound) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % bound;
    };
    Kit kit;
    kit.reset();
    kit.setSetName(1, "Fetched " + std::to_string(seed % 100));
    kit.setSetName(2, "Other Set");
    for (int set = 1; set <= kSetCount; ++set)
        for (int i = 0; i < usedPerSet; ++i) {
            const int note = usedPerSet >= kNoteCount ? i : i * kNoteCount / usedPerSet;
            const auto& [preset, k] = instruments[next(static_cast<std::uint32_t>(instruments.size()))];
            DrumNoteEntry& e = kit.entry(set, note);
            e.assignInstrument(preset->instruments[static_cast<size_t>(k)]);
            e.used = 1;
            e.sourceMap = static_cast<std::uint8_t>(preset->map);
            e.sourceProgram = static_cast<std::uint8_t>(preset->program);
            e.sourceNote = static_cast<std::uint8_t>(k);
            e.playNote = static_cast<std::uint8_t>(next(128));
            e.level = static_cast<std::uint8_t>(next(128));
            e.pan = static_cast<std::uint8_t>(next(128));
            e.reverb = static_cast<std::uint8_t>(next(128));
            e.effectSend = static_cast<std::uint8_t>(next(128));
            // A module holds both sends: with both at 0 no type can be told.
            e.effectType = e.effectSend ? static_cast<std::uint8_t>(next(2)) : 0;
            e.assignGroup = static_cast<std::uint8_t>(next(128));
            e.rxNoteOff = static_cast<std::uint8_t>(next(2));
            e.rxNoteOn = static_cast<std::uint8_t>(next(2));
        }
    return kit;
}

}  // namespace kf::test
