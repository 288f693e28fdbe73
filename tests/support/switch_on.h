// What the end-to-end transfer tests compare against: the messages of the switch-on transfer,
// and a device's ID as kitforge-cli lists it.
#pragma once

#include <string>
#include <vector>

#include "midi/midi_backend.h"
#include "model/kit.h"

namespace kf::test {

// What sendSwitchOnSequence sends for kit after preview was off, in order.
std::vector<MidiBytes> switchOnMessages(const Kit& kit);

// The ID "kitforge-cli ports" gives the device of that name; empty when it is not listed.
std::string cliPortId(const std::string& cli, const std::string& name);

}  // namespace kf::test
