// MIDI output through RtMidi on the platform's own API (CoreMIDI), for the builds that have no
// output of our own.
#pragma once

#include <memory>

#include "midi/midi_backend.h"

namespace kf {

class RtMidiClient;

class RtMidiBackend : public MidiBackend {
public:
    RtMidiBackend();
    ~RtMidiBackend() override;

    // False when the platform API could not be opened.
    bool available() override;

    std::vector<std::string> ports() override;
    bool open(int id, MidiError* error) override;
    std::size_t close() override;
    bool send(const std::uint8_t* data, std::size_t size) override;
    MidiError sendError() const override;

private:
    std::unique_ptr<RtMidiClient> client_;
};

}  // namespace kf
