#include "platform/shift_jis.h"

#include "platform/code_page_932.h"

namespace kf {

namespace {

// Which bytes make a character is decided here, not by the system: Windows gives 80 a character
// of its own (U+0080) and takes U+F8F0..U+F8F3 to A0 and FD..FF, iconv does neither, and the
// published code page 932 has none of them.
constexpr bool isSingle(unsigned char b) { return b < 0x80 || (b >= 0xA1 && b <= 0xDF); }
constexpr bool isLead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
constexpr bool isTrail(unsigned char b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

unsigned char byteAt(std::string_view s, size_t at) { return static_cast<unsigned char>(s[at]); }

// The bytes of the Shift-JIS character that starts at `at`; 0 when none starts there.
size_t sjisCharacterLength(std::string_view s, size_t at) {
    const unsigned char b = byteAt(s, at);
    if (isSingle(b)) return 1;
    if (isLead(b) && at + 1 < s.size() && isTrail(byteAt(s, at + 1))) return 2;
    return 0;
}

constexpr bool isContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

struct Utf8Character {
    char32_t code;
    size_t length;
    bool wellFormed;
};

// The UTF-8 character at `at`. An ill-formed one (an overlong form, a surrogate, a cut or stray
// sequence) is its first byte and the continuation bytes after it, up to four bytes: one mark.
Utf8Character utf8At(std::string_view s, size_t at) {
    const unsigned char lead = byteAt(s, at);
    if (lead < 0x80) return {lead, 1, true};
    size_t n = 0;
    char32_t code = 0;
    // The second byte's range, narrower than a continuation's after E0, ED, F0 and F4.
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) n = 2, code = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF) n = 3, code = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4) n = 4, code = lead & 0x07;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
    bool ok = n > 0 && at + n <= s.size();
    for (size_t i = 1; ok && i < n; ++i) {
        const unsigned char b = byteAt(s, at + i);
        ok = i == 1 ? b >= low && b <= high : isContinuation(b);
        code = (code << 6) | (b & 0x3F);
    }
    if (ok) return {code, n, true};
    size_t skip = 1;
    while (at + skip < s.size() && skip < 4 && isContinuation(byteAt(s, at + skip))) ++skip;
    return {0, skip, false};
}

void appendUtf8(char32_t c, std::string& out) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// c's Shift-JIS form of its own, appended; false when it has none (then nothing is appended).
// A form of its own is one whole character that reads back as c: iconv writes 81 60 for U+301C
// as well as for U+FF5E, and 5C for U+00A5, and reads them back as the others.
bool appendShiftJis(char32_t c, std::string& out) {
    // ASCII is itself in code page 932 everywhere, and most names are ASCII.
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
        return true;
    }
    const std::string bytes = cp932::encode(c);
    if (bytes.empty() || sjisCharacterLength(bytes, 0) != bytes.size()) return false;
    if (cp932::decode(bytes) != c) return false;
    out += bytes;
    return true;
}

// Each UTF-8 character of utf8 in Shift-JIS, '?' for those without a form; false as soon as one
// has none when `stopAtNone`.
bool encode(std::string_view utf8, std::string& out, bool stopAtNone) {
    for (size_t at = 0; at < utf8.size();) {
        const Utf8Character c = utf8At(utf8, at);
        at += c.length;
        if (c.wellFormed && appendShiftJis(c.code, out)) continue;
        if (stopAtNone) return false;
        out.push_back('?');
    }
    return true;
}

}  // namespace

std::string toShiftJis(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    encode(utf8, out, false);
    return out;
}

std::string fromShiftJis(std::string_view sjis, std::string_view unreadable) {
    std::string out;
    out.reserve(sjis.size());
    for (size_t at = 0; at < sjis.size();) {
        const size_t n = sjisCharacterLength(sjis, at);
        if (n == 1 && byteAt(sjis, at) < 0x80) {
            out.push_back(sjis[at++]);
            continue;
        }
        const std::optional<char32_t> c = n > 0 ? cp932::decode(sjis.substr(at, n)) : std::nullopt;
        if (!c) {
            // Only the first byte is lost: the one after it may start a character of its own.
            out += unreadable;
            ++at;
            continue;
        }
        appendUtf8(*c, out);
        at += n;
    }
    return out;
}

bool canEncodeShiftJis(std::string_view utf8) {
    std::string scratch;
    return encode(utf8, scratch, true);
}

size_t shiftJisLength(std::string_view utf8) { return toShiftJis(utf8).size(); }

}  // namespace kf
