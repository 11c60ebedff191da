#include "engine/text.h"

#include <gtest/gtest.h>

namespace dravik {
namespace {

TEST(Text, ParseInt32FollowsAtoi) {
    struct Case {
        const char* text;
        int32_t value;
    } cases[] = {
        {"", 0},
        {"abc", 0},
        {"42", 42},
        {"  -17x", -17},
        {"+5", 5},
        {"- 5", 0},
        {"09", 9},
        {"12ab34", 12},
        {"\t 7", 7},
        {"2147483647", 2147483647},
        {"99999999999", 2147483647},
        {"-99999999999", -2147483647 - 1},
        {"2099-1-1", 2099},
    };
    for (const auto& c : cases) EXPECT_EQ(parse_int32(c.text), c.value) << '"' << c.text << '"';
}

TEST(Text, CaseFoldingIsAsciiOnly) {
    EXPECT_TRUE(iequals("ReBoot", "REBOOT"));
    EXPECT_FALSE(iequals("reboot", "reboots"));
    // 0xC4 and 0xE4 are one letter in upper and lower case in Latin-1, but only A-Z fold.
    EXPECT_FALSE(iequals("\xC4", "\xE4"));
    EXPECT_TRUE(icontains("x[UPDATE]y", "[update]"));
    EXPECT_TRUE(istarts_with("SETTING", "set"));
    EXPECT_EQ(trim_right_blanks("ask \t\v"), "ask");
}

}  // namespace
}  // namespace dravik
