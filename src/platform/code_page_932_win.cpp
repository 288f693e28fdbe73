// Code page 932 through Win32, whose tables are the ones the kit files were written with.
#include <windows.h>

#include "platform/code_page_932.h"

namespace kf::cp932 {

namespace {

constexpr UINT kCodePage = 932;

bool isHigh(wchar_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLow(wchar_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

std::optional<char32_t> decode(std::string_view character) {
    wchar_t units[2];
    const int n = ::MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, character.data(),
                                        static_cast<int>(character.size()), units, 2);
    if (n == 1 && !isHigh(units[0]) && !isLow(units[0])) return units[0];
    if (n == 2 && isHigh(units[0]) && isLow(units[1]))
        return 0x10000 + ((static_cast<char32_t>(units[0]) - 0xD800) << 10) + (units[1] - 0xDC00);
    return std::nullopt;
}

std::string encode(char32_t c) {
    wchar_t units[2];
    int n = 1;
    if (c < 0x10000) {
        units[0] = static_cast<wchar_t>(c);
    } else {
        units[0] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
        units[1] = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        n = 2;
    }
    char bytes[4];
    // Without WC_NO_BEST_FIT_CHARS Windows writes a near form (e for é) and calls it no default.
    BOOL usedDefault = FALSE;
    const int got =
        ::WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, units, n, bytes, sizeof bytes, "?", &usedDefault);
    if (got <= 0 || usedDefault) return {};
    return std::string(bytes, static_cast<size_t>(got));
}

}  // namespace kf::cp932
