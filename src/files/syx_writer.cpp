#include "files/exports.h"
#include "gs/device_commands.h"

namespace kf {

std::string WriteSysexFile(const Kit& kit) {
    std::string out;
    auto put = [&out](const MidiBytes& m) { out.append(m.begin(), m.end()); };
    put(rhythmPart11Message());
    for (int set = 1; set <= kSetCount; ++set)
        for (const MidiBytes& m : setTransferMessages(kit, set)) put(m);
    return out;
}

}  // namespace kf
