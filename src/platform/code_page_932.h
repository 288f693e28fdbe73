// What the system's own code page 932 says of one character: iconv on POSIX
// (code_page_932_iconv.cpp), Win32 on Windows (code_page_932_win.cpp). shift_jis.cpp alone asks
// it, and decides on its own which bytes make a character and which forms count.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kf::cp932 {

// The character the bytes of one Shift-JIS character (one byte, or a lead and a trail byte)
// stand for; none when the code page has none.
std::optional<char32_t> decode(std::string_view character);

// The bytes the code page gives c, best fits refused; empty when it has none.
std::string encode(char32_t c);

}  // namespace kf::cp932
