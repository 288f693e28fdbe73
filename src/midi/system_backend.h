// The real transports together: the platform's ports (the ALSA sequencer on Linux, RtMidi
// elsewhere), then JACK's.
#pragma once

#include <memory>

#include "midi/jack_backend.h"
#include "synth/fluid_backend.h"

namespace kf {

#if defined(__linux__)
class AlsaBackend;
using PlatformBackend = AlsaBackend;
#else
class RtMidiBackend;
using PlatformBackend = RtMidiBackend;
#endif

class SystemBackend : public MidiBackend {
public:
    SystemBackend();
    ~SystemBackend() override;

    std::vector<std::string> ports() override;
    // -1: the own virtual port on the platform's MIDI system when there is one, else on JACK.
    bool open(int id, MidiError* error) override;
    std::size_t close() override;
    bool send(const std::uint8_t* data, std::size_t size) override;
    std::chrono::microseconds lead() const override;
    bool sendAt(const std::uint8_t* data, std::size_t size, std::chrono::microseconds fromNow) override;
    bool hasBuiltInSynth() const override { return true; }
    bool wantsPacing() const override;
    // What the built-in synth (device -2) opens with, from the next open on.
    void setSynthOptions(const SynthOptions& options) { synthOptions_ = options; }

private:
    std::vector<std::string> jackPorts();

    std::unique_ptr<PlatformBackend> platform_;
    std::unique_ptr<JackBackend> jack_;
    std::unique_ptr<FluidSynthBackend> synth_;
    SynthOptions synthOptions_;
    MidiBackend* active_ = nullptr;
};

}  // namespace kf
