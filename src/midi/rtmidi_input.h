// MIDI input through RtMidi on the platform's own API (WinMM, CoreMIDI), for the builds that
// have no input of our own. RtMidi calls back on a thread of its own with whole messages.
#pragma once

#include <memory>
#include <mutex>

#include "midi/midi_in.h"
#include "midi/rtmidi_error.h"

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
    void onFailure(Failed failed) override;

private:
    // RtMidi reports through this rather than by throwing once it is set; on its own thread
    // while the port is open.
    static void onError(int type, const std::string& text, void* self);

    std::unique_ptr<RtMidiIn> in_;
    Bytes bytes_;
    std::mutex m_;
    RtMidiStage stage_ = RtMidiStage::Setup;
    MidiError error_;  // of the stage under way; why the client could not be made, after Setup
    Failed failed_;
};

}  // namespace kf
