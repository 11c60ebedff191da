// The text-file operations, byte for byte on real files in a temporary directory: line ends,
// encodings, counts, missing files, long lines, and the temporary file's replace step.
#include <gtest/gtest.h>

#include <functional>

#include "commands/text_file.h"
#include "engine/fakes.h"

namespace dravik::test {

namespace {

std::string utf16(const std::string& latin1) {
    std::string out;
    for (char c : latin1) {
        out += c;
        out += '\0';
    }
    return out;
}
std::string units(const std::u16string& text) {
    std::string out;
    for (char16_t u : text) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    }
    return out;
}
const std::string kBom = "\xFF\xFE";

class TextFileTest : public ::testing::Test {
protected:
    std::string path() const { return dir_.file("a.ini"); }
    TextFile file() { return TextFile{fs_, path()}; }
    void write(const std::string& bytes) { write_file(path(), bytes); }
    std::string content() const { return read_file(path()); }
    bool exists(const std::string& p) const { return HostFileSystem().exists(p); }

    TempDir dir_;
    HostFileSystem fs_;
};

using Operation = std::function<int(TextFile&)>;

struct EditCase {
    const char* what;
    std::string before;
    Operation op;
    int count;
    std::string after;
};

TEST_F(TextFileTest, EditsOf8BitFiles) {
    const std::string ini = "[Paths]\r\nPATH=c:\\old\r\nx=1\r\npath=c:\\other\r\n";
    const std::vector<EditCase> cases = {
        {"replace first line, any case", ini, [](TextFile& f) { return ReplaceLines(f, "PATH=", "Path=c:\\new", false, false); },
         1, "[Paths]\r\nPath=c:\\new\r\nx=1\r\npath=c:\\other\r\n"},
        {"replace every line", ini, [](TextFile& f) { return ReplaceLines(f, "PATH=", "Path=c:\\new", false, true); },
         2, "[Paths]\r\nPath=c:\\new\r\nx=1\r\nPath=c:\\new\r\n"},
        {"replace line, case kept", ini, [](TextFile& f) { return ReplaceLines(f, "path=", "Path=c:\\new", true, false); },
         1, "[Paths]\r\nPATH=c:\\old\r\nx=1\r\nPath=c:\\new\r\n"},
        {"replace line, not found", ini, [](TextFile& f) { return ReplaceLines(f, "zzz", "q", false, true); }, 0, ini},
        {"replace first string", "aXbXc\n", [](TextFile& f) { return ReplaceStrings(f, "x", "_", false, false); }, 1,
         "a_bXc\r\n"},
        {"replace every string", "aXbXc\naxc\n", [](TextFile& f) { return ReplaceStrings(f, "x", "_", false, true); },
         3, "a_b_c\r\na_c\r\n"},
        {"replace string, case kept", "aXbxc\n", [](TextFile& f) { return ReplaceStrings(f, "x", "_", true, true); }, 1,
         "aXb_c\r\n"},
        {"replace overlapping occurrences", "aaaa\n", [](TextFile& f) { return ReplaceStrings(f, "aa", "b", true, true); },
         2, "bb\r\n"},
        {"insert line before first match", "a\nold1\nold2\n",
         [](TextFile& f) { return InsertLineRelative(f, "NEW", "old", false, false, false); }, 1,
         "a\r\nNEW\r\nold1\r\nold2\r\n"},
        {"insert line after first match", "a\nold1\nold2\n",
         [](TextFile& f) { return InsertLineRelative(f, "NEW", "old", false, false, true); }, 1,
         "a\r\nold1\r\nNEW\r\nold2\r\n"},
        {"insert line after every match", "a\nold1\nold2\n",
         [](TextFile& f) { return InsertLineRelative(f, "NEW", "OLD", false, true, true); }, 2,
         "a\r\nold1\r\nNEW\r\nold2\r\nNEW\r\n"},
        {"insert string before", "key=1\n", [](TextFile& f) { return InsertStringRelative(f, "X=", "key", false, false, false); },
         1, "X=key=1\r\n"},
        {"insert string after", "key=1\n", [](TextFile& f) { return InsertStringRelative(f, "X=", "key", false, false, true); },
         1, "keyX==1\r\n"},
        {"insert string at every occurrence", "k k\nk\n",
         [](TextFile& f) { return InsertStringRelative(f, "<", "k", true, true, false); }, 3, "<k <k\r\n<k\r\n"},
        {"delete first line (empty search)", "a\nb\nc\n", [](TextFile& f) { return DeleteLines(f, "", false, false); },
         1, "b\r\nc\r\n"},
        {"delete every line (empty search)", "a\nb\nc\n", [](TextFile& f) { return DeleteLines(f, "", false, true); }, 3,
         ""},
        {"delete matching lines", "ax\nb\nAX\n", [](TextFile& f) { return DeleteLines(f, "x", true, true); }, 1,
         "b\r\nAX\r\n"},
        {"delete strings", "a;b;c\n", [](TextFile& f) { return DeleteStrings(f, ";", false, true); }, 2, "abc\r\n"},
        {"delete first string", "a;b;c\n", [](TextFile& f) { return DeleteStrings(f, ";", false, false); }, 1,
         "ab;c\r\n"},
        {"append to file without last line end", "a\nb", [](TextFile& f) { return AppendLine(f, "NEW"); }, 1,
         "a\r\nb\r\nNEW\r\n"},
        {"insert first line", "a\r\nb\r\n", [](TextFile& f) { return InsertFirstLine(f, "NEW"); }, 1,
         "NEW\r\na\r\nb\r\n"},
        {"insert first line into empty file", "", [](TextFile& f) { return InsertFirstLine(f, "NEW"); }, 1, "NEW\r\n"},
        {"lone CR stays, CR LF and LF become CR LF", "a\rb\r\nc\n\n", [](TextFile& f) { return AppendLine(f, "d"); },
         1, "a\rb\r\nc\r\n\r\nd\r\n"},
        {"8-bit text is written as read", "\xE9t\xE9\n", [](TextFile& f) { return ReplaceStrings(f, "t", "T", true, true); },
         1, "\xE9T\xE9\r\n"},
    };
    for (const EditCase& c : cases) {
        write(c.before);
        TextFile f = file();
        EXPECT_EQ(c.op(f), c.count) << c.what;
        EXPECT_EQ(content(), c.after) << c.what;
        EXPECT_FALSE(exists(path() + "@")) << c.what;
    }
}

TEST_F(TextFileTest, Utf16FilesKeepTheirEncodingAndMark) {
    const std::vector<EditCase> cases = {
        {"replace string", kBom + utf16("a=old\r\nb=old\r\n"),
         [](TextFile& f) { return ReplaceStrings(f, "OLD", "new", false, true); }, 2,
         kBom + utf16("a=new\r\nb=new\r\n")},
        {"append", kBom + utf16("a\r\n"), [](TextFile& f) { return AppendLine(f, "b"); }, 1, kBom + utf16("a\r\nb\r\n")},
        {"append to a file that is only the mark", kBom, [](TextFile& f) { return AppendLine(f, "b"); }, 1,
         kBom + utf16("b\r\n")},
        {"delete the only line keeps the mark", kBom + utf16("a\r\n"), [](TextFile& f) { return DeleteLines(f, "a", true, true); },
         1, kBom},
        {"insert first line", kBom + utf16("a\r\n"), [](TextFile& f) { return InsertFirstLine(f, "0"); }, 1,
         kBom + utf16("0\r\na\r\n")},
        // Units above 255 match by their low byte and are written back unchanged, also in an edited line.
        {"characters above 255 survive", kBom + units(u"\u043A=1\r\nk=\u3042\r\n"),
         [](TextFile& f) { return InsertStringRelative(f, "X", "=", true, true, false); }, 2,
         kBom + units(u"\u043AX=1\r\nkX=\u3042\r\n")},
        // Lines that end in a line feed alone, with an empty one among them: nothing after it is lost.
        {"LF-only lines", kBom + utf16("a\n\nb\n"), [](TextFile& f) { return ReplaceLines(f, "b", "c", true, false); },
         1, kBom + utf16("a\r\n\r\nc\r\n")},
    };
    for (const EditCase& c : cases) {
        write(c.before);
        TextFile f = file();
        EXPECT_EQ(c.op(f), c.count) << c.what;
        EXPECT_EQ(content(), c.after) << c.what;
    }
}

TEST_F(TextFileTest, LongLinesAreCarriedThroughWhole) {
    const std::string long_line(5000, 'L');
    write("a=1\n" + long_line + "x\nb=1\n");
    TextFile f = file();
    EXPECT_EQ(ReplaceStrings(f, "=1", "=2", true, true), 2);
    EXPECT_EQ(content(), "a=2\r\n" + long_line + "x\r\nb=2\r\n");
    // A match far beyond 2047 characters is found and edited like any other.
    EXPECT_EQ(ReplaceStrings(f, "Lx", "Ly", true, true), 1);
    EXPECT_EQ(content(), "a=2\r\n" + long_line.substr(1) + "Ly\r\nb=2\r\n");
}

TEST_F(TextFileTest, ALineOverTheLimitFailsThePassAndLeavesTheFile) {
    const std::string binary = "MZ" + std::string(300, '\x90') + "\r" + std::string(300, '\0');
    const std::vector<std::string> files = {
        binary,                                   // 8-bit, no line break at all
        "a=1\r\n" + binary + "\r\nb=1\r\n",       // an over-long line between short ones
        kBom + utf16("a=1\r\n" + binary),         // UTF-16LE
        // One character over the limit, ended by a bare LF: the room kept for a CR is not the line's.
        "a=1\n" + std::string(101, 'x') + "\nb=1\n",
        kBom + utf16("a=1\n" + std::string(101, 'x') + "\nb=1\n"),
    };
    for (const std::string& before : files) {
        write(before);
        TextFile f{fs_, path(), 100};
        EXPECT_EQ(ReplaceStrings(f, "=1", "=2", true, true), -1);
        EXPECT_EQ(DeleteLines(f, "zz", false, true), -1);
        EXPECT_EQ(AppendLine(f, "x"), -1);
        EXPECT_EQ(InsertFirstLine(f, "x"), -1);
        EXPECT_EQ(SearchFile(f, "b=1", false, true), -1);
        EXPECT_EQ(GetLine(f, "b=1", false, false), std::nullopt);
        EXPECT_EQ(content(), before);
        EXPECT_FALSE(exists(path() + "@"));
    }
    // A line of exactly the limit, also with its CR LF, is an ordinary line.
    write(std::string(100, 'x') + "\r\n" + std::string(98, 'y') + "=1");
    TextFile f{fs_, path(), 100};
    EXPECT_EQ(ReplaceStrings(f, "=1", "=2", true, true), 1);
    EXPECT_EQ(content(), std::string(100, 'x') + "\r\n" + std::string(98, 'y') + "=2\r\n");
    write(kBom + utf16(std::string(100, 'x') + "\r\n"));
    EXPECT_EQ(SearchFile(f, "x", true, false), 1);
    EXPECT_EQ(InsertFirstLine(f, "a"), 1);
    EXPECT_EQ(content(), kBom + utf16("a\r\n" + std::string(100, 'x') + "\r\n"));
}

TEST_F(TextFileTest, LinesAcrossTheReadBufferBoundaries) {
    // Enough lines to cross many buffer refills, with CR LF pairs split between refills somewhere.
    std::string before, expected;
    for (int i = 0; i < 40000; ++i) {
        std::string n = std::to_string(i);
        before += "line " + n + (i % 3 ? " value\r\n" : " other\n");
        expected += "line " + n + (i % 3 ? " VALUE\r\n" : " other\r\n");
    }
    write(before);
    TextFile f = file();
    EXPECT_EQ(ReplaceStrings(f, "value", "VALUE", true, true), 26666);
    // Compared as one Boolean: a diff of two megabyte-long texts would flood the output.
    EXPECT_TRUE(content() == expected);
    EXPECT_EQ(SearchFile(f, "line", true, true), 40000);
    EXPECT_EQ(GetLine(f, "39998", true, false).value_or("-"), "line 39998 VALUE");
}

TEST_F(TextFileTest, MissingFiles) {
    TextFile f = file();
    EXPECT_EQ(ReplaceLines(f, "a", "b", false, false), -1);
    EXPECT_EQ(ReplaceStrings(f, "a", "b", false, false), -1);
    EXPECT_EQ(DeleteLines(f, "a", false, false), -1);
    EXPECT_EQ(DeleteStrings(f, "a", false, false), -1);
    EXPECT_EQ(InsertLineRelative(f, "a", "b", false, false, false), -1);
    EXPECT_EQ(InsertStringRelative(f, "a", "b", false, false, false), -1);
    EXPECT_EQ(InsertFirstLine(f, "a"), -1);
    EXPECT_EQ(SearchFile(f, "a", false, false), -1);
    EXPECT_FALSE(GetLine(f, "a", false, false).has_value());
    EXPECT_FALSE(exists(path()));
    EXPECT_FALSE(exists(path() + "@"));
    // Appending creates the file.
    EXPECT_EQ(AppendLine(f, "first"), 1);
    EXPECT_EQ(content(), "first\r\n");
    // A file in a folder that does not exist cannot be created.
    TextFile nowhere{fs_, dir_.file("no/such/dir.ini")};
    EXPECT_EQ(AppendLine(nowhere, "x"), -1);
}

TEST_F(TextFileTest, EmptySearchStringForStringEditsChangesNothing) {
    const std::string before = "a\nb\n";  // not rewritten: the LF line ends stay
    write(before);
    TextFile f = file();
    EXPECT_EQ(DeleteStrings(f, "", false, false), 0);
    EXPECT_EQ(DeleteStrings(f, "", false, true), 0);
    EXPECT_EQ(ReplaceStrings(f, "", "x", false, true), 0);
    EXPECT_EQ(content(), before);
    // A missing file is still a file that cannot be opened.
    TextFile missing{fs_, dir_.file("missing.ini")};
    EXPECT_EQ(DeleteStrings(missing, "", false, false), -1);
    EXPECT_EQ(DeleteStrings(missing, "", false, true), -1);
    EXPECT_FALSE(exists(missing.name));
}

TEST_F(TextFileTest, SearchCounts) {
    write("ab AB\nxx\nab\n");
    TextFile f = file();
    EXPECT_EQ(SearchFile(f, "ab", false, true), 3);
    EXPECT_EQ(SearchFile(f, "ab", true, true), 2);
    EXPECT_EQ(SearchFile(f, "ab", false, false), 1);
    EXPECT_EQ(SearchFile(f, "zz", false, false), 0);
    EXPECT_EQ(SearchFile(f, "x", true, true), 2);
    EXPECT_EQ(content(), "ab AB\nxx\nab\n");  // reading leaves the file alone
}

TEST_F(TextFileTest, GetLineByNumberAndBySearch) {
    write("\n\nfirst=1\nSecond=2\n");
    TextFile f = file();
    const std::vector<std::pair<std::string, std::optional<std::string>>> by_number = {
        {"0", "first=1"}, {"abc", "first=1"}, {"1", ""}, {"3", "first=1"}, {"4", "Second=2"}, {"5", std::nullopt},
        {"-2", "first=1"},
    };
    for (const auto& [key, line] : by_number) EXPECT_EQ(GetLine(f, key, false, true), line) << key;
    EXPECT_EQ(GetLine(f, "second", false, false), std::optional<std::string>("Second=2"));
    EXPECT_EQ(GetLine(f, "second", true, false), std::nullopt);
    write(kBom + utf16("x=1\r\ny=2\r\n"));
    EXPECT_EQ(GetLine(f, "2", false, true), std::optional<std::string>("y=2"));
}

// Passes everything through to the host, and lets a test look at the files at the moment the new
// file is about to take the old one's place, or make a step fail.
class SeamFileSystem : public TextFileSystem {
public:
    HostFileSystem host;
    bool fail_flush = false;
    bool fail_replace = false;
    std::function<void(const std::string& from, const std::string& to)> before_replace;

    bool exists(const std::string& path) override { return host.exists(path); }
    bool flush_to_disk(std::FILE* stream) override { return !fail_flush && host.flush_to_disk(stream); }
    bool replace(const std::string& from, const std::string& to) override {
        if (before_replace) before_replace(from, to);
        return !fail_replace && host.replace(from, to);
    }
};

TEST_F(TextFileTest, TheOriginalStaysWholeUntilTheNewFileReplacesIt) {
    SeamFileSystem seam;
    TextFile f{seam, path()};
    write("a=1\nb=1\n");
    int calls = 0;
    seam.before_replace = [&](const std::string& from, const std::string& to) {
        ++calls;
        // A process that dies here leaves the old file intact and the new one complete beside it.
        EXPECT_EQ(from, path() + "@");
        EXPECT_EQ(to, path());
        EXPECT_EQ(read_file(to), "a=1\nb=1\n");
        EXPECT_EQ(read_file(from), "a=2\r\nb=2\r\n");
    };
    EXPECT_EQ(ReplaceStrings(f, "1", "2", true, true), 2);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(content(), "a=2\r\nb=2\r\n");
}

TEST_F(TextFileTest, AFailedStepLeavesTheOriginalAndNoTemporaryFile) {
    SeamFileSystem seam;
    TextFile f{seam, path()};
    for (int step = 0; step < 2; ++step) {
        write("a=1\n");
        seam.fail_flush = step == 0;
        seam.fail_replace = step == 1;
        EXPECT_EQ(ReplaceStrings(f, "1", "2", true, true), -1) << step;
        EXPECT_EQ(AppendLine(f, "x"), -1) << step;
        EXPECT_EQ(content(), "a=1\n") << step;
        EXPECT_FALSE(exists(path() + "@")) << step;
    }
}

TEST_F(TextFileTest, ATemporaryFileThatCannotBeWrittenGivesMinusOne) {
    write("a=1\n");
    // A folder in the temporary file's place cannot be opened for writing, whoever runs the test.
    ASSERT_TRUE(std::filesystem::create_directory(path() + "@"));
    TextFile f = file();
    EXPECT_EQ(ReplaceLines(f, "a", "b", false, false), -1);
    EXPECT_EQ(AppendLine(f, "b"), -1);
    EXPECT_EQ(content(), "a=1\n");
    EXPECT_TRUE(std::filesystem::is_directory(path() + "@"));
}

}  // namespace

}  // namespace dravik::test
