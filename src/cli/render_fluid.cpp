#include "cli/render_synth.h"

#include "midi/midi_out.h"
#include "synth/fluid_backend.h"

namespace kf::cli {

namespace {

class FluidRenderSynth : public RenderSynth {
public:
    explicit FluidRenderSynth(SynthOptions options) : synth(std::move(options)) {}
    void send(const MidiBytes& message) override { synth.send(message.data(), message.size()); }
    void renderFloat(float* interleaved, int frames) override { synth.renderFloat(interleaved, frames); }

    FluidSynthBackend synth;
};

}  // namespace

std::unique_ptr<RenderSynth> startRenderSynth(const std::string& soundFont, std::string* why) {
    SynthOptions options;
    options.offline = true;
    if (!soundFont.empty()) options.soundFonts = {soundFont};
    auto s = std::make_unique<FluidRenderSynth>(std::move(options));
    MidiError error;
    if (!s->synth.open(MidiOut::kBuiltInSynth, &error)) {
        *why = error.text;
        return nullptr;
    }
    return s;
}

}  // namespace kf::cli
