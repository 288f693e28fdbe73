// Conversion between the terminal's UTF-8 and the Shift-JIS bytes of the core.
#pragma once

#include <string>

namespace kf::cli {

// Characters with no Shift-JIS form become '?'.
std::string toShiftJis(const std::string& utf8);
std::string fromShiftJis(const std::string& sjis);

}  // namespace kf::cli
