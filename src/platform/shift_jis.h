// Shift-JIS (code page 932) and UTF-8, one character at a time, alike on every system: iconv's
// CP932 on POSIX, Windows' own code page 932 there. The window and the command line both convert
// here, so a name reads the same in either and on either system.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kf {

// A character with no Shift-JIS form of its own becomes one '?', whatever its length, and so does
// each ill-formed UTF-8 sequence. A near form (a best fit, or a code page's one-way mapping such
// as U+301C to 81 60) is never taken for a character.
std::string toShiftJis(std::string_view utf8);

// A byte that starts no character (a lead byte without its trail byte, an unassigned pair's lead
// byte, 80, A0, FD..FF) becomes `unreadable`, and the next byte is read afresh.
std::string fromShiftJis(std::string_view sjis, std::string_view unreadable = "?");

// Whether every character of utf8 has a Shift-JIS form of its own.
bool canEncodeShiftJis(std::string_view utf8);

// The bytes toShiftJis(utf8) takes.
size_t shiftJisLength(std::string_view utf8);

}  // namespace kf
