// MIDI output through RtMidi on the platform's own API (ALSA sequencer on Linux).
#pragma once

#include <memory>

#include "midi/midi_backend.h"

class RtMidiOut;

namespace kf {

class RtMidiBackend : public MidiBackend {
public:
    RtMidiBackend();
    ~RtMidiBackend() override;

    // False when the platform API could not be opened (no ALSA sequencer, say).
    bool available() override { return out_ != nullptr; }

    std::vector<std::string> ports() override;
    bool open(int id, MidiError* error) override;
    std::size_t close() override;
    bool send(const std::uint8_t* data, std::size_t size) override;

private:
    static void onError(int type, const std::string& text, void* self);

    std::unique_ptr<RtMidiOut> out_;
    bool failed_ = false;
    std::string lastError_;
};

}  // namespace kf
