// MIDI input through RtMidi on the platform's own API (CoreMIDI), for the builds that have no
// input of our own. RtMidi calls back on a thread of its own with whole messages.
#pragma once

#include <memory>

#include "midi/midi_in.h"

namespace kf {

class RtMidiClient;

class RtMidiInput : public MidiInBackend {
public:
    RtMidiInput();
    ~RtMidiInput() override;

    // False when the platform API could not be opened.
    bool available() override;
    std::vector<std::string> ports() override;
    // -1: a virtual port "Kitforge" where the API has them.
    bool open(int id, const Bytes& bytes, MidiError* error) override;
    void close() override;
    void onFailure(Failed failed) override;

private:
    void stopListening();

    std::unique_ptr<RtMidiClient> client_;
    Bytes bytes_;
    // RtMidi warns when a callback that was never set is cancelled.
    bool listening_ = false;
};

}  // namespace kf
