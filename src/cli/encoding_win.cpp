#include "cli/encoding.h"

#include <windows.h>

namespace kf::cli {

namespace {

constexpr UINT kShiftJis = 932;

// The length of the UTF-8 sequence that starts with lead, 0 for a byte no sequence starts with.
size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

}  // namespace

// One character at a time, so that a character with no Shift-JIS form is one '?' whatever its
// length, and no near form (a best fit) is ever taken for it.
std::string toShiftJis(const std::string& utf8) {
    std::string out;
    for (size_t at = 0; at < utf8.size();) {
        size_t n = sequenceLength(static_cast<unsigned char>(utf8[at]));
        wchar_t wide[2];
        int units = 0;
        if (n > 0 && at + n <= utf8.size())
            units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data() + at, static_cast<int>(n), wide, 2);
        if (units == 0) {
            // An ill-formed sequence: its lead byte and the continuation bytes after it.
            n = 1;
            while (at + n < utf8.size() && n < 4 && (static_cast<unsigned char>(utf8[at + n]) & 0xC0) == 0x80) ++n;
            out.push_back('?');
            at += n;
            continue;
        }
        at += n;
        char sjis[4];
        BOOL usedDefault = FALSE;
        const int bytes = ::WideCharToMultiByte(kShiftJis, WC_NO_BEST_FIT_CHARS, wide, units, sjis, sizeof sjis, "?",
                                                &usedDefault);
        if (bytes == 0 || usedDefault) out.push_back('?');
        else out.append(sjis, static_cast<size_t>(bytes));
    }
    return out;
}

std::string fromShiftJis(const std::string& sjis) {
    std::string out;
    for (size_t at = 0; at < sjis.size();) {
        const size_t n = ::IsDBCSLeadByteEx(kShiftJis, static_cast<BYTE>(sjis[at])) && at + 1 < sjis.size() ? 2 : 1;
        wchar_t wide[2];
        const int units =
            ::MultiByteToWideChar(kShiftJis, MB_ERR_INVALID_CHARS, sjis.data() + at, static_cast<int>(n), wide, 2);
        if (units == 0) {
            // An unconvertible byte (or character start) is marked and skipped.
            out.push_back('?');
            ++at;
            continue;
        }
        at += n;
        char utf8[8];
        const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, wide, units, utf8, sizeof utf8, nullptr, nullptr);
        out.append(utf8, static_cast<size_t>(bytes));
    }
    return out;
}

}  // namespace kf::cli
