// Item lists, wildcard matching, stored names and the extraction safety check.
#include <gtest/gtest.h>

#include <cctype>

#include "names.h"

namespace dravik::archive {
namespace {

TEST(ItemList, BlanksAndQuotes) {
    bool ok = false;
    EXPECT_EQ(split_item_list("  a.txt  \"b c.txt\" d\\*.log ", ok), (std::vector<std::string>{"a.txt", "b c.txt", "d\\*.log"}));
    EXPECT_TRUE(ok);
    split_item_list("\"open", ok);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(split_item_list("", ok).empty());
}

TEST(Wildcards, Table) {
    struct Case {
        const char* pattern;
        const char* name;
        bool cross;
        bool match;
    } cases[] = {
        {"*.txt", "a.txt", false, true},       {"*.txt", "A.TXT", false, true},         {"*.txt", "d/a.txt", false, false},
        {"*.txt", "d/a.txt", true, true},      {"d\\*.txt", "d/a.txt", false, true},     {"?.txt", "ab.txt", false, false},
        {"a?c", "abc", false, true},           {"a?c", "a/c", false, false},            {"*", "", false, true},
        {"*a*b*", "xxaxxbxx", false, true},    {"*a*b", "xxaxxbxxc", false, false},      {"abc", "abcd", false, false},
        {"**", "a/b", true, true},
    };
    for (const auto& c : cases) EXPECT_EQ(wildcard_match(c.pattern, c.name, c.cross), c.match) << c.pattern << " " << c.name;
}

TEST(StoredName, Table) {
    struct Case {
        const char* path;
        const char* cwd;
        bool no_dirs;
        const char* stored;
    } cases[] = {
        {"C:\\Data\\x.txt", "", false, "Data/x.txt"},
        {"C:\\Data\\x.txt", "c:\\data", false, "x.txt"},
        {"C:\\Database\\x.txt", "C:\\Data", false, "Database/x.txt"},
        {"\\\\server\\share\\dir\\x.txt", "", false, "dir/x.txt"},
        {"..\\..\\x.txt", "", false, "x.txt"},
        {"./a/./b.txt", "", false, "a/b.txt"},
        {"/tmp/a/b.txt", "/tmp", false, "a/b.txt"},
        {"/tmp/a/b.txt", "", true, "b.txt"},
    };
    for (const auto& c : cases) EXPECT_EQ(stored_name(c.path, c.cwd, c.no_dirs), c.stored) << c.path;
}

TEST(SafeNames, Table) {
    for (const char* ok : {"a.txt", "dir/sub/a.txt", "a..b.txt", "..a", "CONSOLE.txt", "COM10", "dir/"})
        EXPECT_EQ(unsafe_name_reason(ok), nullptr) << ok;
    for (const char* bad : {"/x", "\\x", "C:x", "C:\\x", "\\\\server\\share\\x", "..", "../x", "a/../../x", "a\\..\\x", "x:y",
                            "CON", "con.txt", "dir/NUL", "COM1", "lpt9.log", "AUX", "PRN.x", "CONIN$"})
        EXPECT_NE(unsafe_name_reason(bad), nullptr) << bad;
}

// Every name Windows opens as a device, in any component, case, with an extension or trailing
// blanks and dots; and the near misses that are ordinary files.
TEST(SafeNames, DevicesAndControlCharacters) {
    const std::string devices[] = {"CON",     "PRN",     "AUX",     "NUL",     "CONIN$", "CONOUT$", "CLOCK$",
                                   "COM0",    "COM1",    "COM9",    "LPT0",    "LPT1",   "LPT9",    "COM\xB9",
                                   "COM\xB2", "COM\xB3", "LPT\xB9", "LPT\xB2", "LPT\xB3"};
    for (const std::string& d : devices) {
        std::string lower = d;
        for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (const std::string& name : {d, lower, d + ".txt", lower + ".tar.gz", d + " ", d + ".", d + " .log",
                                        d + "..", "dir/" + d, "dir\\" + d + ".txt", "a/" + lower + "/b.txt"})
            EXPECT_STREQ(unsafe_name_reason(name), "device name") << name;
    }
    for (const char* ok : {"COM", "COM10", "LPT", "COM\xB4", "COM\xB9\xB9", "CLOCK", "CONOUT", "NULL", "xCON", "CON_x",
                           "AUX1", "clock$x", "LPT\xBC"})
        EXPECT_EQ(unsafe_name_reason(ok), nullptr) << ok;

    // Control characters anywhere: a NUL would end the name at "NUL" for the system.
    for (const std::string& name : {std::string("NUL\0x.txt", 9), std::string("a\0b", 3), std::string("dir/x\x01.txt"),
                                    std::string("tab\there"), std::string("line\nbreak"), std::string("x\x1F")})
        EXPECT_STREQ(unsafe_name_reason(name), "control character") << name;
}

}  // namespace
}  // namespace dravik::archive
