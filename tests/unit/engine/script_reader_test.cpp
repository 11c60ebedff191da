#include "engine/script_reader.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/update_log.h"
#include "fakes.h"

namespace dravik {
namespace {

std::vector<std::string> all_lines(const std::string& bytes) {
    ScriptReader r;
    r.load_bytes(bytes);
    std::vector<std::string> lines;
    std::string line;
    while (r.read_line(line)) lines.push_back(line);
    return lines;
}

using Lines = std::vector<std::string>;

TEST(ScriptReader, LineEndRules) {
    struct Case {
        std::string bytes;
        Lines lines;
    } cases[] = {
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\nb\n", {"a", "b"}},
        {"a\rb", {"a", "b"}},
        {"a\n\rb", {"a", "b"}},        // LF CR is one line end
        {"a\r\rb", {"a", "b"}},        // so is CR CR
        {"a\n\nb", {"a", "b"}},        // and LF LF: the empty line between disappears
        {"a\n\n\nb", {"a", "", "b"}},  // three line ends: one empty line
        {"a\r\n\r\nb", {"a", "", "b"}},
        {"", {}},
        {"\n", {""}},
        {"last", {"last"}},
        {std::string("ab\0cd\r\nnext", 11), {"ab", "next"}},  // NUL ends the line's text
    };
    for (const auto& c : cases) EXPECT_EQ(all_lines(c.bytes), c.lines) << testing::PrintToString(c.bytes);
}

TEST(ScriptReader, LongLineIsCutAndRestSkipped) {
    std::string long_line(3000, 'x');
    long_line[2046] = 'E';
    long_line[2047] = 'F';
    Lines lines = all_lines(long_line + "\r\nnext\r\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), 2047u);
    EXPECT_EQ(lines[0].back(), 'E');
    EXPECT_EQ(lines[1], "next");
}

TEST(ScriptReader, Utf16LittleEndianIsNarrowedBlockByBlock) {
    // "[A]\r\nx\r\n" in UTF-16LE with the byte-order mark: the text starts with the byte FF.
    std::string wide = "\xFF\xFE";
    for (char c : std::string("[A]\r\nx\r\n")) {
        wide += c;
        wide += '\0';
    }
    Lines lines = all_lines(wide);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "\xFF[A]");
    EXPECT_EQ(lines[1], "x");

    // An odd block length keeps ceil(n/2) bytes; blocks are 1000 bytes, so every block starts even.
    std::string big = "\xFF\xFE";
    for (int i = 0; i < 999; ++i) big += std::string("y\0", 2);
    ScriptReader r;
    r.load_bytes(big);
    EXPECT_EQ(r.size(), 1000);

    // The same narrowing applies when the file is loaded from disk.
    test::TempDir dir;
    test::write_file(dir.file("w.sdf"), wide);
    ScriptReader from_disk;
    from_disk.load(dir.file("w.sdf"));
    std::string line;
    ASSERT_TRUE(from_disk.read_line(line));
    EXPECT_EQ(line, "\xFF[A]");
}

TEST(ScriptReader, MissingFileLoadsEmpty) {
    ScriptReader r;
    r.load("/nonexistent/dir/x.sdf");
    std::string line;
    EXPECT_FALSE(r.read_line(line));
    EXPECT_EQ(r.size(), 0);
    EXPECT_EQ(r.seek(0, 0), 0);
    EXPECT_EQ(r.read_option("Update", "log"), "");
}

TEST(ScriptReader, TellAndSeek) {
    ScriptReader r;
    r.load_bytes("one\r\ntwo\r\nthree");
    std::string line;
    r.read_line(line);
    EXPECT_EQ(r.tell(), 5);
    EXPECT_EQ(r.seek(-5, 1), 0);
    EXPECT_EQ(r.tell(), 0);
    EXPECT_EQ(r.seek(-5, 2), 10);
    r.read_line(line);
    EXPECT_EQ(line, "three");
    EXPECT_EQ(r.seek(100, 0), 0);  // beyond the end: unchanged
    EXPECT_EQ(r.tell(), 15);
    EXPECT_EQ(r.seek(-1, 0), 0);
    EXPECT_EQ(r.tell(), 15);
    EXPECT_FALSE(r.read_line(line));
}

std::string option(const std::string& script, const char* key, const char* section = "Update") {
    ScriptReader r;
    r.load_bytes(script);
    return r.read_option(section, key);
}

TEST(ScriptReader, OptionReader) {
    EXPECT_EQ(option("[Update]\r\nreboot=ask\r\n", "reboot"), "ask");
    EXPECT_EQ(option("[Update]\r\nReboot   =  ask  \r\n", "reboot"), "ask");
    EXPECT_EQ(option("[Update]\r\nreboots = yes\r\n", "reboot"), "");
    EXPECT_EQ(option("[Update]\r\nreboot yes\r\n", "reboot"), "");     // key without '='
    EXPECT_EQ(option("[Update]\r\nreboot =   \r\n", "reboot"), "");    // nothing after '='
    EXPECT_EQ(option("[Update]\r\nupdate x = 1\r\n", "update"), "1");  // '=' anywhere after the key
    EXPECT_EQ(option("[Update]\r\n  ; reboot = yes\r\n\r\n \t\r\nreboot = no\r\n", "reboot"), "no");
    EXPECT_EQ(option("[Update]\r\nlog = a = b\r\n", "log"), "a = b");
    // The key alone on a line does not match (nothing after it): a later line still can.
    EXPECT_EQ(option("[Update]\r\nreboot\r\nreboot = yes\r\n", "reboot"), "yes");
    // The first matching line wins.
    EXPECT_EQ(option("[Update]\r\nreboot = a\r\nreboot = b\r\n", "reboot"), "a");
    // A header anywhere but first on its line is not a header; x[update] is not either.
    EXPECT_EQ(option("x[update]\r\nreboot = yes\r\n", "reboot"), "");
    EXPECT_EQ(option("  [UPDATE]\r\nreboot = yes\r\n", "reboot"), "yes");
    // Only the first section of the name counts, and the next section ends the search.
    EXPECT_EQ(option("[Update]\r\nlog = a\r\n[Other]\r\nreboot = yes\r\n[Update]\r\nreboot = yes\r\n", "reboot"), "");
    EXPECT_EQ(option("[Other]\r\nreboot = no\r\n[Update]\r\nreboot = yes\r\n", "reboot"), "yes");
    // A header without its closing bracket still names the section.
    EXPECT_EQ(option("[Update\r\nreboot = yes\r\n", "reboot"), "yes");
    // The UTF-16 file's first header is not recognised (it starts with the byte FF).
    std::string wide = "\xFF\xFE";
    for (char c : std::string("[Update]\r\nreboot = yes\r\n")) {
        wide += c;
        wide += '\0';
    }
    EXPECT_EQ(option(wide, "reboot"), "");
}

TEST(ScriptReader, SectionSearch) {
    test::FakeClock clock;
    test::HostLogFileSystem fs;
    test::TempDir dir;
    UpdateLog log(clock, fs);
    log.set_path(dir.file("log.txt"));
    log.enable();

    ScriptReader r;
    r.load_bytes("[Update]\r\nlog=x\r\n;   [common]\r\nfirst\r\n[Common]\r\nsecond\r\n");
    std::string line;
    ASSERT_TRUE(r.find_section("Common", false, &log));
    ASSERT_TRUE(r.read_line(line));
    EXPECT_EQ(line, "first");  // the comment line holds "[common]" and counts as the header

    r.load_bytes("a x[INSTALL] b\r\nbody\r\n");
    ASSERT_TRUE(r.find_section("install", true, &log));
    ASSERT_TRUE(r.read_line(line));
    EXPECT_EQ(line, "body");

    EXPECT_FALSE(r.find_section("Missing", false, &log));
    EXPECT_EQ(test::strip_prefixes(test::read_file(dir.file("log.txt"))),
              "Searching for section, [Common]\n"
              "Section found, Reading commands.\n"
              "Searching for section, [install]\n"
              "Section found, Resuming execution.\n"
              "Searching for section, [Missing]\n");

    // Without logging nothing is written.
    UpdateLog quiet(clock, fs);
    quiet.set_path(dir.file("quiet.txt"));
    r.find_section("install", false, &quiet);
    EXPECT_EQ(test::read_file(dir.file("quiet.txt")), "");
}

}  // namespace
}  // namespace dravik
