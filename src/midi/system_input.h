// The real inputs together: the platform's ports (the ALSA sequencer on Linux, RtMidi
// elsewhere), then JACK's, and device -2, the built-in synth's answers, when whoever composes
// the program gives it one.
#pragma once

#include <memory>

#include "midi/midi_in.h"

namespace kf {

class JackInput;

// The platform's own MIDI input: the ALSA sequencer on Linux, RtMidi elsewhere.
std::unique_ptr<MidiInBackend> platformInput();

class SystemInput : public MidiInBackend {
public:
    // platform may be null: no ports but JACK's.
    explicit SystemInput(std::unique_ptr<MidiInBackend> platform);
    ~SystemInput() override;

    std::vector<std::string> ports() override;
    // -1: the own port on the platform's MIDI system when there is one, else on JACK.
    bool open(int id, const Bytes& bytes, MidiError* error) override;
    void close() override;
    bool hasBuiltInSynth() const override { return static_cast<bool>(synth_); }
    void setBuiltInSynth(std::shared_ptr<LoopbackInput> answers) { synth_ = std::move(answers); }

private:
    std::vector<std::string> jackPorts();

    std::unique_ptr<MidiInBackend> platform_;
    std::unique_ptr<JackInput> jack_;
    std::shared_ptr<LoopbackInput> synth_;
    MidiInBackend* active_ = nullptr;
};

}  // namespace kf
