// MIDI output through RtMidi on the platform's own API (CoreMIDI), for the builds that have no
// output of our own.
#pragma once

#include <memory>

#include "midi/midi_backend.h"
#include "midi/rtmidi_error.h"

class RtMidiOut;

namespace kf {

class RtMidiBackend : public MidiBackend {
public:
    RtMidiBackend();
    ~RtMidiBackend() override;

    // False when the platform API could not be opened.
    bool available() override { return out_ != nullptr; }

    std::vector<std::string> ports() override;
    bool open(int id, MidiError* error) override;
    std::size_t close() override;
    bool send(const std::uint8_t* data, std::size_t size) override;
    MidiError sendError() const override { return error_; }

private:
    // RtMidi reports through this rather than by throwing once it is set.
    static void onError(int type, const std::string& text, void* self);

    std::unique_ptr<RtMidiOut> out_;
    RtMidiStage stage_ = RtMidiStage::Setup;
    MidiError error_;  // of the stage under way; why the client could not be made, after Setup
};

}  // namespace kf
