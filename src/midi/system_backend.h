// The real transports together: the platform's ports (RtMidi), then JACK's.
#pragma once

#include <memory>

#include "midi/jack_backend.h"
#include "midi/rtmidi_backend.h"

namespace kf {

class SystemBackend : public MidiBackend {
public:
    SystemBackend();

    std::vector<std::string> ports() override;
    // -1: the own virtual port on the platform's MIDI system when there is one, else on JACK.
    bool open(int id, std::string* error) override;
    void close() override;
    bool send(const std::uint8_t* data, std::size_t size) override;

private:
    std::vector<std::string> jackPorts();

    std::unique_ptr<RtMidiBackend> platform_;
    std::unique_ptr<JackBackend> jack_;
    MidiBackend* active_ = nullptr;
};

}  // namespace kf
