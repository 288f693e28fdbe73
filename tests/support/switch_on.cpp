#include "switch_on.h"

#include <cstdio>

#include "midi/device_commands.h"
#include "midi/midi_out.h"
#include "recording_backend.h"

namespace kf::test {

std::vector<MidiBytes> switchOnMessages(const Kit& kit) {
    auto rec = std::make_unique<RecordingBackend>();
    RecordingBackend* r = rec.get();
    MidiOut out(std::move(rec), std::make_shared<JumpClock>());
    out.openPort(0);
    sendSwitchOnSequence(out, kit, true);
    out.flush();
    return r->sent;
}

std::string cliPortId(const std::string& cli, const std::string& name) {
    std::string id;
    if (FILE* p = ::popen((cli + " ports").c_str(), "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, p)) {
            const std::string l(line);
            const size_t tab = l.find('\t');
            if (tab != std::string::npos && l.compare(tab + 1, name.size(), name) == 0 &&
                l.size() - tab - 1 - name.size() <= 1)  // the name, then the line's end
                id = l.substr(0, tab);
        }
        ::pclose(p);
    }
    return id;
}

}  // namespace kf::test
