#include "cli/render_synth.h"

namespace kf::cli {

std::unique_ptr<RenderSynth> startRenderSynth(const std::string&, std::string* why) {
    *why = "this build has no built-in synth";
    return nullptr;
}

}  // namespace kf::cli
