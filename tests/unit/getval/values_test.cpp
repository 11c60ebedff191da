// Splitting queue lines into values: quoted fields, blanks, empty fields, the limits.
#include "values.h"

#include <gtest/gtest.h>

namespace dkgetval {
namespace {

using Values = std::vector<std::string>;

struct SplitCase {
    const char* line;
    Values expected;
};

TEST(SplitValues, FieldForms) {
    const SplitCase cases[] = {
        {"a, \"b, c\" , d ", {"a", "b, c", "d"}},
        {"a,,b", {"a", "b"}},
        {"", {}},
        {"   ", {}},
        {",,,", {}},
        {"single", {"single"}},
        {"  lead,trail  ,  both  ", {"lead", "trail", "both"}},
        {"\tTab\t,x", {"Tab", "x"}},
        {"inner blanks stay , x y", {"inner blanks stay", "x y"}},
        // A quoted value keeps its blanks; what follows the closing quote up to the comma is dropped.
        {"\" padded \"junk,next", {" padded ", "next"}},
        // No closing quote: the value runs to the end of the line, commas included.
        {"x,\"open, to the end", {"x", "open, to the end"}},
        // "" is an empty value and takes no number.
        {"\"\",b,\"\",c", {"b", "c"}},
        // A quote inside an unquoted field is an ordinary character.
        {"ab\"c,d", {"ab\"c", "d"}},
        {"a, ,b,  ,", {"a", "b"}},
        {"trailing,", {"trailing"}},
        {",leading", {"leading"}},
    };
    for (const SplitCase& c : cases) {
        EXPECT_EQ(split_values(c.line), c.expected) << "line: [" << c.line << "]";
    }
}

TEST(SplitValues, AtMostTwentyValues) {
    std::string line;
    for (int i = 1; i <= 25; ++i) line += (i > 1 ? "," : "") + std::string("f") + std::to_string(i);
    Values values = split_values(line);
    ASSERT_EQ(values.size(), kMaxValues);
    EXPECT_EQ(values.front(), "f1");
    EXPECT_EQ(values.back(), "f20");

    // Empty fields do not count towards the twenty.
    std::string sparse = ",,";
    for (int i = 1; i <= 21; ++i) sparse += "v" + std::to_string(i) + ",,";
    values = split_values(sparse);
    ASSERT_EQ(values.size(), 20u);
    EXPECT_EQ(values.back(), "v20");
}

TEST(SplitValues, LongValuesAreCutTo1023) {
    const std::string long_field(1500, 'x');
    const std::string exact(1023, 'y');
    Values values = split_values(long_field + "," + exact + ",\"" + std::string(2000, 'q') + "\",z");
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(values[0], std::string(1023, 'x'));
    EXPECT_EQ(values[1], exact);
    EXPECT_EQ(values[2], std::string(1023, 'q'));
    EXPECT_EQ(values[3], "z");
    // Trailing blanks are removed before the cut: blanks past 1023 never make a value longer.
    values = split_values(std::string(1023, 'w') + "      ,k");
    EXPECT_EQ(values, (Values{std::string(1023, 'w'), "k"}));
}

TEST(SplitValues, EightBitTextPassesThrough) {
    EXPECT_EQ(split_values("M\xfcller,\xe9t\xe9"), (Values{"M\xfcller", "\xe9t\xe9"}));
}

}  // namespace
}  // namespace dkgetval
