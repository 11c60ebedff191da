#include "engine/variables.h"

#include <gtest/gtest.h>

#include "engine/arguments.h"
#include "engine/expand.h"
#include "fakes.h"

namespace dravik {
namespace {

TEST(Variables, SetArithmeticAndCase) {
    test::FakeClock clock;
    VariableStore vars(clock);
    vars.set_variable("Count", "1", '+');
    EXPECT_EQ(vars.value_or_empty("count"), "1");
    vars.set_variable("COUNT", "1", '+');
    EXPECT_EQ(vars.value_or_empty("Count"), "2");
    EXPECT_EQ(vars.all().size(), 1u);
    EXPECT_EQ(vars.all()[0].name, "Count");  // kept as first written

    vars.set_variable("x", "7");
    vars.set_variable("x", "2", '/');
    EXPECT_EQ(vars.value_or_empty("x"), "3");
    vars.set_variable("x", "-2", '*');
    EXPECT_EQ(vars.value_or_empty("x"), "-6");
    vars.set_variable("x", "0", '/');
    EXPECT_EQ(vars.value_or_empty("x"), "-6");  // division by zero keeps the value
    vars.set_variable("t", "abc");
    vars.set_variable("t", "1", '+');
    EXPECT_EQ(vars.value_or_empty("t"), "1");
    vars.set_variable("{braced}", "v");
    EXPECT_EQ(vars.value_or_empty("braced"), "v");
    vars.set_variable("big", "2147483647");
    vars.set_variable("big", "1", '+');
    EXPECT_EQ(vars.value_or_empty("big"), "-2147483648");

    vars.set_variable("DateStamp", "1");
    EXPECT_EQ(vars.value_or_empty("datestamp"), "20091102");
    vars.set_variable("timestamp", "x");
    EXPECT_EQ(vars.value_or_empty("TimeStamp"), "14:05:01");

    vars.set_variable("long", std::string(3000, 'v'));
    EXPECT_EQ(vars.value_or_empty("long").size(), 2047u);
    EXPECT_EQ(vars.find("nothing"), nullptr);
}

TEST(Variables, ArgumentsAndExpansion) {
    test::FakeClock clock;
    test::FakeEnvironment env;
    env.values["TEMP"] = "C:\\Temp";
    VariableStore vars(clock);
    vars.set_variable("Site", "North Hall");
    vars.set_variable("a", "{b}");
    vars.set_variable("b", "Z");
    vars.set_variable("loop", "{loop}");

    StatementCursor st;
    st.reset("  plain \"two words\" 'x y' {Site} %TEMP%\\a {a}");
    EXPECT_EQ(ReadArgument(st, true, vars, env), "plain");
    EXPECT_EQ(ReadArgument(st, true, vars, env), "two words");
    EXPECT_EQ(ReadArgument(st, true, vars, env), "x y");
    EXPECT_EQ(ReadArgument(st, false, vars, env), "{Site}");
    EXPECT_EQ(ReadArgument(st, false, vars, env), "C:\\Temp\\a");
    EXPECT_EQ(ReadArgument(st, true, vars, env), "Z");
    EXPECT_EQ(ReadArgument(st, true, vars, env), "");
    EXPECT_TRUE(st.at_end());

    EXPECT_EQ(expand_variables("[{a}]", vars), "[Z]");
    EXPECT_EQ(expand_variables("{{a}}", vars), "{a}");
    EXPECT_EQ(expand_variables("{unknown}x", vars), "x");
    EXPECT_EQ(expand_variables("{loop}", vars), "{loop}");  // bounded, does not hang
    EXPECT_EQ(expand_environment("%%TEMP%%", env), "%TEMP%");
    EXPECT_EQ(expand_environment("100%", env), "100%");
    EXPECT_EQ(expand_environment("%NOPE%", env), "%NOPE%");
}

TEST(Variables, ExpansionEdgeCases) {
    test::FakeClock clock;
    test::FakeEnvironment env;
    env.values["PATH"] = "C:\\Windows";
    VariableStore vars(clock);
    vars.set_variable("a", "{b}");
    vars.set_variable("b", "Z");
    vars.set_variable("q1", "{q}");
    vars.set_variable("lit", "{{b}}");
    vars.set_variable("mixed", "x{{b}y{b}");

    struct Case {
        const char* text;
        const char* expanded;
    } braces[] = {
        {"[{a}]", "[Z]"},
        {"[{q1}]", "[{q}]"},  // unknown names inside a value stay literal
        {"{{a}}", "{a}"},
        {"{{", "{"},
        {"}}", "}"},
        {"a}b", "a}b"},
        {"{a", "Z"},  // a reference may run to the end of the text
        {"{}", ""},
        {"{lit}", "{b}"},  // "{{b}}" in a value is passed over, then unescaped
        {"{mixed}", "x{b}yZ"},
        {"{A}{B}", "ZZ"},
    };
    for (const auto& c : braces) EXPECT_EQ(expand_variables(c.text, vars), c.expanded) << c.text;

    struct EnvCase {
        const char* text;
        const char* expanded;
    } percents[] = {
        {"%PATH%", "C:\\Windows"},
        {"%path%\\x", "C:\\Windows\\x"},
        {"%%PATH%%", "%PATH%"},
        {"100%", "100%"},
        {"%%open", "%%open"},
        {"a%UNKNOWN%b", "a%UNKNOWN%b"},
        {"%PATH%%PATH%", "C:\\WindowsC:\\Windows"},
        {"50% of %PATH%", "50% of %PATH%"},
    };
    for (const auto& c : percents) EXPECT_EQ(expand_environment(c.text, env), c.expanded) << c.text;
    // In "50% of %PATH%" the pair "% of %" is the reference (unknown, kept); "PATH%" is left over.
    env.fail = true;  // the system failing returns the whole text unexpanded
    EXPECT_EQ(expand_environment("x %PATH% y", env), "x %PATH% y");

    // Stamps are set anew whenever the text mentions them.
    clock.time.second = 42;
    EXPECT_EQ(expand_variables("{TimeStamp}", vars), "14:05:42");
    EXPECT_EQ(expand_variables("{datestamp}", vars), "20091102");

    // Long texts are cut at 2047 characters.
    vars.set_variable("big", std::string(2000, 'b'));
    EXPECT_EQ(expand_variables("{big}{big}", vars).size(), 2047u);
    vars.set_variable(std::string(3000, 'n'), "v");
    EXPECT_EQ(vars.value_or_empty(std::string(2047, 'n')), "v");
}

}  // namespace
}  // namespace dravik
