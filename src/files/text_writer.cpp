#include "files/exports.h"
#include "gs/sysex.h"
#include "model/sjis.h"

namespace kf {

std::string WriteTextFile(const Kit& kit, bool comment) {
    std::string out;
    auto line = [&out](std::string_view s) {
        out.append(s);
        out += "\r\n";
    };
    for (int set = 1; set <= kSetCount; ++set) {
        const std::string index = std::to_string(set - 1);
        if (kit.anyUsed(set)) {
            if (comment) line("@NAME," + index + "," + std::string(sjis::trim(kit.setName(set))));
            line(hexText(buildNameMessage(kit, set)));
        }
        for (int note = 0; note < kNoteCount; ++note) {
            const DrumNoteEntry& e = kit.entry(set, note);
            if (!e.used) continue;
            if (comment) line("@" + index + "," + std::to_string(note) + "," + std::string(sjis::trim(e.name)));
            for (int p : exportedParameters(e)) line(hexText(buildParameterMessage(kit, set, note, p)));
        }
    }
    return out;
}

}  // namespace kf
