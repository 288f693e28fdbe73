// The three write-only formats: Standard MIDI File, Recomposer PRT and hex text.
// Each builds the whole file in memory; comment is the Comment option.
#pragma once

#include <string>
#include <string_view>

#include "model/kit.h"

namespace kf {

// Format 1, two tracks, 48 ticks per quarter. path (Shift-JIS bytes) is the file being
// written: less its last four bytes, it names track 1 when set 1 has no name.
std::string WriteMidiFile(const Kit& kit, bool comment, std::string_view path);

std::string WritePrtFile(const Kit& kit, bool comment);

std::string WriteTextFile(const Kit& kit, bool comment);

}  // namespace kf
