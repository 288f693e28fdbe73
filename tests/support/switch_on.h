// What the end-to-end transfer tests compare against: the messages of the switch-on transfer;
// and a device's ID found by its name, as a user picks it from the list kitforge-cli, a MidiOut
// or a MidiIn gives (the same for JACK, the ALSA sequencer and the recorder).
#pragma once

#include <string>
#include <vector>

#include "midi/midi_backend.h"
#include "model/kit.h"

namespace kf::test {

// What sendSwitchOnSequence sends for kit after preview was off, in order.
std::vector<MidiBytes> switchOnMessages(const Kit& kit);

// What the editor's start sends with preview on, spelled out byte by byte: the rhythm-part
// message, then set 1 note 0 of a blank kit parameter by parameter in the panel's order.
std::vector<MidiBytes> editorStartMessages();

// A device command after which the module settles, sent paced or unlimited: what each
// transport's test of the gap after the settling messages goes through.
struct SettleCase {
    const char* name;
    int command;
    bool unlimited;
};
const std::vector<SettleCase>& settleCases();

// The ID "kitforge-cli ports" (with input, "ports --in") gives the device of that name; empty
// when it is not listed.
std::string cliPortId(const std::string& cli, const std::string& name, bool input = false);

// No device has this ID, not even the own virtual port (-1) or the built-in synth (-2): an
// open of it fails.
constexpr int kNotListed = -3;

// The ID under which a MidiOut or a MidiIn lists the device of that name.
template <class Device>
int portIndex(Device& device, const std::string& name) {
    for (int i = 0; i < device.deviceCount(); ++i)
        if (device.deviceName(i) == name) return i;
    return kNotListed;
}

}  // namespace kf::test
