// Shift-JIS (code page 932) against UTF-8, one table for every system: the same rows run against
// iconv on Linux and against Windows' code page 932 under Wine, so where the two differ the table
// fails on one of them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/shift_jis.h"

namespace kf {
namespace {

using namespace std::string_literals;

enum class Way {
    Both,      // each is the other's conversion, and the UTF-8 is encodable
    Encoding,  // UTF-8 with a character of no form of its own: '?' in its place, refused
    Decoding,  // bytes read one way: a duplicate code, or '?' for a byte that starts no character
};

struct Row {
    const char* what;
    Way way;
    std::string utf8, sjis;
};

const Row kRows[] = {
    // Plain text and the single bytes.
    {"ASCII", Way::Both, "Kit 1", "Kit 1"},
    {"ASCII with a question mark", Way::Both, "Kick?", "Kick?"},
    {"empty", Way::Both, "", ""},
    {"NUL and the controls 1A, 1C and 7F as themselves (an IBM table swaps them)", Way::Both, "a\0\x1A\x1C\x7F"s,
     "a\0\x1A\x1C\x7F"s},
    {"5C and 7E are ASCII in code page 932, not yen and overline", Way::Both, "\\~", "\\~"},
    {"half-width katakana A1, B1 and DF", Way::Both, "｡ｱﾟ", "\xA1\xB1\xDF"},
    {"half-width katakana", Way::Both, "ﾄﾞﾗﾑ", "\xC4\xDE\xD7\xD1"},
    {"half-width katakana and kanji", Way::Both, "ﾌﾟﾚﾋﾞｭｰ機能", "\xCC\xDF\xDA\xCB\xDE\xAD\xB0\x8B\x40\x94\x5C"},
    {"half-width katakana and a digit", Way::Both, "ｽﾀﾝﾀﾞｰﾄﾞ1", "\xBD\xC0\xDD\xC0\xDE\xB0\xC4\xDE" "1"},
    {"kanji", Way::Both, "太鼓", "\x91\xBE\x8C\xDB"},
    {"the first kanji, 88 9F", Way::Both, "亜", "\x88\x9F"},
    {"a pair whose trail byte is ASCII: 81 41", Way::Both, "、A", "\x81\x41" "A"},

    // Where a JIS table means otherwise, code page 932's meaning.
    {"81 60 is U+FF5E FULLWIDTH TILDE", Way::Both, "\xEF\xBD\x9E", "\x81\x60"},
    {"81 5F is U+FF3C FULLWIDTH REVERSE SOLIDUS", Way::Both, "\xEF\xBC\xBC", "\x81\x5F"},
    {"81 91 is U+FFE0 FULLWIDTH CENT SIGN", Way::Both, "\xEF\xBF\xA0", "\x81\x91"},
    {"81 92 is U+FFE1 FULLWIDTH POUND SIGN", Way::Both, "\xEF\xBF\xA1", "\x81\x92"},
    {"81 CA is U+FFE2 FULLWIDTH NOT SIGN", Way::Both, "\xEF\xBF\xA2", "\x81\xCA"},
    {"81 61 is U+2225 PARALLEL TO", Way::Both, "\xE2\x88\xA5", "\x81\x61"},
    {"81 7C is U+FF0D FULLWIDTH HYPHEN-MINUS", Way::Both, "\xEF\xBC\x8D", "\x81\x7C"},
    {"81 5C is U+2015 HORIZONTAL BAR", Way::Both, "\xE2\x80\x95", "\x81\x5C"},
    {"JIS's U+301C WAVE DASH has no form (iconv writes 81 60 one way)", Way::Encoding, "\xE3\x80\x9C", "?"},
    {"JIS's U+00A2 CENT SIGN has no form", Way::Encoding, "\xC2\xA2", "?"},
    {"JIS's U+00A3 POUND SIGN has no form", Way::Encoding, "\xC2\xA3", "?"},
    {"JIS's U+00AC NOT SIGN has no form", Way::Encoding, "\xC2\xAC", "?"},
    {"JIS's U+2016 DOUBLE VERTICAL LINE has no form", Way::Encoding, "\xE2\x80\x96", "?"},
    {"JIS's U+2212 MINUS SIGN has no form", Way::Encoding, "\xE2\x88\x92", "?"},
    {"JIS's U+2014 EM DASH has no form", Way::Encoding, "\xE2\x80\x94", "?"},
    {"U+00A5 YEN SIGN has no form (iconv writes 5C one way)", Way::Encoding, "\xC2\xA5", "?"},
    {"U+203E OVERLINE has no form (iconv writes 7E one way)", Way::Encoding, "\xE2\x80\xBE", "?"},

    // NEC's and IBM's rows; the NEC-selected duplicates read, and are written as the IBM codes.
    {"NEC row 13: 87 40 is U+2460", Way::Both, "①", "\x87\x40"},
    {"IBM extension: FA 40 is U+2170", Way::Both, "ⅰ", "\xFA\x40"},
    {"IBM extension: FA 5C is U+7E8A", Way::Both, "纊", "\xFA\x5C"},
    {"the last IBM extension, FC 4B", Way::Both, "黑", "\xFC\x4B"},
    {"NEC-selected ED 40 reads as U+7E8A", Way::Decoding, "纊", "\xED\x40"},
    {"NEC-selected EE EF reads as U+2170", Way::Decoding, "ⅰ", "\xEE\xEF"},
    {"NEC's 87 90 reads as U+2252, which is written 81 E0", Way::Decoding, "≒", "\x87\x90"},
    {"FA 54 reads as U+FFE2, which is written 81 CA", Way::Decoding, "\xEF\xBF\xA2", "\xFA\x54"},
    {"U+2252 is written 81 E0", Way::Both, "≒", "\x81\xE0"},

    // The user-defined area F0 40..F9 FC is the private use area from U+E000 on.
    {"F0 40 is U+E000", Way::Both, "\xEE\x80\x80", "\xF0\x40"},
    {"F9 FC is U+E757", Way::Both, "\xEE\x9D\x97", "\xF9\xFC"},
    {"U+E758 is beyond the user-defined area", Way::Encoding, "\xEE\x9D\x98", "?"},

    // Bytes that start no character: the first byte marked, the next read afresh.
    {"a lead byte at the end", Way::Decoding, "A?", "A\x81"},
    {"a lead byte alone", Way::Decoding, "?", "\x81"},
    {"a lead byte before a blank, which is no trail byte", Way::Decoding, "? A", "\x81 A"},
    {"a lead byte before 7F, which is no trail byte", Way::Decoding, "?\x7F", "\x81\x7F"},
    {"a lead byte before FD, which starts nothing either", Way::Decoding, "??", "\x81\xFD"},
    {"an unassigned pair", Way::Decoding, "?@A", "\x85\x40" "A"},
    {"an unassigned pair after the last IBM extension", Way::Decoding, "?L", "\xFC\x4C"},
    {"80, A0, FD, FE and FF (Windows reads 80 as U+0080)", Way::Decoding, "a?????b", "a\x80\xA0\xFD\xFE\xFF" "b"},
    {"U+0080 has no form (Windows writes 80)", Way::Encoding, "\xC2\x80", "?"},
    {"U+F8F0 has no form (Windows writes A0 one way)", Way::Encoding, "\xEF\xA3\xB0", "?"},

    // No form at all, never a near one; one '?' for each character or ill-formed sequence.
    {"a letter with an accent is not its letter", Way::Encoding, "Caf\xC3\xA9", "Caf?"},
    {"the euro sign after a kanji", Way::Encoding, "機\xE2\x82\xAC", "\x8B\x40?"},
    {"a character outside the BMP", Way::Encoding, "a\xF0\x9F\xA5\x81" "b", "a?b"},
    {"a byte no UTF-8 character starts with", Way::Encoding, "a\xFF" "b", "a?b"},
    {"a cut UTF-8 character at the end", Way::Encoding, "a\xE3\x81", "a?"},
    {"a cut UTF-8 character before a whole one", Way::Encoding, "\xE3\x81\xE3\x82\xA2", "?\x83\x41"},
    {"an overlong form of '/'", Way::Encoding, "\xC0\xAF" "b", "?b"},
    {"a three-byte overlong form of '/'", Way::Encoding, "\xE0\x80\xAF" "b", "?b"},
    {"a four-byte overlong form of '/'", Way::Encoding, "\xF0\x80\x80\xAF" "b", "?b"},
    {"beyond U+10FFFF", Way::Encoding, "\xF4\x90\x80\x80" "b", "?b"},
    {"a surrogate written in UTF-8", Way::Encoding, "\xED\xA0\x80" "b", "?b"},
    {"U+FFFD, which marks what could not be read", Way::Encoding, "\xEF\xBF\xBD", "?"},
};

// The row's expected UTF-8 with every '?' as the mark given for a byte that starts no character.
std::string marked(const std::string& utf8, const std::string& mark) {
    std::string out;
    for (char c : utf8) out += c == '?' ? mark : std::string(1, c);
    return out;
}

TEST(ShiftJis, Table) {
    for (const Row& r : kRows) {
        SCOPED_TRACE(r.what);
        if (r.way != Way::Decoding) {
            EXPECT_EQ(toShiftJis(r.utf8), r.sjis);
            EXPECT_EQ(canEncodeShiftJis(r.utf8), r.way == Way::Both);
            EXPECT_EQ(shiftJisLength(r.utf8), r.sjis.size());
        }
        if (r.way != Way::Encoding) {
            EXPECT_EQ(fromShiftJis(r.sjis), r.utf8);
            // As the window shows it; no row that reads a byte as '?' has a '?' of its own.
            if (r.way == Way::Decoding) {
                EXPECT_EQ(fromShiftJis(r.sjis, "\xEF\xBF\xBD"), marked(r.utf8, "\xEF\xBF\xBD"));
            }
        }
    }
}

// Every byte and every pair of a lead and a trail byte, against the system's own table: each
// character read is written as it was read, or is a duplicate code that reads the same again.
TEST(ShiftJis, WholeTable) {
    std::vector<std::string> all;
    for (int b = 0; b < 0x100; ++b) all.push_back(std::string(1, static_cast<char>(b)));
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead > 0x9F && lead < 0xE0) continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail)
            if (trail != 0x7F) all.push_back({static_cast<char>(lead), static_cast<char>(trail)});
    }
    int read = 0, writtenBack = 0, userDefined = 0;
    for (const std::string& bytes : all) {
        const std::string utf8 = fromShiftJis(bytes, "");
        // Marked otherwise, a byte that starts no character shows.
        if (utf8.empty() || fromShiftJis(bytes, "?") != utf8) continue;
        ++read;
        // U+E000..U+F8FF, three bytes in UTF-8 from EE 80 80 to EF A3 BF.
        if (utf8 >= "\xEE\x80\x80" && utf8 <= "\xEF\xA3\xBF") ++userDefined;
        const std::string written = toShiftJis(utf8);
        if (written == bytes) {
            ++writtenBack;
            continue;
        }
        EXPECT_TRUE(canEncodeShiftJis(utf8)) << testing::PrintToString(bytes);
        EXPECT_EQ(fromShiftJis(written), utf8) << testing::PrintToString(bytes);
    }
    // 191 single bytes (ASCII and 63 half-width katakana) and 9,604 pairs, 1,880 of them the
    // user-defined area; 398 are NEC's and IBM's duplicates of other codes.
    EXPECT_EQ(read, 9795);
    EXPECT_EQ(writtenBack, 9795 - 398);
    EXPECT_EQ(userDefined, 1880);
}

}  // namespace
}  // namespace kf
