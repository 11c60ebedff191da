#include "engine/command_line.h"

#include <gtest/gtest.h>

#include "fakes.h"

namespace dravik {
namespace {

struct CommandLineRun : test::TestRun {
    CommandLine parse(const std::string& text) { return parse_command_line(text, run); }
    std::string var(const char* name) { return run.vars.value_or_empty(name); }
};

TEST(CommandLine, ScriptPathForms) {
    struct Case {
        const char* text;
        const char* path;
        bool help;
    } cases[] = {
        {"/f \"/My Scripts/x.sdf\"", "/My Scripts/x.sdf", false},
        {"\"/My Scripts/x.sdf\"", "/My Scripts/x.sdf", false},
        {"-F /a.sdf", "/a.sdf", false},
        {"x.sdf", "/cwd/x.sdf", false},
        {"'x y.sdf'", "/cwd/x y.sdf", false},
        {"-?", "", true},
        {"-? x.sdf", "/cwd/x.sdf", true},
        {"/? /F x.sdf", "/cwd/x.sdf", true},
        {"-Q -zz x.sdf", "/cwd/x.sdf", false},  // unknown switches are ignored
        {"", "", false},
        {"   ", "", false},
    };
    for (const auto& c : cases) {
        CommandLineRun t;
        CommandLine cl = t.parse(c.text);
        EXPECT_EQ(cl.script_path, c.path) << c.text;
        EXPECT_EQ(cl.help, c.help) << c.text;
    }
}

TEST(CommandLine, AssignmentsAndPassKey) {
    CommandLineRun t;
    t.env.values["SITE"] = "HQ";
    CommandLine cl = t.parse("x.sdf Dept=Sales Site=\"North Hall\" Room = 12 Env=%SITE% -p secret -V Late=1 Z=2");
    EXPECT_EQ(cl.script_path, "/cwd/x.sdf");
    EXPECT_EQ(t.var("Dept"), "Sales");
    EXPECT_EQ(t.var("Site"), "North Hall");
    EXPECT_EQ(t.var("Room"), "12");
    EXPECT_EQ(t.var("Env"), "HQ");
    EXPECT_EQ(t.var("DkKey"), "secret");
    EXPECT_EQ(t.var("Late"), "1");
    EXPECT_EQ(t.var("Z"), "2");

    // -V before the script path; assignments see earlier ones through {name} in -P (expanded) but
    // not in their own values (not expanded).
    CommandLineRun u;
    CommandLine cl2 = u.parse("-v Dept=Sales Raw={Dept} -P \"{Dept} key\" -F /s.sdf");
    EXPECT_EQ(cl2.script_path, "/s.sdf");
    EXPECT_EQ(u.var("Dept"), "Sales");
    EXPECT_EQ(u.var("Raw"), "{Dept}");
    EXPECT_EQ(u.var("DkKey"), "Sales key");

    // A quoted pass key with blanks as the last word of the line.
    CommandLineRun v;
    CommandLine cl3 = v.parse("z.sdf -P \"Pass Key 7\"");
    EXPECT_EQ(cl3.script_path, "/cwd/z.sdf");
    EXPECT_EQ(v.var("DkKey"), "Pass Key 7");
}

TEST(CommandLine, ProgramNameIsSkipped) {
    EXPECT_EQ(command_line_arguments("\"C:\\Program Files\\DravikLT.exe\" -F x.sdf"), " -F x.sdf");
    EXPECT_EQ(command_line_arguments("DravikLT.exe x.sdf"), " x.sdf");
    EXPECT_EQ(command_line_arguments("DravikLT.exe"), "");
}

}  // namespace
}  // namespace dravik
