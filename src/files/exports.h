// The write-only formats: Standard MIDI File, Recomposer PRT, hex text and SysEx dump.
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

// What SysEx tools read and send as they stand: the rhythm-part message, then the DT1 messages
// of the switch-on transfer, back to back with nothing around them. No comments: a dump has
// no place for them.
std::string WriteSysexFile(const Kit& kit);

}  // namespace kf
