#include "switch_on.h"

#include <sstream>

#include "child.h"
#include "gs/device_commands.h"
#include "recorded_out.h"

namespace kf::test {

std::vector<MidiBytes> switchOnMessages(const Kit& kit) {
    RecordedOut w(RecordedOut::Open);
    sendSwitchOnSequence(w.out, kit, true);
    return w.sent();
}

std::string cliPortId(const std::string& cli, const std::string& name) {
    ChildOptions options;
    options.captureOutput = true;
    options.quietErrors = false;
    std::istringstream lines(runProgram(cli, {"ports"}, options).output);
    std::string id;
    for (std::string l; std::getline(lines, l);) {
        const size_t tab = l.find('\t');
        if (tab != std::string::npos && l.compare(tab + 1, std::string::npos, name) == 0) id = l.substr(0, tab);
    }
    return id;
}

}  // namespace kf::test
