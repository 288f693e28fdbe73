// Any bytes read as a kit file: no crash, every value in range, and what is written from
// the result reads back to the same file.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "files/exports.h"
#include "files/kit_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    kf::Kit kit;
    kit.reset();
    if (kf::ReadKitFile(bytes, kit).status != kf::KitReadResult::Read) return 0;
    for (int s = 1; s <= 2; ++s) {
        if (kit.setName(s).size() > 12) std::abort();
        for (int n = 0; n < 128; ++n) {
            const auto& e = kit.entry(s, n);
            if (e.name.size() > 20 || e.playNote > 127 || e.level > 127 || e.pan > 127 || e.reverb > 127 ||
                e.effectSend > 127 || e.assignGroup > 127 || e.effectType > 1 || e.sourceMap > 127 ||
                e.sourceProgram > 127 || e.sourceNote > 127)
                std::abort();
        }
    }
    const std::string once = kf::WriteKitFile(kit);
    kf::Kit again;
    again.reset();
    if (kf::ReadKitFile(once, again).status != kf::KitReadResult::Read) std::abort();
    if (kf::WriteKitFile(again) != once) std::abort();
    (void)kf::WriteMidiFile(kit, true, "/tmp/fuzz.mid");
    (void)kf::WritePrtFile(kit, true);
    (void)kf::WriteTextFile(kit, true);
    return 0;
}
