// The value-queue tool's command line in every form.
#include "command_line.h"

#include <gtest/gtest.h>

namespace dkgetval {
namespace {

using Prompts = std::vector<std::string>;

TEST(CommandLine, EmptyMeansNothingToDo) {
    EXPECT_EQ(parse_command_line("").mode, Mode::none);
    EXPECT_EQ(parse_command_line("   \t ").mode, Mode::none);
}

struct FileCase {
    const char* line;
    const char* file;
    int rounds;
};

TEST(CommandLine, FileModeForms) {
    const FileCase cases[] = {
        {"/f values.txt", "values.txt", 60},
        {"-f values.txt", "values.txt", 60},
        {"/F values.txt", "values.txt", 60},
        {"/fvalues.txt", "values.txt", 60},
        {"-Fvalues.txt /w30", "values.txt", 30},
        {"/f values.txt /w30", "values.txt", 30},
        {"/f values.txt -W7", "values.txt", 7},
        {"/f values.txt /w5", "values.txt", 5},
        // The number must follow the option directly: with a blank the option has no number.
        {"/f values.txt /w 5", "values.txt", 0},
        {"/f values.txt -w", "values.txt", 0},
        {"/f values.txt /w12abc", "values.txt", 12},
        {"/f values.txt /w+4", "values.txt", 4},
        {"/f values.txt /w-3", "values.txt", -3},
        {"/f values.txt /wx", "values.txt", 0},
        {"/f values.txt /w99999999999", "values.txt", 86400},
        {"/f values.txt /w5 /w9", "values.txt", 5},
        {"/f values.txt other /w2", "values.txt", 2},
        {"/f \"C:\\My Data\\values.txt\" /w3", "C:\\My Data\\values.txt", 3},
        {"/f 'C:\\My Data\\values.txt'", "C:\\My Data\\values.txt", 60},
        {"/f\"quoted name.txt\"", "quoted name.txt", 60},
        // Anything else is a file name: the quoted first token ...
        {"\"C:\\My Data\\v.txt\" /w3", "C:\\My Data\\v.txt", 60},
        {"'single quoted.txt' trailing", "single quoted.txt", 60},
        {"\"unterminated name", "unterminated name", 60},
        // ... or the whole line, blanks included.
        {"C:\\My Data\\values.txt", "C:\\My Data\\values.txt", 60},
        {"values.txt /w5", "values.txt /w5", 60},
        {"  lead and trail.txt  ", "lead and trail.txt", 60},
        {"/x y", "/x y", 60},
    };
    for (const FileCase& c : cases) {
        Settings s = parse_command_line(c.line);
        EXPECT_EQ(s.mode, Mode::file) << c.line;
        EXPECT_EQ(s.queue_file, c.file) << c.line;
        EXPECT_EQ(s.rounds, c.rounds) << c.line;
    }
}

TEST(CommandLine, EntryModeForms) {
    struct EntryCase {
        const char* line;
        Prompts prompts;
    };
    const EntryCase cases[] = {
        {"/e Name Phone", {"Name", "Phone"}},
        {"-E Name", {"Name"}},
        {"/e \"Full name\" 'Room number' Phone", {"Full name", "Room number", "Phone"}},
        // A longer first token: the prompt text starts right after the two characters.
        {"/eName Phone", {"Name", "Phone"}},
        {"-e\"First prompt\" second", {"First prompt", "second"}},
        {"/e", {}},
        {"/e   ", {}},
    };
    for (const EntryCase& c : cases) {
        Settings s = parse_command_line(c.line);
        EXPECT_EQ(s.mode, Mode::entry) << c.line;
        EXPECT_EQ(s.prompts, c.prompts) << c.line;
    }
}

TEST(CommandLine, RefusedLinesDoNothing) {
    const std::string long_token(1024, 'n');
    const std::string longest(1023, 'n');
    // Names ending in '@' would be their own lock file.
    EXPECT_EQ(parse_command_line("/f values.tx@").mode, Mode::none);
    EXPECT_EQ(parse_command_line("values.tx@").mode, Mode::none);
    EXPECT_EQ(parse_command_line("\"my values@\"").mode, Mode::none);
    // Tokens over 1023 characters, wherever they stand.
    EXPECT_EQ(parse_command_line("/f " + long_token).mode, Mode::none);
    EXPECT_EQ(parse_command_line("/f v.txt /w5 " + long_token).mode, Mode::none);
    EXPECT_EQ(parse_command_line("/e Name " + long_token).mode, Mode::none);
    EXPECT_EQ(parse_command_line("\"" + long_token + "\"").mode, Mode::none);
    EXPECT_EQ(parse_command_line(long_token).mode, Mode::none);
    EXPECT_EQ(parse_command_line("a " + longest).mode, Mode::none);  // whole line is 1025 characters
    // /f without a file.
    EXPECT_EQ(parse_command_line("/f").mode, Mode::none);
    EXPECT_EQ(parse_command_line("-f   ").mode, Mode::none);
    // The limit itself is allowed.
    EXPECT_EQ(parse_command_line("/f " + longest).queue_file, longest);
    EXPECT_EQ(parse_command_line(longest).queue_file, longest);
    EXPECT_EQ(parse_command_line("/e " + longest).prompts, Prompts{longest});
}

TEST(CommandLine, LockFileName) {
    EXPECT_EQ(lock_file_name("values.txt"), "values.tx@");
    EXPECT_EQ(lock_file_name("C:\\q\\list.csv"), "C:\\q\\list.cs@");
    EXPECT_EQ(lock_file_name("x"), "@");
}

}  // namespace
}  // namespace dkgetval
