// Any bytes as an import: no crash, no read outside the input, and a Kit that keeps its shape.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "files/kit_import.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kf::Kit kit;
    const kf::ImportSummary s = kf::ImportKit(std::string_view(reinterpret_cast<const char*>(data), size), kit);
    if (s.notes[0] < 0 || s.notes[0] > 128 || s.notes[1] < 0 || s.notes[1] > 128 || s.names < 0 || s.names > 2 ||
        s.badChecksum > s.skipped)
        std::abort();
    for (int set = 1; set <= kf::kSetCount; ++set) {
        if (kit.setName(set).size() > 12) std::abort();
        for (int n = 0; n < kf::kNoteCount; ++n) {
            const kf::DrumNoteEntry& e = kit.entry(set, n);
            if (e.name.size() > 20 || e.effectType > 1 || e.rxNoteOff > 1 || e.rxNoteOn > 1) std::abort();
        }
    }
    return 0;
}
