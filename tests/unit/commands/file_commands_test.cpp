// The file command end to end through the interpreter's hand-over: messages, result variables and
// the files themselves.
#include <gtest/gtest.h>

#include <new>

#include "command_test_support.h"
#include "fake_registry.h"

namespace dravik::test {

namespace {

struct FileCase {
    std::string line;      // "@F" stands for the file's path
    const char* before;    // null: no file
    std::string log;       // after "<line>, "
    const char* after;     // null: no file
    std::string var;       // the value of r afterwards ("-" when not set)
};

class FileCommandTest : public ::testing::Test {
protected:
    static std::string with_path(std::string text, const std::string& path) {
        for (size_t p = text.find("@F"); p != std::string::npos; p = text.find("@F", p + path.size())) {
            text.replace(p, 2, path);
        }
        return text;
    }
    void check(const std::vector<FileCase>& cases) {
        for (const FileCase& c : cases) {
            CommandTestRun t;
            const std::string path = t.dir.file("a.ini");
            if (c.before) write_file(path, c.before);
            const std::string line = with_path(c.line, path);
            std::string log = run_commands(t, line, {files_, registry_});
            EXPECT_EQ(log, line + ", " + with_path(c.log, path)) << c.line;
            if (c.after) {
                EXPECT_EQ(read_file(path), c.after) << c.line;
            } else {
                EXPECT_FALSE(files_.exists(path)) << c.line;
            }
            const std::string* var = t.run.vars.find("r");
            EXPECT_EQ(var ? *var : "-", c.var) << c.line;
        }
    }
    HostFileSystem files_;
    FakeRegistry registry_;
};

constexpr char kCannotOpen[] = "The file could not be opened or the temporary file could not be created.\n";

TEST_F(FileCommandTest, InsertAtTheEnds) {
    check({
        {"-file @F -ie hello", nullptr, "Line appended to the end of the file.\n", "hello\r\n", "-"},
        {"-file @F -ie hello -v r", "a\n", "Line appended to the end of the file.\n", "a\r\nhello\r\n", "1"},
        {"-file @F -ib first", nullptr, "Line inserted at the beginning of the file.\n", "first\r\n", "-"},
        {"-file @F -ib first -v r", "a\r\n", "Line inserted at the beginning of the file.\n", "first\r\na\r\n", "1"},
        {"-file @F -ie", "a\r\n", "Line appended to the end of the file.\n", "a\r\n\r\n", "-"},
        {"-file @F/x -ie hello -v r", nullptr, kCannotOpen, nullptr, "ERROR"},
    });
}

TEST_F(FileCommandTest, ReplaceAndDelete) {
    check({
        {"-file @F -rl a b -v r", nullptr, kCannotOpen, nullptr, "ERROR"},
        {"-file @F -rl Path=c:\\new path=", "PATH=1\nx\npath=2\n", "1 line replaced.\n", "Path=c:\\new\r\nx\r\npath=2\r\n", "-"},
        {"-file @F -rL Path=c:\\new path= -v r", "PATH=1\nx\npath=2\n", "2 lines replaced.\n",
         "Path=c:\\new\r\nx\r\nPath=c:\\new\r\n", "2"},
        {"-file @F -c -rl Path=c:\\new path=", "PATH=1\nx\npath=2\n", "1 line replaced.\n", "PATH=1\r\nx\r\nPath=c:\\new\r\n", "-"},
        {"-file @F -rl q zzz -v r", "a\n", "The search string was not found.\n", "a\r\n", "0"},
        {"-file @F -rs _ x -v r", "aXbXc\n", "1 occurrence replaced.\n", "a_bXc\r\n", "1"},
        {"-file @F -rS _ x -v r", "aXbXc\n", "2 occurrences replaced.\n", "a_b_c\r\n", "2"},
        {"-file @F -dl", "a\nb\n", "1 line deleted.\n", "b\r\n", "-"},
        {"-file @F -dL -v r", "a\nb\n", "2 lines deleted.\n", "", "2"},
        {"-file @F -ds ;", "a;b;\n", "1 string deleted.\n", "ab;\r\n", "-"},
        {"-file @F -dS ; -v r", "a;b;\n", "2 strings deleted.\n", "ab\r\n", "2"},
        {"-file @F -dS -v r", "a;b;\n", "The search string was not found.\n", "a;b;\n", "0"},
        {"-file @F -ds -v r", nullptr, kCannotOpen, nullptr, "ERROR"},
        {"-file @F -dS -v r", nullptr, kCannotOpen, nullptr, "ERROR"},
        {"-file @F -dl -v r", nullptr, kCannotOpen, nullptr, "ERROR"},
    });
}

TEST_F(FileCommandTest, InsertRelative) {
    check({
        {"-file @F -il NEW old", "old\nold\n", "Line inserted at 1 location.\n", "NEW\r\nold\r\nold\r\n", "-"},
        {"-file @F -a -iL NEW old -v r", "old\nold\n", "Line inserted at 2 locations.\n",
         "old\r\nNEW\r\nold\r\nNEW\r\n", "2"},
        {"-file @F -il NEW zzz -v r", "old\n", "The search string was not found.\n", "old\r\n", "0"},
        {"-file @F -is X= key", "key=1\n", "String inserted at 1 location.\n", "X=key=1\r\n", "-"},
        {"-file @F -a -is X= key", "key=1\n", "String inserted at 1 location.\n", "keyX==1\r\n", "-"},
        {"-file @F -iS < k -v r", "k k\n", "String inserted at 2 locations.\n", "<k <k\r\n", "2"},
        {"-file @F -is X= key -v r", nullptr, kCannotOpen, nullptr, "ERROR"},
    });
}

TEST_F(FileCommandTest, ReadingCommands) {
    check({
        {"-file @F -v r", "a\n", "File exists.\n", "a\n", "TRUE"},
        {"-file @F -v r", nullptr, "File does not exist.\n", nullptr, "FALSE"},
        {"-file @F -fs b -v r", "ab\nb\n", "Search string found.\n", "ab\nb\n", "1"},
        {"-file @F -f b -v r", "abb\nb\n", "Search string found at 3 locations.\n", "abb\nb\n", "3"},
        {"-file @F -fs z -v r", "ab\n", "The search string was not found.\n", "ab\n", "0"},
        {"-file @F -fs z -v r", nullptr, "The file could not be opened.\n", nullptr, "ERROR"},
        // The line found completes the log entry as it is, without a line end.
        {"-file @F -gl 0 -v r", "\nfirst\nsecond\n", "first", "\nfirst\nsecond\n", "first"},
        {"-file @F -gl 5 -v r", "a\nb\nc\n", "The search string was not found.\n", "a\nb\nc\n", ""},
        {"-file @F -g SEC -v r", "\nfirst\nsecond\n", "second", "\nfirst\nsecond\n", "second"},
        {"-file @F -c -g SEC -v r", "\nfirst\nsecond\n", "The search string was not found.\n", "\nfirst\nsecond\n", ""},
        {"-file @F -g x -v r", nullptr, "The search string was not found.\n", nullptr, ""},
    });
}

TEST_F(FileCommandTest, SubcommandLinesAndSyntaxErrors) {
    check({
        {"-file @F -c -rS new old -dl x", "x old OLD\nX\nx\n",
         "1 occurrence replaced.\n-dl x, 1 line deleted.\n", "X\r\nx\r\n", "-"},
        {"-file @F -ie one -ie two -v r", nullptr, "Line appended to the end of the file.\n-ie two -v r, "
         "Line appended to the end of the file.\n", "one\r\ntwo\r\n", "1"},
        {"-file @F", "a\n", "Invalid file command.\n", "a\n", "-"},
        // A syntax error stops the line; what ran before it stays done.
        {"-file @F -ie one -x -ie two", nullptr, "Line appended to the end of the file.\n-x -ie two, "
         "Syntax error: Invalid file command.\n", "one\r\n", "-"},
        {"-file @F -g abc", "abc\n", "", "abc\n", "-"},
        {"-file @F -ie one junk", nullptr, "Line appended to the end of the file.\njunk, Invalid file command.\n",
         "one\r\n", "-"},
    });
}

// The host's file system, except that the first flush of a temporary file runs out of memory.
class OutOfMemoryOnce : public TextFileSystem {
public:
    bool exists(const std::string& path) override { return host_.exists(path); }
    bool flush_to_disk(std::FILE* stream) override {
        if (!thrown_) {
            thrown_ = true;
            throw std::bad_alloc();
        }
        return host_.flush_to_disk(stream);
    }
    bool replace(const std::string& from, const std::string& to) override { return host_.replace(from, to); }

private:
    HostFileSystem host_;
    bool thrown_ = false;
};

TEST_F(FileCommandTest, RunningOutOfMemoryFailsTheStatementAndTheRunGoesOn) {
    CommandTestRun t;
    OutOfMemoryOnce files;
    const std::string path = t.dir.file("a.ini");
    write_file(path, "a=1\n");
    const std::string edit = "-file " + path + " -rS 2 1 -v r";
    const std::string next = "-file " + path + " -fs a=1 -v s";
    std::string log;
    EXPECT_NO_THROW(log = run_commands(t, edit + "\r\n" + next, {files, registry_}));
    EXPECT_EQ(log, edit + ", " + kCannotOpen + next + ", Search string found.\n");
    EXPECT_EQ(t.run.vars.value_or_empty("r"), "ERROR");
    EXPECT_EQ(t.run.vars.value_or_empty("s"), "1");
    EXPECT_EQ(read_file(path), "a=1\n");
    EXPECT_FALSE(files_.exists(path + "@"));
}

TEST_F(FileCommandTest, ResultVariablesAreSetWhileTheLogIsClosed) {
    ParsedCommand cmd;
    TestRun quiet;  // a run whose log was never opened
    const std::string path = quiet.dir.file("a.ini");
    quiet.run.statement.reset("-file " + path + " -ie x -v r");
    RunCommandLine(quiet.run, cmd, {files_, registry_});
    EXPECT_EQ(quiet.run.vars.value_or_empty("r"), "1");
    quiet.run.statement.reset("-file " + path + " -v e");
    RunCommandLine(quiet.run, cmd, {files_, registry_});
    EXPECT_EQ(quiet.run.vars.value_or_empty("e"), "TRUE");
    EXPECT_EQ(read_file(path), "x\r\n");
    EXPECT_FALSE(files_.exists(quiet.log_path()));
}

}  // namespace

}  // namespace dravik::test
