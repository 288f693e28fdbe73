// The command line's UTF-8 against the Shift-JIS (code page 932) of kit files and tables.
#include <gtest/gtest.h>

#include <string>

#include "cli/encoding.h"

namespace kf::cli {
namespace {

struct Both {
    const char* what;
    std::string utf8, sjis;
};

TEST(Encoding, ConvertsBothWays) {
    const Both cases[] = {
        {"ASCII", "Kit 1", "Kit 1"},
        {"half-width katakana", "ﾄﾞﾗﾑ", "\xC4\xDE\xD7\xD1"},
        {"kanji", "太鼓", "\x91\xBE\x8C\xDB"},
        {"the wave dash of code page 932", "～", "\x81\x60"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(toShiftJis(c.utf8), c.sjis) << c.what;
        EXPECT_EQ(fromShiftJis(c.sjis), c.utf8) << c.what;
    }
}

// One '?' for each character with no form on the other side, never a near one.
TEST(Encoding, WhatHasNoFormBecomesOneQuestionMark) {
    struct Case {
        const char* what;
        std::string in, out;
        std::string (*convert)(const std::string&);
    } cases[] = {
        {"a letter with an accent", "Caf\xC3\xA9", "Caf?", &toShiftJis},
        {"a character outside the BMP", "a\xF0\x9F\xA5\x81" "b", "a?b", &toShiftJis},
        {"a byte no UTF-8 character starts with", "a\xFF" "b", "a?b", &toShiftJis},
        {"a cut UTF-8 character at the end", "a\xE3\x81", "a?", &toShiftJis},
        {"an unassigned double-byte code", "\x85\x40" "A", "?@A", &fromShiftJis},
        {"a lead byte at the end", "A\x81", "A?", &fromShiftJis},
    };
    for (const auto& c : cases) EXPECT_EQ(c.convert(c.in), c.out) << c.what;
}

}  // namespace
}  // namespace kf::cli
