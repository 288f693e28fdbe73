#include "platform/sound_fonts.h"

namespace kf {

std::vector<std::string> defaultSoundFonts() {
    return {"/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf2/FluidR3_GS.sf2"};
}

}  // namespace kf
