#include "platform/sound_fonts.h"

#include "platform/program_dir.h"

namespace kf {

// FluidSynth opens a file by a UTF-8 name on Windows, so the folder may have any name.
std::vector<std::string> defaultSoundFonts() { return {programDirectory() + "\\TimGM6mb.sf2"}; }

}  // namespace kf
