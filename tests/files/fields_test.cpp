#include <gtest/gtest.h>

#include "case_name.h"

#include "files/fields.h"

namespace kf {
namespace {

struct IntCase {
    const char* text;
    std::optional<std::int32_t> value;
};

class ParseInteger : public ::testing::TestWithParam<IntCase> {};

TEST_P(ParseInteger, Reads) { EXPECT_EQ(parseInteger(GetParam().text), GetParam().value) << '"' << GetParam().text << '"'; }

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseInteger,
    ::testing::Values(IntCase{"0", 0}, IntCase{"36", 36}, IntCase{"  36", 36}, IntCase{"+5", 5}, IntCase{"-3", -3},
                      IntCase{"007", 7}, IntCase{"$10", 16}, IntCase{"$ff", 255}, IntCase{"$FFFFFFFF", -1},
                      IntCase{"$7FFFFFFF", 2147483647}, IntCase{"2147483647", 2147483647},
                      IntCase{"-2147483648", INT32_MIN}, IntCase{"2147483648", std::nullopt},
                      IntCase{"99999999999", std::nullopt}, IntCase{"$100000000", std::nullopt},
                      IntCase{"-$10", std::nullopt}, IntCase{"+$10", std::nullopt}, IntCase{"$", std::nullopt},
                      IntCase{"\t5", std::nullopt}, IntCase{"5 ", std::nullopt}, IntCase{"", std::nullopt},
                      IntCase{"   ", std::nullopt}, IntCase{"-", std::nullopt}, IntCase{"1a", std::nullopt},
                      IntCase{"0x10", std::nullopt}, IntCase{"$1g", std::nullopt}), test::RowName());

TEST(Lines, EndsAndNul) {
    using V = std::vector<std::string_view>;
    EXPECT_EQ(splitLines("a\r\nb\rc\nd"), (V{"a", "b", "c", "d"}));
    EXPECT_EQ(splitLines("a\r\n"), (V{"a"}));
    EXPECT_EQ(splitLines("a\n\nb\n"), (V{"a", "", "b"}));
    EXPECT_EQ(splitLines("a\n\r\nb"), (V{"a", "", "b"}));
    EXPECT_EQ(splitLines(std::string_view("a\nb\0c\nd", 7)), (V{"a", "b"}));
    EXPECT_EQ(splitLines(""), V{});
}

TEST(Fields, CommaRule) {
    EXPECT_EQ(field("a,b,,d", 1), "a");
    EXPECT_EQ(field("a,b,,d", 3), "");
    EXPECT_EQ(field("a,b,,d", 4), "d");
    EXPECT_EQ(field("a,b,,d", 9), "");
    EXPECT_EQ(field(" a ,b", 1), " a ");
    EXPECT_EQ(restFrom("@NAME,0,AB,CD", 3), "AB,CD");
    EXPECT_EQ(restFrom("@NAME,0", 3), "");
}

TEST(Fields, DigitsAndNumbers) {
    EXPECT_EQ(digitsField(" 12 "), 12);
    EXPECT_EQ(digitsField("\t7\r"), 7);
    EXPECT_EQ(digitsField("300"), 127);
    EXPECT_EQ(digitsField("00000000000000000000001"), 1);
    EXPECT_EQ(digitsField(""), std::nullopt);
    EXPECT_EQ(digitsField("-1"), std::nullopt);
    EXPECT_EQ(digitsField("1a"), std::nullopt);
    EXPECT_EQ(numberField("200", 5), 127);
    EXPECT_EQ(numberField("-3", 5), 0);
    EXPECT_EQ(numberField("x", 5), 5);
    EXPECT_EQ(numberField("$7F", 5), 127);
}

}  // namespace
}  // namespace kf
