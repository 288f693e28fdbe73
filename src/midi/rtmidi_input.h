// MIDI input through RtMidi on the platform's own API (WinMM, CoreMIDI), for the builds that
// have no input of our own. RtMidi calls back on a thread of its own with whole messages.
#pragma once

#include <memory>

#include "midi/midi_in.h"

class RtMidiIn;

namespace kf {

class RtMidiInput : public MidiInBackend {
public:
    RtMidiInput();
    ~RtMidiInput() override;

    // False when the platform API could not be opened.
    bool available() override { return in_ != nullptr; }
    std::vector<std::string> ports() override;
    // -1: a virtual port "Kitforge" where the API has them.
    bool open(int id, const Bytes& bytes, MidiError* error) override;
    void close() override;

private:
    std::unique_ptr<RtMidiIn> in_;
    Bytes bytes_;
};

}  // namespace kf
