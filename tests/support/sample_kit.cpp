#include "sample_kit.h"

#include <string>

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
