// The real transports together: the platform's ports (the ALSA sequencer on Linux, RtMidi
// elsewhere), then JACK's, and device -2 when whoever composes the program gives it a synth.
#pragma once

#include <functional>
#include <memory>

#include "midi/jack_backend.h"

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
    bool hasBuiltInSynth() const override { return static_cast<bool>(makeSynth_); }
    bool wantsPacing() const override;
    // Makes the built-in synth (device -2) afresh at each open of it; none: no device -2.
    using SynthFactory = std::function<std::unique_ptr<MidiBackend>()>;
    void setBuiltInSynth(SynthFactory factory) { makeSynth_ = std::move(factory); }

private:
    std::vector<std::string> jackPorts();

    std::unique_ptr<PlatformBackend> platform_;
    std::unique_ptr<JackBackend> jack_;
    std::unique_ptr<MidiBackend> synth_;
    SynthFactory makeSynth_;
    MidiBackend* active_ = nullptr;
};

}  // namespace kf
