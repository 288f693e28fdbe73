// The synth render plays through, offline: FluidSynth where the build has it.
#pragma once

#include <memory>
#include <string>

#include "midi/midi_backend.h"

namespace kf::cli {

class RenderSynth {
public:
    virtual ~RenderSynth() = default;
    virtual void send(const MidiBytes& message) = 0;
    // The next frames of stereo sound, interleaved left, right.
    virtual void renderFloat(float* interleaved, int frames) = 0;
};

// Started on soundFont (empty: the default ones), or null with *why saying why not.
std::unique_ptr<RenderSynth> startRenderSynth(const std::string& soundFont, std::string* why);

}  // namespace kf::cli
