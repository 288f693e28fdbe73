#include "switch_on.h"

#include "gs/device_commands.h"
#include "recorded_out.h"

namespace kf::test {

std::vector<MidiBytes> switchOnMessages(const Kit& kit) {
    RecordedOut w(RecordedOut::Open);
    sendSwitchOnSequence(w.out, kit, true);
    return w.sent();
}

}  // namespace kf::test
