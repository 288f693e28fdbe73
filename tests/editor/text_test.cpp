// The Shift-JIS bytes of the core against the UI's text, on every platform's converter.
#include <gtest/gtest.h>

#include "editor/text.h"

namespace kf {
namespace {

TEST(Text, ShiftJisBothWays) {
    struct Row {
        const char* utf8;
        std::string sjis;
    };
    const Row rows[] = {
        {"Kick 2", "Kick 2"},
        {"ﾌﾟﾚﾋﾞｭｰ機能", "\xCC\xDF\xDA\xCB\xDE\xAD\xB0\x8B\x40\x94\x5C"},
        {"ｽﾀﾝﾀﾞｰﾄﾞ1", "\xBD\xC0\xDD\xC0\xDE\xB0\xC4\xDE" "1"},
        {"", ""},
        {"\xEF\xBD\x9E", "\x81\x60"},  // U+FF5E, as code page 932 means it
        {"\xEE\x80\x80", "\xF0\x40"},  // the user-defined area's first
    };
    for (const Row& r : rows) {
        const QString text = QString::fromUtf8(r.utf8);
        EXPECT_EQ(ui::fromUnicode(text), r.sjis) << r.utf8;
        EXPECT_EQ(ui::toUnicode(r.sjis), text) << r.utf8;
        EXPECT_TRUE(ui::canEncode(text)) << r.utf8;
        EXPECT_EQ(ui::sjisLength(text), static_cast<int>(r.sjis.size())) << r.utf8;
    }
}

TEST(Text, ACharacterShiftJisLacksIsOneQuestionMarkAndRefused) {
    struct Row {
        const char* utf8;
        const char* sjis;
    };
    // No near form is taken for a character (é is not e), and a pair of UTF-16 units is one.
    for (const Row& r : {Row{"é", "?"}, Row{"a\xF0\x9F\x98\x80" "b", "a?b"}, Row{"機\xE2\x82\xAC", "\x8B\x40?"}}) {
        const QString text = QString::fromUtf8(r.utf8);
        EXPECT_EQ(ui::fromUnicode(text), r.sjis) << r.utf8;
        EXPECT_FALSE(ui::canEncode(text)) << r.utf8;
        EXPECT_EQ(ui::sjisLength(text), static_cast<int>(std::string(r.sjis).size())) << r.utf8;
    }
}

// A UTF-16 unit without its other half is no character: one '?', refused, whichever half it is.
TEST(Text, ALoneSurrogateIsOneQuestionMarkAndRefused) {
    for (const char16_t unit : {u'\xD83D', u'\xDE00'}) {
        const QString text = QString(QChar('a')) + QChar(unit) + QChar('b');
        EXPECT_EQ(ui::fromUnicode(text), "a?b");
        EXPECT_FALSE(ui::canEncode(text));
        EXPECT_EQ(ui::sjisLength(text), 3);
    }
}

// The window marks a byte that starts no character with U+FFFD, the next byte read afresh.
TEST(Text, AByteThatStartsNoCharacterShowsAsTheReplacementCharacter) {
    const QChar mark = QChar::ReplacementCharacter;
    EXPECT_EQ(ui::toUnicode("A\x81"), QString("A") + mark);
    EXPECT_EQ(ui::toUnicode("\x85\x40" "A"), mark + QString("@A"));
    EXPECT_EQ(ui::toUnicode("a\x80" "b"), QString("a") + mark + "b");
}

}  // namespace
}  // namespace kf
