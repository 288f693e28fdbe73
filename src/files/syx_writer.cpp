#include "files/exports.h"
#include "files/kit_library.h"

namespace kf {

std::string WriteSysexFile(const Kit& kit) {
    std::string out;
    for (const MidiBytes& m : kitLoadMessages(kit)) out.append(m.begin(), m.end());
    return out;
}

}  // namespace kf
