// A port found by the name its transport gives it, as a user picks one from the list: the same
// for JACK, the ALSA sequencer and the recorder, on the way out (MidiOut) or in (MidiIn).
#pragma once

#include <string>

namespace kf::test {

// No device has this ID, not even the own virtual port (-1) or the built-in synth (-2): an
// open of it fails.
constexpr int kNotListed = -3;

template <class Device>
int portIndex(Device& device, const std::string& name) {
    for (int i = 0; i < device.deviceCount(); ++i)
        if (device.deviceName(i) == name) return i;
    return kNotListed;
}

}  // namespace kf::test
