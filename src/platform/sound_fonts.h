// The SoundFonts the built-in synth plays when the user chose none.
#pragma once

#include <string>
#include <vector>

namespace kf {

// The first that has a preset wins. Linux: Debian's GM font, then its GS font. Windows: the
// small GM font shipped beside the program.
std::vector<std::string> defaultSoundFonts();

}  // namespace kf
