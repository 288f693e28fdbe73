// The UTF-16 of the Win32 calls and the UTF-8 the rest of the program speaks.
#pragma once

#include <string>
#include <string_view>

namespace kf {

// Ill-formed input converts with U+FFFD (in UTF-8, EF BF BD) in place of what is broken.
std::wstring toUtf16(std::string_view utf8);
std::string fromUtf16(std::wstring_view utf16);

}  // namespace kf
