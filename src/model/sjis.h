// Byte-level rules for the Shift-JIS (code page 932) names the Kit holds.
#pragma once

#include <string>
#include <string_view>

namespace kf::sjis {

// First byte of a two-byte character: 81..9F and E0..FC. A1..DF are single half-width kana.
constexpr bool isLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// At most maxBytes bytes, never splitting a two-byte character: one that does not fit whole is dropped.
std::string cut(std::string_view s, size_t maxBytes);

// Removes blanks and control characters (bytes up to 20 hex) from both ends.
std::string_view trim(std::string_view s);

// Cut before the first byte of 7E ("~") or above, as set names must be.
std::string_view cutBeforeHighByte(std::string_view s);

// ASCII upper case; other bytes unchanged.
std::string upper(std::string_view s);

}  // namespace kf::sjis
