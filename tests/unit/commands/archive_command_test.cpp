// The "-rido" archive command: the records it hands to the engine (watched through a recording
// engine), its messages, the "@" list file, the list buffer's retry, and whole operations with the
// real engine on real files, including the encrypted container, checked with Python's zipfile too.
#include "commands/archive_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>

#include "command_test_support.h"
#include "commands/encrypted_container.h"
#include "fake_registry.h"

namespace dravik::test {

namespace {

std::string str(const char* s) { return s ? s : "(null)"; }

struct ZipCall {
    ZIPCMDSTRUCT r;
    std::string zip, items, key, date;
};

struct UnzipCall {
    UNZIPCMDSTRUCT r;
    std::string zip, files, dest, key;
};

// An engine that notes every call (and copies of the records' texts) and either passes the call
// on to the real engine or answers with the test's functions.
class RecordingEngine : public ArchiveEngine {
  public:
    explicit RecordingEngine(bool real) : real_(real) {}
    std::vector<std::string> events;
    std::vector<ZipCall> zips;
    std::vector<UnzipCall> unzips;
    std::function<int32_t(ZIPCMDSTRUCT&)> zip_answer = [](ZIPCMDSTRUCT&) { return 0; };
    std::function<int32_t(UNZIPCMDSTRUCT&)> unzip_answer = [](UNZIPCMDSTRUCT&) { return 0; };

    void attach_zip() override {
        events.push_back("zip+");
        if (real_) linked_.attach_zip();
    }
    void detach_zip() override {
        events.push_back("zip-");
        if (real_) linked_.detach_zip();
    }
    void attach_unzip() override {
        events.push_back("unzip+");
        if (real_) linked_.attach_unzip();
    }
    void detach_unzip() override {
        events.push_back("unzip-");
        if (real_) linked_.detach_unzip();
    }
    int32_t zip_execute(ZIPCMDSTRUCT& r) override {
        zips.push_back({r, str(r.lpszZIPFile), str(r.lpszItemList), str(r.lpszEncryptCode), str(r.lpszDate)});
        int32_t result = real_ ? linked_.zip_execute(r) : zip_answer(r);
        events.push_back("zip=" + std::to_string(result));
        return result;
    }
    int32_t unzip_execute(UNZIPCMDSTRUCT& r) override {
        unzips.push_back({r, str(r.lpszZIPFile), str(r.lpszFilespec), str(r.lpszDestination), str(r.lpszDecryptCode)});
        int32_t result = real_ ? linked_.unzip_execute(r) : unzip_answer(r);
        events.push_back("unzip" + std::to_string(r.Function) + "=" + std::to_string(result));
        return result;
    }

  private:
    bool real_;
    LinkedArchiveEngine linked_;
};

std::string describe(const ZipCall& c) {
    const ZIPCMDSTRUCT& r = c.r;
    return "fn=" + std::to_string(r.Function) + " items=" + c.items + " recurse=" + std::to_string(r.recurseFlag) +
           " level=" + std::to_string(r.compFactor) + " nodirs=" + std::to_string(r.noDirectoryNamesFlag) +
           " sub=" + std::to_string(r.wZipSubOptions) + " encrypt=" + std::to_string(r.encryptFlag) + " key=" + c.key +
           " aes=" + std::to_string(r.lZipSubOptions2) + "/" + std::to_string(r.lSEInfo) +
           " after=" + std::to_string(r.afterDateFlag) + " date=" + c.date;
}

std::string describe(const UnzipCall& c) {
    const UNZIPCMDSTRUCT& r = c.r;
    return "fn=" + std::to_string(r.Function) + " files=" + c.files + " dest=" + c.dest +
           " recurse=" + std::to_string(r.recurseFlag) + " over=" + std::to_string(r.overWriteFlag) +
           " nodirs=" + std::to_string(r.noDirectoryNamesFlag) + " decrypt=" + std::to_string(r.decryptFlag) +
           " key=" + c.key;
}

// The fields every record of the command carries whatever the statement says.
void expect_zip_constants(const ZIPCMDSTRUCT& r) {
    EXPECT_EQ(r.size, static_cast<int32_t>(sizeof(ZIPCMDSTRUCT)));
    EXPECT_EQ(r.quietFlag, 1);
    EXPECT_EQ(r.dosifyFlag, 0);
    EXPECT_EQ(r.growExistingFlag, 0);
    EXPECT_EQ(r.lpMessageDisplay, nullptr);
    EXPECT_EQ(r.LargeZIPFilesFlag, 0);
    EXPECT_EQ(r.wMultiVolControl, 0);
}

void expect_unzip_constants(const UNZIPCMDSTRUCT& r) {
    EXPECT_EQ(r.size, static_cast<int32_t>(sizeof(UNZIPCMDSTRUCT)));
    EXPECT_EQ(r.index, -1);
    EXPECT_EQ(r.quietFlag, 1);
    EXPECT_EQ(r.noDirectoryItemsFlag, 1);
    EXPECT_EQ(r.freshenFlag, 0);
    EXPECT_EQ(r.updateFlag, 0);
    EXPECT_EQ(r.testFlag, 0);
}

// One statement parsed and executed with the given engine; the log holds only the messages.
class ArchiveRun : public CommandTestRun {
  public:
    void execute(const std::string& line, ArchiveEngine& engine) {
        set_statement(line);
        cmd.syntaxError = false;
        ParseCommand(run, cmd);
        ASSERT_FALSE(cmd.syntaxError) << line;
        ExecuteArchiveCommand(run, cmd, files, engine);
    }
    std::string messages() const { return strip_prefixes(read_file(log_path())); }
    // Replaces "@" with the temporary directory.
    std::string at(std::string text) const {
        for (size_t p = text.find('@'); p != std::string::npos; p = text.find('@', p + dir.path().size())) {
            text.replace(p, 1, dir.path());
        }
        return text;
    }
    ParsedCommand cmd;
    HostFileSystem files;
};

const std::string kBuiltIn = kBuiltInArchiveKey;

// 7-Zip's test of an archive with AES entries (Python's zipfile cannot decrypt them) and the
// entry names: "ok" or "failed", then the names sorted and separated by blanks. None on Windows.
std::optional<std::string> aes_view(const std::string& archive, const std::string& password) {
#ifdef _WIN32
    (void)archive;
    (void)password;
    return std::nullopt;
#else
    const bool ok = std::system(("7z t '-p" + password + "' '" + archive + "' >/dev/null 2>&1").c_str()) == 0;
    std::string command = "python3 -c 'import sys, zipfile\nprint(\" \".join(sorted(zipfile.ZipFile(sys.argv[1]).namelist())))' '" +
                          archive + "' 2>&1";
    std::FILE* p = popen(command.c_str(), "r");
    if (!p) return std::nullopt;
    std::string out = ok ? "ok\n" : "failed\n";
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, p)) out += buffer;
    pclose(p);
    return out;
#endif
}


TEST(ArchiveCommand, CompressRecords) {
    struct Case {
        std::string line, dk_key, record;
    } cases[] = {
        {"-rido a.zip -c x\\*.*", "",
         "fn=4 items=\"x\\*.*\" recurse=0 level=5 nodirs=1 sub=0 encrypt=0 key=(null) aes=0/0 after=0 date="},
        {"-rido a.zip -c x\\*.* -r -p", "",
         "fn=4 items=\"x\\*.*\" recurse=1 level=5 nodirs=0 sub=1 encrypt=0 key=(null) aes=0/0 after=0 date="},
        {"-rido a.zip -c x\\*.* -P -n", "",
         "fn=3 items=\"x\\*.*\" recurse=0 level=5 nodirs=0 sub=0 encrypt=0 key=(null) aes=0/0 after=0 date="},
        {"-rido a.zip -c 'my files\\*.txt' -e", "secret",
         "fn=4 items=\"my files\\*.txt\" recurse=0 level=5 nodirs=1 sub=0 encrypt=1 key=secret aes=4/3 after=0 "
         "date="},
        {"-rido a.zip -c x.txt -e", "",
         "fn=4 items=\"x.txt\" recurse=0 level=5 nodirs=1 sub=0 encrypt=1 key=" + kBuiltIn + " aes=4/3 after=0 date="},
        {"-rido a.zip -c x.txt -a 120309", "",
         "fn=4 items=\"x.txt\" recurse=0 level=5 nodirs=1 sub=0 encrypt=0 key=(null) aes=0/0 after=1 date=120309"},
    };
    for (const Case& c : cases) {
        ArchiveRun t;
        RecordingEngine engine(false);
        if (!c.dk_key.empty()) t.run.vars.set_variable("DkKey", c.dk_key);
        t.execute(c.line, engine);
        ASSERT_EQ(engine.zips.size(), 1u) << c.line;
        EXPECT_EQ(describe(engine.zips[0]), c.record) << c.line;
        EXPECT_EQ(engine.zips[0].zip, "a.zip");
        expect_zip_constants(engine.zips[0].r);
        // Without entry encryption the record carries no password pointer.
        if (!engine.zips[0].r.encryptFlag) {
            EXPECT_EQ(engine.zips[0].key, "(null)");
        }
        EXPECT_EQ(engine.events, (std::vector<std::string>{"zip+", "zip=0", "zip-"})) << c.line;
        EXPECT_EQ(t.messages(), "File(s) compressed.\n") << c.line;
    }
}

TEST(ArchiveCommand, CompressWithoutEncryptionHandsNoKey) {
    ArchiveRun t;
    RecordingEngine engine(false);
    t.execute("-rido a.zip -c x.txt", engine);
    ASSERT_EQ(engine.zips.size(), 1u);
    EXPECT_EQ(engine.zips[0].key, "(null)");
    EXPECT_EQ(engine.zips[0].r.lZipSubOptions2, 0);
}

TEST(ArchiveCommand, EngineFailureIsReportedWithTheOperationsMessage) {
    ArchiveRun t;
    RecordingEngine engine(false);
    engine.zip_answer = [](ZIPCMDSTRUCT&) { return 16; };
    engine.unzip_answer = [](UNZIPCMDSTRUCT&) { return 9; };
    t.execute("-rido a.zip -c x.txt -e", engine);
    t.execute("-rido a.zip -u dest", engine);
    t.execute("-rido a.zip -l " + t.dir.file("list.txt"), engine);
    EXPECT_EQ(t.messages(), "File(s) not compressed.\nFile(s) not decompressed.\nError listing archive files.\n");
    EXPECT_FALSE(std::filesystem::exists(t.dir.file("list.txt")));
    EXPECT_EQ(engine.events, (std::vector<std::string>{"zip+", "zip=16", "zip-", "unzip+", "unzip8=9", "unzip-",
                                                       "unzip+", "unzip1=9", "unzip-"}));
}

TEST(ArchiveCommand, EntryEncryptionWithTheRealEngine) {
    // The record asks for AES with a 256-bit key and the pass key; 7-Zip opens the entry with it.
    ArchiveRun t;
    RecordingEngine engine(true);
    write_file(t.dir.file("a.txt"), "entry text");
    t.execute(t.at("-rido @/e.zip -c @/a.txt -e"), engine);
    ASSERT_EQ(engine.zips.size(), 1u);
    EXPECT_EQ(engine.zips[0].r.lZipSubOptions2, 4);
    EXPECT_EQ(engine.zips[0].r.lSEInfo, 3);
    EXPECT_EQ(t.messages(), "File(s) compressed.\n");
    if (auto view = aes_view(t.dir.file("e.zip"), kBuiltIn)) {
        EXPECT_EQ(*view, "ok\na.txt\n");
    }
    if (auto view = aes_view(t.dir.file("e.zip"), "another key")) {
        EXPECT_NE(view->substr(0, 3), "ok\n");
    }
}

TEST(ArchiveCommand, ExtractRecords) {
    struct Case {
        std::string line, record;
    } cases[] = {
        {"-rido a.zip -u c:\\app -r -o", "fn=8 files=*.* dest=c:\\app recurse=1 over=1 nodirs=1 decrypt=0 key=(null)"},
        {"-rido a.zip -u c:\\app", "fn=8 files=*.* dest=c:\\app recurse=0 over=0 nodirs=1 decrypt=0 key=(null)"},
        {"-rido a.zip -u c:\\app -p -f 'a b.txt'",
         "fn=8 files=\"a b.txt\" dest=c:\\app recurse=0 over=0 nodirs=0 decrypt=0 key=(null)"},
        {"-rido a.zip -u c:\\app -d", "fn=8 files=*.* dest=c:\\app recurse=0 over=0 nodirs=1 decrypt=1 key=" + kBuiltIn},
    };
    for (const Case& c : cases) {
        ArchiveRun t;
        RecordingEngine engine(false);
        t.execute(c.line, engine);
        ASSERT_EQ(engine.unzips.size(), 1u) << c.line;
        EXPECT_EQ(describe(engine.unzips[0]), c.record) << c.line;
        EXPECT_EQ(engine.unzips[0].zip, "a.zip");
        expect_unzip_constants(engine.unzips[0].r);
        EXPECT_EQ(engine.events, (std::vector<std::string>{"unzip+", "unzip8=0", "unzip-"}));
        EXPECT_EQ(t.messages(), "File(s) decompressed.\n");
    }
    // The pass key comes from DkKey when it has a value.
    ArchiveRun t;
    RecordingEngine engine(false);
    t.run.vars.set_variable("DkKey", "k2");
    t.execute("-rido a.zip -u c:\\app -d", engine);
    ASSERT_EQ(engine.unzips.size(), 1u);
    EXPECT_EQ(engine.unzips[0].key, "k2");
}

// Answers the list functions for the given entry names.
void answer_listing(RecordingEngine& engine, std::vector<std::string> names) {
    auto next = std::make_shared<size_t>(0);
    engine.unzip_answer = [names, next](UNZIPCMDSTRUCT& r) -> int32_t {
        if (r.Function == UNZIP_COUNTALL) {
            r.returnCount = static_cast<int32_t>(names.size());
            *next = 0;
            return 0;
        }
        if (r.Function != UNZIP_GETNEXT || !r.pZipInfoEx || *next >= names.size()) return 2;
        std::snprintf(r.pZipInfoEx->szFileName, sizeof r.pZipInfoEx->szFileName, "%s", names[(*next)++].c_str());
        return 0;
    };
}

TEST(ArchiveCommand, ListWritesOneNameALine) {
    ArchiveRun t;
    RecordingEngine engine(false);
    answer_listing(engine, {"a.txt", "sub/b.txt", "sub/"});
    t.execute("-rido a.zip -l " + t.dir.file("list.txt") + " -d", engine);
    EXPECT_EQ(read_file(t.dir.file("list.txt")), "a.txt\r\nsub/b.txt\r\nsub/\r\n");
    EXPECT_EQ(t.messages(), "Archive files listed in output file.\n");
    EXPECT_EQ(engine.events,
              (std::vector<std::string>{"unzip+", "unzip1=0", "unzip2=0", "unzip2=0", "unzip2=0", "unzip-"}));
    for (const UnzipCall& c : engine.unzips) {
        expect_unzip_constants(c.r);
        EXPECT_EQ(c.zip, "a.zip");
        EXPECT_EQ(c.files, "(null)");
    }
}

TEST(ArchiveCommand, ListRetriesWithTheSizeItNeeds) {
    // 30 names of 100 characters need 30 * 101 + 1 bytes, more than the first 2048.
    std::vector<std::string> names;
    std::string expected;
    for (int i = 0; i < 30; ++i) {
        names.push_back(std::string(97, static_cast<char>('a' + i % 26)) + std::to_string(100 + i));
        expected += names.back() + "\r\n";
    }
    ArchiveRun t;
    RecordingEngine engine(false);
    answer_listing(engine, names);
    t.execute("-rido a.zip -l " + t.dir.file("list.txt"), engine);
    EXPECT_EQ(read_file(t.dir.file("list.txt")), expected);
    EXPECT_EQ(t.messages(), "Archive files listed in output file.\n");
    size_t counts = 0;
    for (const UnzipCall& c : engine.unzips) counts += c.r.Function == UNZIP_COUNTALL;
    EXPECT_EQ(counts, 2u);
    EXPECT_EQ(engine.unzips.size(), 62u);

    // ListArchive itself: the size it needs, also when the buffer is too small.
    std::vector<char> small(100);
    size_t needed = 0;
    EXPECT_FALSE(ListArchive(engine, "a.zip", "", small.data(), small.size(), needed));
    EXPECT_EQ(needed, 30u * 101u + 1u);
    std::vector<char> exact(needed, 'x');
    EXPECT_TRUE(ListArchive(engine, "a.zip", "", exact.data(), exact.size(), needed));
    EXPECT_EQ(exact.back(), '\0');
    EXPECT_EQ(std::string(exact.data()), names[0]);
}

TEST(ArchiveCommand, ListOfAnEmptyArchiveGivesAnEmptyFile) {
    ArchiveRun t;
    RecordingEngine engine(false);
    answer_listing(engine, {});
    write_file(t.dir.file("list.txt"), "old content");
    t.execute("-rido a.zip -l " + t.dir.file("list.txt"), engine);
    EXPECT_EQ(read_file(t.dir.file("list.txt")), "");
    EXPECT_EQ(t.messages(), "Archive files listed in output file.\n");
}

TEST(ArchiveCommand, ListIntoAFileThatCannotBeCreated) {
    ArchiveRun t;
    RecordingEngine engine(false);
    answer_listing(engine, {"a.txt"});
    t.execute("-rido a.zip -l " + t.dir.file("no-such-dir/list.txt"), engine);
    EXPECT_EQ(t.messages(), "Error creating output file.\n");
    EXPECT_EQ(engine.events.back(), "unzip-");
}

TEST(ArchiveCommand, ListIntoAFullDevice) {
    // /dev/full accepts the file being opened and refuses every byte written to it.
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    ArchiveRun t;
    RecordingEngine engine(false);
    answer_listing(engine, {"a.txt"});
    t.execute("-rido a.zip -l /dev/full", engine);
    EXPECT_EQ(t.messages(), "Error writing to output file.\n");
}

TEST(ArchiveCommand, GetNextFailureFailsTheListing) {
    ArchiveRun t;
    RecordingEngine engine(false);
    engine.unzip_answer = [](UNZIPCMDSTRUCT& r) -> int32_t {
        if (r.Function == UNZIP_COUNTALL) r.returnCount = 3;
        return r.Function == UNZIP_COUNTALL ? 0 : 3;
    };
    t.execute("-rido a.zip -l " + t.dir.file("list.txt"), engine);
    EXPECT_EQ(t.messages(), "Error listing archive files.\n");
    EXPECT_FALSE(std::filesystem::exists(t.dir.file("list.txt")));
}

TEST(ArchiveCommand, UnknownOperationLetterDoesNothing) {
    for (const char* first : {"-rido a.zip -c x.txt", "-rido a.zip -u dest", "-rido a.zip -l @/out.txt"}) {
        ArchiveRun t;
        RecordingEngine engine(false);
        t.execute(t.at(first), engine);
        engine.events.clear();
        const std::string before = t.messages();
        // The parser keeps the previous operation for an unknown letter.
        t.execute("-rido a.zip -x in.sdf out.sdf", engine);
        t.execute("-rido a.zip", engine);
        EXPECT_TRUE(engine.events.empty()) << first;
        EXPECT_EQ(t.messages(), before) << first;
    }
}

TEST(ArchiveCommand, ListFileRunsOneCompressionPerLine) {
    ArchiveRun t;
    RecordingEngine engine(false);
    write_file(t.dir.file("files.lst"), "a\\*.txt\r\nb c.doc\nd.ini\r\re.bin");
    t.execute("-rido a.zip -c @" + t.dir.file("files.lst") + " -r", engine);
    ASSERT_EQ(engine.zips.size(), 4u);
    const char* items[] = {"a\\*.txt", "b c.doc", "d.ini", "e.bin"};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(engine.zips[i].items, items[i]);
        EXPECT_EQ(engine.zips[i].r.recurseFlag, 1);
        expect_zip_constants(engine.zips[i].r);
    }
    EXPECT_EQ(engine.events.front(), "zip+");
    EXPECT_EQ(engine.events.back(), "zip-");
    EXPECT_EQ(t.messages(), "File(s) compressed.\n");
}

TEST(ArchiveCommand, ListFileStopsAtTheFirstFailure) {
    ArchiveRun t;
    RecordingEngine engine(false);
    write_file(t.dir.file("files.lst"), "one\r\ntwo\r\nthree\r\n");
    engine.zip_answer = [](ZIPCMDSTRUCT& r) { return std::string(r.lpszItemList) == "two" ? 18 : 0; };
    t.execute("-rido a.zip -c @" + t.dir.file("files.lst"), engine);
    EXPECT_EQ(engine.zips.size(), 2u);
    EXPECT_EQ(t.messages(), "File(s) not compressed.\n");
}

TEST(ArchiveCommand, MissingListFileIsCreatedEmpty) {
    ArchiveRun t;
    RecordingEngine engine(false);
    t.execute("-rido a.zip -c @" + t.dir.file("new.lst"), engine);
    EXPECT_TRUE(engine.zips.empty());
    EXPECT_TRUE(std::filesystem::exists(t.dir.file("new.lst")));
    EXPECT_EQ(read_file(t.dir.file("new.lst")), "");
}

TEST(ArchiveCommand, LongListLinesAreReadInPieces) {
    ArchiveRun t;
    RecordingEngine engine(false);
    write_file(t.dir.file("files.lst"), std::string(300, 'x') + "\r\n");
    t.execute("-rido a.zip -c @" + t.dir.file("files.lst"), engine);
    ASSERT_EQ(engine.zips.size(), 2u);
    EXPECT_EQ(engine.zips[0].items, std::string(259, 'x'));
    EXPECT_EQ(engine.zips[1].items, std::string(41, 'x'));
}

// ---- With the real engine on real files ----

namespace fs = std::filesystem;

void make_tree(const std::string& root) {
    fs::create_directories(root + "/sub/deeper");
    write_file(root + "/a.txt", "alpha\r\n");
    write_file(root + "/sub/b.bin", std::string("\0\1\2\3binary", 10) + std::string(5000, 'z'));
    write_file(root + "/sub/deeper/c.txt", "");
}

// Python's zipfile's view of an archive: "ok" or the first bad entry, then the sorted names.
// Encrypted entries are read with `password`.
std::optional<std::string> python_view(const std::string& archive, const std::string& password = "") {
#ifdef _WIN32
    (void)archive;
    (void)password;
    return std::nullopt;
#else
    std::string command =
        "python3 -c 'import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1])\n"
        "z.setpassword(sys.argv[2].encode())\nbad = z.testzip()\n"
        "print(\"ok\" if bad is None else bad)\nprint(\" \".join(sorted(z.namelist())))' '" +
        archive + "' '" + password + "' 2>&1";
    std::FILE* p = popen(command.c_str(), "r");
    if (!p) return std::nullopt;
    std::string out;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, p)) out += buffer;
    pclose(p);
    return out;
#endif
}

// Runs a test body with the current directory set to `dir` (relative path information is taken
// relative to it).
class CurrentDirectory {
  public:
    explicit CurrentDirectory(const std::string& dir) : saved_(fs::current_path()) { fs::current_path(dir); }
    ~CurrentDirectory() { fs::current_path(saved_); }

  private:
    fs::path saved_;
};

TEST(ArchiveCommandReal, CompressListExtractRoundTrip) {
    ArchiveRun t;
    make_tree(t.dir.file("src"));
    RecordingEngine engine(true);
    {
        CurrentDirectory here(t.dir.path());
        t.execute(t.at("-rido @/out.zip -c @/src/*.* -r -p"), engine);
    }
    if (auto view = python_view(t.dir.file("out.zip"))) {
        EXPECT_EQ(*view, "ok\nsrc/a.txt src/sub/b.bin src/sub/deeper/c.txt\n");
    }
    t.execute(t.at("-rido @/out.zip -l @/list.txt"), engine);
    std::string listed = read_file(t.dir.file("list.txt"));
    for (const char* name : {"src/a.txt\r\n", "src/sub/b.bin\r\n", "src/sub/deeper/c.txt\r\n"}) {
        EXPECT_NE(listed.find(name), std::string::npos) << name;
    }
    // Extracting with paths restores the tree; without them the files land side by side.
    fs::create_directories(t.dir.file("dest/src"));
    write_file(t.dir.file("dest/src/a.txt"), "stale");
    t.execute(t.at("-rido @/out.zip -u @/dest -r -o -p"), engine);
    t.execute(t.at("-rido @/out.zip -u @/flat -r"), engine);
    EXPECT_EQ(t.messages(),
              "File(s) compressed.\nArchive files listed in output file.\nFile(s) decompressed.\n"
              "File(s) decompressed.\n");
    for (const char* name : {"a.txt", "sub/b.bin", "sub/deeper/c.txt"}) {
        EXPECT_EQ(read_file(t.dir.file(std::string("dest/src/") + name)),
                  read_file(t.dir.file(std::string("src/") + name)))
            << name;
    }
    EXPECT_EQ(read_file(t.dir.file("flat/b.bin")), read_file(t.dir.file("src/sub/b.bin")));
    EXPECT_TRUE(fs::exists(t.dir.file("flat/c.txt")));
    EXPECT_FALSE(fs::exists(t.dir.file("flat/sub")));
    // Every operation was bracketed by its side's attach and detach.
    EXPECT_EQ(engine.events.front(), "zip+");
    EXPECT_EQ(engine.events[2], "zip-");
    EXPECT_EQ(engine.events.back(), "unzip-");
}

TEST(ArchiveCommandReal, ExtractWithoutOverwriteKeepsExistingFiles) {
    ArchiveRun t;
    make_tree(t.dir.file("src"));
    RecordingEngine engine(true);
    t.execute(t.at("-rido @/out.zip -c @/src/a.txt"), engine);
    fs::create_directories(t.dir.file("dest"));
    write_file(t.dir.file("dest/a.txt"), "kept");
    t.execute(t.at("-rido @/out.zip -u @/dest"), engine);
    EXPECT_EQ(read_file(t.dir.file("dest/a.txt")), "kept");
    t.execute(t.at("-rido @/out.zip -u @/dest -o"), engine);
    EXPECT_EQ(read_file(t.dir.file("dest/a.txt")), "alpha\r\n");
}

TEST(ArchiveCommandReal, ListFileCompressesEachLine) {
    ArchiveRun t;
    make_tree(t.dir.file("src"));
    write_file(t.dir.file("files.lst"), t.at("@/src/a.txt\r\n@/src/sub/*.bin\r\n"));
    RecordingEngine engine(true);
    t.execute(t.at("-rido @/out.zip -c ") + "@" + t.dir.file("files.lst"), engine);
    EXPECT_EQ(t.messages(), "File(s) compressed.\n");
    EXPECT_EQ(engine.zips.size(), 2u);
    if (auto view = python_view(t.dir.file("out.zip"))) {
        EXPECT_EQ(*view, "ok\na.txt b.bin\n");
    }
}

TEST(ArchiveCommandReal, MissingArchiveFailsExtractAndList) {
    ArchiveRun t;
    RecordingEngine engine(true);
    t.execute(t.at("-rido @/none.zip -u @/dest"), engine);
    t.execute(t.at("-rido @/none.zip -l @/list.txt"), engine);
    t.execute(t.at("-rido @/none.zip -u @/dest -D"), engine);
    t.execute(t.at("-rido @/none.zip -l @/list.txt -D"), engine);
    EXPECT_EQ(t.messages(),
              "File(s) not decompressed.\nError listing archive files.\nFile(s) not decompressed.\n"
              "Error listing archive files.\n");
    EXPECT_FALSE(fs::exists(t.dir.file("list.txt")));
    EXPECT_FALSE(fs::exists(t.dir.file("none.zip.dk@")));
}

TEST(ArchiveCommandReal, ContainerRoundTripAndSecondCompression) {
    ArchiveRun t;
    make_tree(t.dir.file("src"));
    RecordingEngine engine(true);
    const std::string container = t.dir.file("app.zip");
    t.execute(t.at("-rido @/app.zip -c @/src/a.txt -E"), engine);
    // The container is no ZIP archive; decrypted with the built-in key it is one.
    const std::string bytes = read_file(container);
    ASSERT_GE(bytes.size(), 8u);
    EXPECT_EQ(bytes.size() % 8, 0u);
    EXPECT_NE(bytes.substr(0, 2), "PK");
    EXPECT_NE(bytes.find("alpha"), 0u);
    if (auto view = python_view(container)) {
        EXPECT_NE(view->substr(0, 3), "ok\n");
    }
    ASSERT_TRUE(DecryptFile(kBuiltInArchiveKey, container, t.dir.file("plain.zip")));
    if (auto view = aes_view(t.dir.file("plain.zip"), kBuiltIn)) {
        EXPECT_EQ(*view, "ok\na.txt\n");
    }

    // A second compression adds to the container's content.
    t.execute(t.at("-rido @/app.zip -c @/src/sub/b.bin -E"), engine);
    EXPECT_FALSE(fs::exists(t.dir.file("app.zip.dk@")));
    ASSERT_TRUE(DecryptFile(kBuiltInArchiveKey, container, t.dir.file("plain2.zip")));
    if (auto view = aes_view(t.dir.file("plain2.zip"), kBuiltIn)) {
        EXPECT_EQ(*view, "ok\na.txt b.bin\n");
    }

    t.execute(t.at("-rido @/app.zip -l @/list.txt -D"), engine);
    t.execute(t.at("-rido @/app.zip -u @/dest -D"), engine);
    EXPECT_EQ(read_file(t.dir.file("list.txt")), "a.txt\r\nb.bin\r\n");
    EXPECT_EQ(read_file(t.dir.file("dest/a.txt")), "alpha\r\n");
    EXPECT_EQ(read_file(t.dir.file("dest/b.bin")), read_file(t.dir.file("src/sub/b.bin")));
    EXPECT_FALSE(fs::exists(t.dir.file("app.zip.dk@")));

    // A plain archive under the name is taken as the content and becomes a container.
    t.execute(t.at("-rido @/clear.zip -c @/src/a.txt"), engine);
    t.execute(t.at("-rido @/clear.zip -c @/src/sub/b.bin -E"), engine);
    ASSERT_TRUE(DecryptFile(kBuiltInArchiveKey, t.dir.file("clear.zip"), t.dir.file("plain3.zip")));
    if (auto view = aes_view(t.dir.file("plain3.zip"), kBuiltIn)) {
        EXPECT_EQ(*view, "ok\na.txt b.bin\n");
    }
    EXPECT_FALSE(fs::exists(t.dir.file("clear.zip.dk@")));
    EXPECT_EQ(t.messages(),
              "File(s) compressed.\nFile(s) compressed.\nArchive files listed in output file.\n"
              "File(s) decompressed.\nFile(s) compressed.\nFile(s) compressed.\n");
}

TEST(ArchiveCommandReal, ContainerWithAnotherKeyIsRejected) {
    ArchiveRun t;
    make_tree(t.dir.file("src"));
    RecordingEngine engine(true);
    t.execute(t.at("-rido @/app.zip -c @/src/a.txt"), engine);
    HostFileSystem files;
    ASSERT_TRUE(EncryptFileInPlace("another key", t.dir.file("app.zip"), files));
    const std::string before = read_file(t.dir.file("app.zip"));
    t.execute(t.at("-rido @/app.zip -u @/dest -D"), engine);
    t.execute(t.at("-rido @/app.zip -l @/list.txt -D"), engine);
    t.execute(t.at("-rido @/app.zip -c @/src/sub/b.bin -E"), engine);
    EXPECT_EQ(t.messages(),
              "File(s) compressed.\nFile(s) not decompressed.\nError listing archive files.\n"
              "File(s) not compressed.\n");
    EXPECT_FALSE(fs::exists(t.dir.file("app.zip.dk@")));
    EXPECT_FALSE(fs::exists(t.dir.file("dest/a.txt")));
    EXPECT_EQ(read_file(t.dir.file("app.zip")), before);
}

// A wrong key now and then decrypts to valid padding; what comes out is then no archive, and it is
// treated like any other undecryptable container.
TEST(ArchiveCommandReal, ContainerThatDecryptsToNoArchiveIsRejected) {
    ArchiveRun t;
    make_tree(t.dir.file("src"));
    RecordingEngine engine(true);
    write_file(t.dir.file("app.zip"), "this is not an archive, but its padding is fine");
    HostFileSystem files;
    ASSERT_TRUE(EncryptFileInPlace(kBuiltInArchiveKey, t.dir.file("app.zip"), files));
    const std::string before = read_file(t.dir.file("app.zip"));
    t.execute(t.at("-rido @/app.zip -c @/src/sub/b.bin -E"), engine);
    EXPECT_FALSE(fs::exists(t.dir.file("app.zip.dk@")));
    t.execute(t.at("-rido @/app.zip -u @/dest -D"), engine);
    EXPECT_FALSE(fs::exists(t.dir.file("app.zip.dk@")));
    EXPECT_EQ(t.messages(), "File(s) not compressed.\nFile(s) not decompressed.\n");
    EXPECT_EQ(read_file(t.dir.file("app.zip")), before);

    // An empty archive (only its end record) is still an archive.
    write_file(t.dir.file("empty.zip"), std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    ASSERT_TRUE(EncryptFileInPlace(kBuiltInArchiveKey, t.dir.file("empty.zip"), files));
    t.execute(t.at("-rido @/empty.zip -c @/src/a.txt -E"), engine);
    EXPECT_FALSE(fs::exists(t.dir.file("empty.zip.dk@")));
    ASSERT_TRUE(DecryptFile(kBuiltInArchiveKey, t.dir.file("empty.zip"), t.dir.file("plain.zip")));
    if (auto view = aes_view(t.dir.file("plain.zip"), kBuiltIn)) {
        EXPECT_EQ(*view, "ok\na.txt\n");
    }
}

TEST(ArchiveCommandReal, FailedContainerCompressionKeepsTheWorkingCopy) {
    ArchiveRun t;
    make_tree(t.dir.file("src"));
    RecordingEngine engine(true);
    t.execute(t.at("-rido @/app.zip -c @/src/a.txt -E"), engine);
    const std::string before = read_file(t.dir.file("app.zip"));
    t.execute(t.at("-rido @/app.zip -c @/src/missing.txt -E"), engine);
    EXPECT_EQ(t.messages(), "File(s) compressed.\nFile(s) not compressed.\n");
    // The engine only ever works on the plain working copy, never on the container's name.
    ASSERT_EQ(engine.zips.size(), 2u);
    EXPECT_EQ(engine.zips[0].zip, t.dir.file("app.zip.dk@"));
    EXPECT_EQ(engine.zips[1].zip, t.dir.file("app.zip.dk@"));
    EXPECT_EQ(read_file(t.dir.file("app.zip")), before);
    ASSERT_TRUE(fs::exists(t.dir.file("app.zip.dk@")));
    if (auto view = aes_view(t.dir.file("app.zip.dk@"), kBuiltIn)) {
        EXPECT_EQ(*view, "ok\na.txt\n");
    }
}

// The files of a folder, sorted.
std::vector<std::string> folder(const std::string& path) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(path)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A container compression that fails after the engine succeeded (the new container cannot be
// written, or cannot take the old one's place) leaves the container as it was and nothing beside it;
// a first compression that fails leaves no plain archive under the container's name.
TEST(ArchiveCommandReal, ContainerCompressionThatCannotFinishLeavesTheContainer) {
    struct FailingReplace : HostFileSystem {
        bool replace(const std::string&, const std::string&) override { return false; }
    };
    ArchiveRun t;
    make_tree(t.dir.file("src"));
    fs::create_directories(t.dir.file("box"));
    RecordingEngine engine(true);
    t.execute(t.at("-rido @/box/app.zip -c @/src/a.txt -E"), engine);
    const std::string before = read_file(t.dir.file("box/app.zip"));

    FailingReplace failing;
    t.cmd = ParsedCommand();
    t.set_statement(t.at("-rido @/box/app.zip -c @/src/sub/b.bin -E"));
    ParseCommand(t.run, t.cmd);
    ExecuteArchiveCommand(t.run, t.cmd, failing, engine);
    EXPECT_EQ(read_file(t.dir.file("box/app.zip")), before);
    EXPECT_EQ(folder(t.dir.file("box")), std::vector<std::string>{"app.zip"});

    // The temporary container cannot be created: a folder stands in its name.
    fs::create_directories(t.dir.file("box/app.zip.dk~/x"));
    t.execute(t.at("-rido @/box/app.zip -c @/src/sub/b.bin -E"), engine);
    EXPECT_EQ(read_file(t.dir.file("box/app.zip")), before);
    EXPECT_EQ(folder(t.dir.file("box")), (std::vector<std::string>{"app.zip", "app.zip.dk~"}));
    fs::remove_all(t.dir.file("box/app.zip.dk~"));

    // No container yet: the plain archive never appears under the container's name.
    fs::create_directories(t.dir.file("first"));
    t.cmd = ParsedCommand();
    t.set_statement(t.at("-rido @/first/app.zip -c @/src/a.txt -E"));
    ParseCommand(t.run, t.cmd);
    ExecuteArchiveCommand(t.run, t.cmd, failing, engine);
    t.execute(t.at("-rido @/first/app.zip -c @/src/missing.txt -E"), engine);
    EXPECT_TRUE(folder(t.dir.file("first")).empty());
    EXPECT_EQ(t.messages(),
              "File(s) compressed.\nFile(s) not compressed.\nFile(s) not compressed.\nFile(s) not compressed.\n"
              "File(s) not compressed.\n");
}

// The pass key reaches the engine whole or not at all: entry encryption takes at most 65 characters,
// decryption 128, the key object 255; a longer key fails the operation with the engine's password
// result instead of being cut.
TEST(ArchiveCommandReal, PassKeyIsUsedWholeOrRefused) {
    ArchiveRun t;
    make_tree(t.dir.file("src"));
    RecordingEngine engine(true);
    std::string letters;
    for (int i = 0; i < 300; ++i) letters += static_cast<char>('A' + i % 26);
    struct Case {
        size_t length;
        bool compresses;
    };
    const Case cases[] = {{65, true}, {66, false}, {70, false}, {129, false}};
    t.run.vars.set_variable("DkKey", letters.substr(0, 65));
    t.execute(t.at("-rido @/k65.zip -c @/src/a.txt -e"), engine);
    ASSERT_EQ(t.messages(), "File(s) compressed.\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        const std::string key = letters.substr(0, c.length);
        t.run.vars.set_variable("DkKey", key);
        const std::string name = "k" + std::to_string(c.length);
        const size_t zips = engine.zips.size(), unzips = engine.unzips.size();
        t.execute(t.at("-rido @/" + name + ".zip -c @/src/a.txt -e"), engine);
        // Extraction of the archive made with the first 65 characters, with this key.
        t.execute(t.at("-rido @/k65.zip -u @/" + name + " -d -o"), engine);
        // The engine saw the whole key, and answered with its password results when it was too long.
        ASSERT_EQ(engine.zips.size(), zips + 1);
        EXPECT_EQ(engine.zips.back().key, key);
        EXPECT_EQ(engine.events[engine.events.size() - 5], c.compresses ? "zip=0" : "zip=16");
        EXPECT_EQ(fs::exists(t.dir.file(name + ".zip")), c.compresses);
        ASSERT_EQ(engine.unzips.size(), unzips + 1);
        EXPECT_EQ(engine.unzips.back().key, key);
        EXPECT_EQ(fs::exists(t.dir.file(name + "/a.txt")), c.length == 65);
    }
    // A key longer than the key object holds is not cut either: the engine gets none and refuses.
    t.run.vars.set_variable("DkKey", letters.substr(0, 256));
    t.execute(t.at("-rido @/k256.zip -c @/src/a.txt -e"), engine);
    EXPECT_EQ(engine.zips.back().key, "");
    EXPECT_EQ(engine.events[engine.events.size() - 2], "zip=16");
    EXPECT_EQ(t.messages(),
              "File(s) compressed.\n"
              "File(s) compressed.\nFile(s) decompressed.\n"
              "File(s) not compressed.\nFile(s) not decompressed.\n"
              "File(s) not compressed.\nFile(s) not decompressed.\n"
              "File(s) not compressed.\nFile(s) not decompressed.\n"
              "File(s) not compressed.\n");
}

TEST(ArchiveCommandReal, RunsThroughTheCommandRunner) {
    CommandTestRun t;
    write_file(t.dir.file("a.txt"), "via the runner");
    HostFileSystem files;
    FakeRegistry registry;
    const std::string line1 = "-rido " + t.dir.file("r.zip") + " -c " + t.dir.file("a.txt");
    const std::string line2 = "-rido " + t.dir.file("r.zip") + " -u " + t.dir.file("out");
    const std::string line3 = "-rido " + t.dir.file("r.zip") + " -x whatever";
    std::string log = run_commands(t, line1 + "\r\n" + line2 + "\r\n" + line3, {files, registry});
    EXPECT_EQ(log, line1 + ", File(s) compressed.\n" + line2 + ", File(s) decompressed.\n" + line3 + ", ");
    EXPECT_EQ(read_file(t.dir.file("out/a.txt")), "via the runner");
}

}  // namespace

}  // namespace dravik::test
