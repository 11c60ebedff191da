// The zip and unzip functions through their command records, on files in a temporary folder:
// adding with and without paths, update, freshen, delete, listing, extraction options,
// questions, passwords, hostile names and damaged archives.
#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include "archive_test_util.h"
#include "host.h"
#include "pkcrypt.h"
#include "zip_builder.h"
#include "zip_reader.h"

namespace dravik::archive {
namespace {
using namespace test;

class Commands : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        src_ = dir_ / "src";
        make_dir(src_);
        make_dir(src_ + "/sub");
        make_dir(src_ + "/sub/deeper");
        write_file(src_ + "/readme.txt", "Read me first.\n");
        write_file(src_ + "/sub/data.bin", std::string("\x00\x01\x02\xff", 4) + std::string(3000, 'q'));
        write_file(src_ + "/sub/deeper/notes.txt", "Deeper notes, deeper notes, deeper notes.\n");
        write_file(src_ + "/with blank.txt", "blank in the name");
        archive_ = dir_ / "out.zip";
    }
    std::string dest(const std::string& name) {
        std::string d = dir_ / name;
        make_dir(d);
        return d;
    }
    TempDir dir_;
    std::string src_, archive_;
};

TEST_F(Commands, AddRelativeToCurrentDirectoryAndExtract) {
    char old[4096];
    ASSERT_TRUE(getcwd(old, sizeof old));
    ASSERT_EQ(chdir(src_.c_str()), 0);
    ZIPCMDSTRUCT z = zip_record(ZIP_ADD, archive_, src_ + "/*.txt " + src_ + "/sub");
    z.wZipSubOptions = 1;
    int rc = ZipExecute(&z);
    ASSERT_EQ(chdir(old), 0);
    ASSERT_EQ(rc, 0) << ZipLastMessage();
    auto names = list_names(archive_);
    std::set<std::string> got(names.begin(), names.end());
    EXPECT_EQ(got, (std::set<std::string>{"readme.txt", "with blank.txt", "sub/", "sub/data.bin", "sub/deeper/", "sub/deeper/notes.txt"}));
    std::string out = dest("x");
    ASSERT_EQ(extract_all(archive_, out), 0) << UnzipLastMessage();
    EXPECT_EQ(read_file(out + "/sub/deeper/notes.txt"), read_file(src_ + "/sub/deeper/notes.txt"));
    EXPECT_EQ(read_file(out + "/sub/data.bin"), read_file(src_ + "/sub/data.bin"));
    EXPECT_EQ(read_file(out + "/with blank.txt"), "blank in the name");
}

TEST_F(Commands, NoDirectoryNamesAndQuotedNames) {
    ZIPCMDSTRUCT z = zip_record(ZIP_ADD, archive_, "\"" + src_ + "/with blank.txt\" " + src_ + "/sub/deeper/notes.txt");
    z.noDirectoryNamesFlag = 1;
    z.recurseFlag = 0;
    ASSERT_EQ(ZipExecute(&z), 0) << ZipLastMessage();
    EXPECT_EQ(list_names(archive_), (std::vector<std::string>{"with blank.txt", "notes.txt"}));
}

TEST_F(Commands, AbsoluteNamesLoseTheirRoot) {
    ZIPCMDSTRUCT z = zip_record(ZIP_ADD, archive_, src_ + "/readme.txt");
    ASSERT_EQ(ZipExecute(&z), 0);
    auto names = list_names(archive_);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ("/" + names[0], src_ + "/readme.txt");
}

TEST_F(Commands, ReplaceUpdateFreshenDelete) {
    ZIPCMDSTRUCT z = zip_record(ZIP_ADD, archive_, src_ + "/readme.txt");
    z.noDirectoryNamesFlag = 1;
    ASSERT_EQ(ZipExecute(&z), 0);
    // Same name again: replaced, not repeated.
    write_file(src_ + "/readme.txt", "Second version.\n");
    ASSERT_EQ(ZipExecute(&z), 0);
    EXPECT_EQ(list_names(archive_), (std::vector<std::string>{"readme.txt"}));
    std::string out = dest("x");
    ASSERT_EQ(extract_all(archive_, out), 0);
    EXPECT_EQ(read_file(out + "/readme.txt"), "Second version.\n");

    // Freshen adds nothing new.
    ZIPCMDSTRUCT f = zip_record(ZIP_FRESHEN, archive_, src_ + "/readme.txt \"" + src_ + "/with blank.txt\"");
    f.noDirectoryNamesFlag = 1;
    ASSERT_EQ(ZipExecute(&f), 0);
    EXPECT_EQ(list_names(archive_).size(), 1u);
    // Update adds what is new.
    ZIPCMDSTRUCT u = zip_record(ZIP_UPDATE, archive_, "\"" + src_ + "/with blank.txt\"");
    u.noDirectoryNamesFlag = 1;
    ASSERT_EQ(ZipExecute(&u), 0);
    EXPECT_EQ(list_names(archive_).size(), 2u);
    // Delete by pattern.
    ZIPCMDSTRUCT d = zip_record(ZIP_DELETE, archive_, "read*");
    d.recurseFlag = 0;
    ASSERT_EQ(ZipExecute(&d), 0) << ZipLastMessage();
    EXPECT_EQ(list_names(archive_), (std::vector<std::string>{"with blank.txt"}));
    d.lpszItemList = "nothing-like-this";
    EXPECT_EQ(ZipExecute(&d), 12);
    // Freshen and delete need an archive.
    ZIPCMDSTRUCT m = zip_record(ZIP_DELETE, dir_ / "missing.zip", "x");
    m.recurseFlag = 0;
    EXPECT_EQ(ZipExecute(&m), 13);
}

TEST_F(Commands, AfterDateSelectsNewerFiles) {
    ZIPCMDSTRUCT z = zip_record(ZIP_ADD, archive_, src_ + "/readme.txt");
    z.afterDateFlag = 1;
    z.lpszDate = "010179";  // 2079: nothing is that new
    EXPECT_EQ(ZipExecute(&z), 12);
    z.lpszDate = "010181";
    EXPECT_EQ(ZipExecute(&z), 0);
}

TEST_F(Commands, FailedCommandLeavesArchiveAsItWas) {
    ZIPCMDSTRUCT z = zip_record(ZIP_ADD, archive_, src_ + "/readme.txt");
    ASSERT_EQ(ZipExecute(&z), 0);
    std::string before = read_file(archive_);
    // The same stored name twice in one command.
    ZIPCMDSTRUCT twice = zip_record(ZIP_ADD, archive_, src_ + "/readme.txt " + src_ + "/sub/../readme.txt");
    twice.noDirectoryNamesFlag = 1;
    EXPECT_EQ(ZipExecute(&twice), 16);
    // A file that cannot be read.
    write_file(src_ + "/locked.txt", "x");
    chmod((src_ + "/locked.txt").c_str(), 0);
    if (access((src_ + "/locked.txt").c_str(), R_OK) != 0) {
        ZIPCMDSTRUCT locked = zip_record(ZIP_ADD, archive_, src_ + "/locked.txt");
        EXPECT_EQ(ZipExecute(&locked), 18);
    }
    EXPECT_EQ(read_file(archive_), before);
    // No temporary files left beside the archive.
    for (const auto& n : {std::string("out.zip")}) EXPECT_TRUE(exists(dir_ / n));
    EXPECT_EQ(run(dir_.path(), "ls | grep -q '^zi.*tmp$'"), 1);
}

TEST_F(Commands, TemporaryArchiveOnAnotherFileSystemReplacesTheOldOne) {
    // The new archive is written in the temporary folder and must take the old one's place even
    // where a rename cannot cross to the archive's file system.
    struct stat shm {}, here {};
    if (stat("/dev/shm", &shm) != 0 || stat(dir_.path().c_str(), &here) != 0 || shm.st_dev == here.st_dev)
        GTEST_SKIP() << "no second file system for the temporary archive";
    TempDir elsewhere_root;  // only for a unique name
    std::string elsewhere = "/dev/shm/" + elsewhere_root.path().substr(elsewhere_root.path().find_last_of('/') + 1);
    make_dir(elsewhere);
    ZIPCMDSTRUCT first = zip_record(ZIP_ADD, archive_, src_ + "/readme.txt");
    first.noDirectoryNamesFlag = 1;
    ASSERT_EQ(ZipExecute(&first), 0) << ZipLastMessage();
    ZIPCMDSTRUCT second = zip_record(ZIP_ADD, archive_, "\"" + src_ + "/with blank.txt\"");
    second.noDirectoryNamesFlag = 1;
    second.pathForTempFlag = 1;
    second.lpszTempPath = elsewhere.c_str();
    EXPECT_EQ(ZipExecute(&second), 0) << ZipLastMessage();
    EXPECT_EQ(list_names(archive_), (std::vector<std::string>{"readme.txt", "with blank.txt"}));
    EXPECT_EQ(run(elsewhere, "ls | grep -q ."), 1) << "temporary archive left behind";
    EXPECT_EQ(run(dir_.path(), "ls | grep -q dkmove"), 1) << "copy left beside the archive";
    std::system(("rm -rf '" + elsewhere + "'").c_str());
}

TEST_F(Commands, OldAsLatestGivesTheArchiveItsNewestEntrysTime) {
    // 2019-05-17 10:20:30 and 2021-03-04 05:06:08 as local DOS times.
    const uint32_t older = (uint32_t((2019 - 1980) << 9 | 5 << 5 | 17) << 16) | (10 << 11 | 20 << 5 | 15);
    const uint32_t newer = (uint32_t((2021 - 1980) << 9 | 3 << 5 | 4) << 16) | (5 << 11 | 6 << 5 | 4);
    ASSERT_TRUE(host().set_file_time(src_ + "/readme.txt", older));
    ASSERT_TRUE(host().set_file_time(src_ + "/with blank.txt", newer));
    ZIPCMDSTRUCT z = zip_record(ZIP_ADD, archive_, src_ + "/readme.txt \"" + src_ + "/with blank.txt\"");
    z.noDirectoryNamesFlag = 1;
    z.oldAsLatestFlag = 1;
    ASSERT_EQ(ZipExecute(&z), 0) << ZipLastMessage();
    EXPECT_EQ(host().stat(archive_).dos_datetime, newer);
    // Deleting every entry leaves an empty archive, which has no newest entry to take the time of.
    ZIPCMDSTRUCT d = zip_record(ZIP_DELETE, archive_, "*");
    d.recurseFlag = 0;
    d.oldAsLatestFlag = 1;
    EXPECT_EQ(ZipExecute(&d), 13);
    EXPECT_NE(std::string(ZipLastMessage()).find("zip file is empty, can't make it as old as latest entry"),
              std::string::npos);
}

TEST_F(Commands, EncryptedRoundTripAndWrongPassword) {
    ZIPCMDSTRUCT z = zip_record(ZIP_ADD, archive_, src_ + "/sub");
    z.encryptFlag = 1;
    z.lpszEncryptCode = "Tr0ub4dor&3";
    z.noDirectoryNamesFlag = 1;
    ASSERT_EQ(ZipExecute(&z), 0) << ZipLastMessage();
    std::string out = dest("x");
    EXPECT_EQ(extract_all(archive_, out, "wrong"), 44);
    EXPECT_FALSE(exists(out + "/data.bin"));
    EXPECT_EQ(extract_all(archive_, out), 44);  // no password at all
    ASSERT_EQ(extract_all(archive_, out, "Tr0ub4dor&3"), 0) << UnzipLastMessage();
    EXPECT_EQ(read_file(out + "/data.bin"), read_file(src_ + "/sub/data.bin"));
    // A password of 65 characters is used whole; a longer one is refused, not cut.
    std::string long_pw(66, 'p');
    ZIPCMDSTRUCT l = zip_record(ZIP_ADD, dir_ / "long.zip", src_ + "/readme.txt");
    l.encryptFlag = 1;
    l.lpszEncryptCode = long_pw.c_str();
    EXPECT_EQ(ZipExecute(&l), 16);
    EXPECT_FALSE(exists(dir_ / "long.zip"));
    long_pw.pop_back();
    ASSERT_EQ(ZipExecute(&l), 0) << ZipLastMessage();
    std::string out2 = dest("y");
    EXPECT_EQ(extract_all(dir_ / "long.zip", out2, long_pw.substr(0, 64).c_str()), 44);
    EXPECT_EQ(extract_all(dir_ / "long.zip", out2, long_pw.c_str()), 0);
}

TEST_F(Commands, ListingInDirectoryOrderAndRestart) {
    write_file(dir_ / "e.zip", build_stored_zip({{"b.txt", "1"}, {"a/c.txt", "22"}, {"a.txt", "333"}}));
    std::string a = dir_ / "e.zip";
    UNZIPCMDSTRUCT c = unzip_record(UNZIP_COUNTNAMED, a);
    c.lpszFilespec = "*.txt";
    ASSERT_EQ(UnzipExecute(&c), 0);
    EXPECT_EQ(c.returnCount, 2);  // '*' does not cross '/' without recurseFlag
    c.recurseFlag = 1;
    ASSERT_EQ(UnzipExecute(&c), 0);
    EXPECT_EQ(c.returnCount, 3);

    std::vector<std::string> names;
    for (int i = 0; i < 3; ++i) {
        ZIPINFO info{};
        UNZIPCMDSTRUCT g = unzip_record(UNZIP_GETNEXT, a);
        g.zInfo = &info;
        ASSERT_EQ(UnzipExecute(&g), 0);
        names.push_back(info.szFileName);
        EXPECT_EQ(info.dwIndex, uint32_t(i));
        EXPECT_STREQ(info.szDateTime, "01/01/24  12:00");
        EXPECT_EQ(info.wHasPath, i == 1 ? 1 : 0);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"b.txt", "a/c.txt", "a.txt"}));
    ZIPINFOEX x{};
    UNZIPCMDSTRUCT g = unzip_record(UNZIP_GETNEXT, a);
    g.pZipInfoEx = &x;
    EXPECT_EQ(UnzipExecute(&g), 2);
    EXPECT_STREQ(UnzipLastMessage(), "Dravik UnZip: Unexpected end of zip file (No more items found)");
    // Another archive starts a new sequence; coming back starts again too.
    write_file(dir_ / "f.zip", build_stored_zip({{"only.txt", "x"}}));
    g.lpszZIPFile = (dir_ / "f.zip").c_str();
    std::string f = dir_ / "f.zip";
    g.lpszZIPFile = f.c_str();
    ASSERT_EQ(UnzipExecute(&g), 0);
    EXPECT_STREQ(x.szFileName, "only.txt");
    EXPECT_EQ(x.uncompressedSize, 1u);
    EXPECT_STREQ(x.szDateTime, "01/01/2024  12:00:00");
    g.lpszZIPFile = a.c_str();
    ASSERT_EQ(UnzipExecute(&g), 0);
    EXPECT_STREQ(x.szFileName, "b.txt");
    // Both or neither information record: refused.
    g.zInfo = reinterpret_cast<ZIPINFO*>(&x);
    EXPECT_EQ(UnzipExecute(&g), 47);
    // An empty archive has nothing to list.
    write_file(dir_ / "empty.zip", build_stored_zip({}));
    UNZIPCMDSTRUCT e = unzip_record(UNZIP_GETNEXT, dir_ / "empty.zip");
    e.pZipInfoEx = &x;
    EXPECT_EQ(UnzipExecute(&e), 2);
}

TEST_F(Commands, ExtractOptions) {
    write_file(dir_ / "e.zip", build_stored_zip({{"d/", ""}, {"d/one.txt", "one"}, {"two.txt", "two"}}));
    std::string a = dir_ / "e.zip";
    std::string out = dest("x");
    UNZIPCMDSTRUCT r = unzip_record(UNZIP_EXTRACT, a);
    r.lpszDestination = out.c_str();
    r.index = 1;  // by index
    ASSERT_EQ(UnzipExecute(&r), 0);
    EXPECT_EQ(read_file(out + "/d/one.txt"), "one");
    EXPECT_FALSE(exists(out + "/two.txt"));

    // Existing file, quiet: skipped, not overwritten.
    write_file(out + "/two.txt", "old");
    r.index = -1;
    r.lpszFilespec = "two.txt";
    EXPECT_EQ(UnzipExecute(&r), 0);
    EXPECT_EQ(read_file(out + "/two.txt"), "old");
    // Not quiet: the question decides. No skips; Cancel ends with 48; Yes overwrites.
    static int answer;
    static std::string question;
    r.quietFlag = 0;
    r.lpMessageDisplay = [](uint32_t, uint32_t, uint32_t, uint32_t, const char* text, char*, void*) -> int32_t {
        question = text;
        return answer;
    };
    answer = 7;
    EXPECT_EQ(UnzipExecute(&r), 0);
    EXPECT_EQ(question, "two.txt exists, do you want to overwrite it?");
    EXPECT_EQ(read_file(out + "/two.txt"), "old");
    answer = 2;
    EXPECT_EQ(UnzipExecute(&r), 48);
    chmod((out + "/two.txt").c_str(), 0444);
    answer = 6;
    EXPECT_EQ(UnzipExecute(&r), 0);
    EXPECT_EQ(question, "two.txt exists and is Read Only, do you want to overwrite it?");
    EXPECT_EQ(read_file(out + "/two.txt"), "two");
    // overWriteFlag: no question.
    write_file(out + "/two.txt", "old");
    question.clear();
    r.overWriteFlag = 1;
    EXPECT_EQ(UnzipExecute(&r), 0);
    EXPECT_EQ(question, "");
    EXPECT_EQ(read_file(out + "/two.txt"), "two");

    // No directory names: files land in the destination itself, directories are not made.
    std::string flat = dest("flat");
    UNZIPCMDSTRUCT n = unzip_record(UNZIP_EXTRACT, a);
    n.lpszDestination = flat.c_str();
    n.lpszFilespec = "*";
    n.recurseFlag = 1;
    n.noDirectoryNamesFlag = 1;
    ASSERT_EQ(UnzipExecute(&n), 0);
    EXPECT_EQ(read_file(flat + "/one.txt"), "one");
    EXPECT_FALSE(exists(flat + "/d"));
    // No directory items: the directory entry alone is not created.
    std::string nodirs = dest("nodirs");
    UNZIPCMDSTRUCT d = unzip_record(UNZIP_EXTRACT, a);
    d.lpszDestination = nodirs.c_str();
    d.lpszFilespec = "d/";
    d.noDirectoryItemsFlag = 1;
    ASSERT_EQ(UnzipExecute(&d), 0);
    EXPECT_FALSE(exists(nodirs + "/d"));

    // Freshen extracts only over existing files; update also adds missing ones.
    std::string fr = dest("fresh");
    UNZIPCMDSTRUCT f = unzip_record(UNZIP_EXTRACT, a);
    f.lpszDestination = fr.c_str();
    f.lpszFilespec = "*";
    f.recurseFlag = 1;
    f.freshenFlag = 1;
    ASSERT_EQ(UnzipExecute(&f), 0);
    EXPECT_FALSE(exists(fr + "/two.txt"));
    f.freshenFlag = 0;
    f.updateFlag = 1;
    ASSERT_EQ(UnzipExecute(&f), 0);
    EXPECT_EQ(read_file(fr + "/two.txt"), "two");
}

TEST_F(Commands, ArchiveExtractedOntoItselfIsRefused) {
    std::string inner = dir_ / "self";
    make_dir(inner);
    write_file(inner + "/self.zip", build_stored_zip({{"self.zip", "not really"}}));
    std::string a = inner + "/self.zip";
    std::string before = read_file(a);
    UNZIPCMDSTRUCT r = unzip_record(UNZIP_EXTRACT, a);
    r.lpszDestination = inner.c_str();
    r.lpszFilespec = "*";
    r.overWriteFlag = 1;
    EXPECT_EQ(UnzipExecute(&r), 0);
    EXPECT_EQ(read_file(a), before);
}

TEST_F(Commands, UnsafeNamesAreSkippedAndReported) {
    const char* names[] = {"/abs.txt", "\\abs.txt", "C:rel.txt", "C:\\abs.txt", "\\\\server\\share\\x.txt", "../up.txt",
                           "a/../../up.txt", "a\\..\\..\\up.txt", "file.txt:stream", "CON", "nul.txt", "sub/COM1.log", "LPT9"};
    for (const char* name : names) {
        write_file(dir_ / "h.zip", build_stored_zip({{"good.txt", "fine"}, {name, "evil"}}));
        std::string out = dest("h");
        UNZIPCMDSTRUCT r = unzip_record(UNZIP_EXTRACT, dir_ / "h.zip");
        r.lpszDestination = out.c_str();
        r.lpszFilespec = "*";
        r.recurseFlag = 1;
        r.overWriteFlag = 1;
        EXPECT_EQ(UnzipExecute(&r), 28) << name;
        EXPECT_NE(std::string(UnzipLastMessage()).find("Skipping unsafe name"), std::string::npos) << name;
        EXPECT_EQ(read_file(out + "/good.txt"), "fine") << name;  // the other entries are extracted
        EXPECT_FALSE(exists(dir_ / "up.txt")) << name;
        EXPECT_FALSE(exists(dir_.path() + "/../up.txt")) << name;
        EXPECT_FALSE(exists("/abs.txt")) << name;
        // Testing (no output) is not affected.
        UNZIPCMDSTRUCT t = unzip_record(UNZIP_EXTRACT, dir_ / "h.zip");
        t.testFlag = 1;
        t.lpszFilespec = "*";
        t.recurseFlag = 1;
        EXPECT_EQ(UnzipExecute(&t), 0) << name;
        run(dir_.path(), "rm -rf h");
    }
}

// A bad entry never costs the file it would have replaced: a CRC error, data that ends early
// and a wrong password that passes the one-byte check each leave the old file byte for byte,
// read-only still when it was, and no temporary file beside it.
TEST_F(Commands, BadEntryLeavesTheExistingFileAsItWas) {
    std::string bad_crc = build_stored_zip({{"a.txt", "payload from the archive"}});
    bad_crc[30 + 5] ^= 1;  // one data byte

    std::string text;
    for (int i = 0; i < 400; ++i) text += "line " + std::to_string(i * 13) + " of the new a.txt\n";
    make_dir(dir_ / "new");
    write_file(dir_ / "new/a.txt", text);
    ZIPCMDSTRUCT z = zip_record(ZIP_ADD, dir_ / "deflated.zip", dir_ / "new/a.txt");
    z.noDirectoryNamesFlag = 1;
    ASSERT_EQ(ZipExecute(&z), 0) << ZipLastMessage();
    std::string truncated = read_file(dir_ / "deflated.zip");
    size_t central = truncated.find(std::string("PK\x01\x02", 4));
    ASSERT_NE(central, std::string::npos);
    ASSERT_EQ(truncated[central + 10], 8);  // deflated
    truncated[central + 21] = 0;            // compressed size cut to its low byte: the stream ends early
    truncated[central + 22] = 0;
    truncated[central + 23] = 0;

    z = zip_record(ZIP_ADD, dir_ / "enc.zip", dir_ / "new/a.txt");
    z.noDirectoryNamesFlag = 1;
    z.encryptFlag = 1;
    z.lpszEncryptCode = "right";
    ASSERT_EQ(ZipExecute(&z), 0) << ZipLastMessage();
    std::string wrong;  // a wrong password whose header check byte happens to match
    {
        ZipReader reader;
        ASSERT_TRUE(reader.open(dir_ / "enc.zip").ok());
        for (int i = 0; wrong.empty() && i < 100000; ++i) {
            std::string candidate = "wrong" + std::to_string(i);
            if (reader.password_fits(reader.entries()[0], candidate.c_str())) wrong = candidate;
        }
    }
    ASSERT_FALSE(wrong.empty());

    struct Case {
        const char* what;
        std::string archive;
        const char* password;
    } cases[] = {{"bad CRC", bad_crc, nullptr},
                 {"truncated", truncated, nullptr},
                 {"wrong password", read_file(dir_ / "enc.zip"), nullptr}};
    cases[2].password = wrong.c_str();
    for (bool read_only : {false, true}) {
        for (const Case& c : cases) {
            std::string out = dest("out");
            write_file(dir_ / "case.zip", c.archive);
            write_file(out + "/a.txt", "the user's own a.txt");
            if (read_only) chmod((out + "/a.txt").c_str(), 0444);
            EXPECT_NE(extract_all(dir_ / "case.zip", out, c.password), 0) << c.what;
            EXPECT_EQ(read_file(out + "/a.txt"), "the user's own a.txt") << c.what;
            EXPECT_EQ(host().stat(out + "/a.txt").read_only, read_only) << c.what;
            EXPECT_EQ(host().list_dir(out), std::vector<std::string>{"a.txt"}) << c.what;
            run(dir_.path(), "chmod -R u+w out && rm -rf out");
        }
    }
    // The good entry still replaces the file, read-only or not, and leaves nothing beside it.
    std::string out = dest("out");
    write_file(out + "/a.txt", "the user's own a.txt");
    chmod((out + "/a.txt").c_str(), 0444);
    ASSERT_EQ(extract_all(dir_ / "enc.zip", out, "right"), 0) << UnzipLastMessage();
    EXPECT_EQ(read_file(out + "/a.txt"), text);
    EXPECT_EQ(host().list_dir(out), std::vector<std::string>{"a.txt"});
}

// Damaged archives: every result is a code, never a crash (the native build runs under
// AddressSanitizer and UndefinedBehaviorSanitizer).
class Damaged : public Commands {
protected:
    void SetUp() override {
        Commands::SetUp();
        ZIPCMDSTRUCT z = zip_record(ZIP_ADD, archive_, src_);
        ASSERT_EQ(ZipExecute(&z), 0);
        good_ = read_file(archive_);
    }
    int test_archive(const std::string& bytes, const char* password = nullptr) {
        return test_archive_bytes(dir_ / "bad.zip", bytes, password);
    }
    std::string good_;
};

TEST_F(Damaged, TruncatedAtManyPoints) {
    EXPECT_EQ(test_archive(good_), 0);
    std::set<int> codes;
    for (size_t n = 0; n < good_.size(); n += 1 + n / 16) {
        int rc = test_archive(good_.substr(0, n));
        EXPECT_NE(rc, 0) << n;
        codes.insert(rc);
    }
    for (int c : codes) EXPECT_TRUE(c == 9 || c == 2 || c == 3) << c;
}

TEST_F(Damaged, MissingEndRecord) {
    size_t end = good_.rfind(std::string("PK\x05\x06", 4));
    ASSERT_NE(end, std::string::npos);
    std::string bad = good_;
    bad[end + 3] = 0x07;
    EXPECT_EQ(test_archive(bad), 9);
    EXPECT_STREQ(UnzipLastMessage(), "Dravik UnZip: File not found (Problem reading Zip file)");
}

TEST_F(Damaged, FlippedBytes) {
    std::mt19937 rng(99);
    int failures = 0;
    for (int i = 0; i < 200; ++i) {
        std::string bad = good_;
        bad[rng() % bad.size()] ^= static_cast<char>(1 + rng() % 255);
        int rc = test_archive(bad);
        failures += rc != 0;
        EXPECT_TRUE(rc == 0 || rc == 2 || rc == 3 || rc == 9 || rc == 26 || rc == 39 || rc == 41 || rc == 42 || rc == 44) << rc;
    }
    EXPECT_GT(failures, 40);  // many bytes are names, times and attributes, whose change is legal
}

TEST_F(Damaged, AnyChangeToCompressedDataIsDetected) {
    std::string text;
    for (int i = 0; i < 300; ++i) text += "Compressed line " + std::to_string(i * 7) + "\n";
    write_file(dir_ / "t.txt", text);
    ZIPCMDSTRUCT z = zip_record(ZIP_ADD, dir_ / "one.zip", dir_ / "t.txt");
    z.noDirectoryNamesFlag = 1;
    ASSERT_EQ(ZipExecute(&z), 0);
    std::string good = read_file(dir_ / "one.zip");
    size_t data_start = 30 + 5, data_end = good.find(std::string("PK\x01\x02", 4));
    ASSERT_LT(data_start + 100, data_end);
    // The last byte is left out: its high bits may be padding after the end of the final block,
    // which no decoder reads.
    for (size_t i = data_start; i + 1 < data_end; ++i) {
        std::string bad = good;
        bad[i] ^= 0x20;
        int rc = test_archive(bad);
        EXPECT_TRUE(rc == 2 || rc == 3 || rc == 39) << i << " gave " << rc;
    }
}

TEST_F(Damaged, BadCrcAndWrongPassword) {
    std::string bad = build_stored_zip({{"a.txt", "payload"}});
    bad[30 + 5] ^= 1;  // one data byte
    EXPECT_EQ(test_archive(bad), 39);
    // The CRC check also stops extraction, and the damaged file is not left behind.
    write_file(dir_ / "bad.zip", bad);
    std::string out = dest("x");
    EXPECT_EQ(extract_all(dir_ / "bad.zip", out), 39);
    EXPECT_FALSE(exists(out + "/a.txt"));

    ZIPCMDSTRUCT z = zip_record(ZIP_ADD, dir_ / "enc.zip", src_ + "/readme.txt");
    z.encryptFlag = 1;
    z.lpszEncryptCode = "right";
    ASSERT_EQ(ZipExecute(&z), 0);
    const std::string enc = read_file(dir_ / "enc.zip");
    // One wrong password in 256 passes the header's check byte, whose header bytes are random:
    // take one that this archive's header refuses (by its CRC's or its time's high byte).
    const auto* at = reinterpret_cast<const uint8_t*>(enc.data());
    const uint8_t* header = at + 30 + (at[26] | at[27] << 8) + (at[28] | at[29] << 8);
    std::string wrong = "wrong";
    for (int n = 0; TraditionalCipher(wrong).check_header(header, at[17]) ||
                    TraditionalCipher(wrong).check_header(header, at[11]);)
        wrong = "wrong" + std::to_string(++n);
    EXPECT_EQ(test_archive(enc, wrong.c_str()), 44);
    EXPECT_EQ(test_archive(enc, "right"), 0);
}

TEST_F(Damaged, SizesThatDoNotMatchTheData) {
    std::string bad = build_stored_zip({{"a.txt", "payload"}});
    size_t central = bad.find(std::string("PK\x01\x02", 4));
    bad[central + 24] = 6;  // uncompressed size 6 instead of 7
    EXPECT_EQ(test_archive(bad), 3);
    bad = build_stored_zip({{"a.txt", "payload"}});
    central = bad.find(std::string("PK\x01\x02", 4));
    bad[central + 20] = 100;  // compressed size past the directory
    EXPECT_NE(test_archive(bad), 0);
    // Entry count that the directory does not hold.
    bad = build_stored_zip({{"a.txt", "payload"}});
    bad[bad.size() - 22 + 10] = 2;
    bad[bad.size() - 22 + 8] = 2;
    EXPECT_EQ(test_archive(bad), 3);
}

TEST_F(Damaged, Zip64LocatorPointingOutsideTheFile) {
    std::string bad = build_stored_zip({{"a.txt", "payload"}});
    std::string end = bad.substr(bad.size() - 22);
    std::string locator("PK\x06\x07", 4);
    le(locator, 0, 4);
    le(locator, 0x7FFFFFFFFFull, 8);
    le(locator, 1, 4);
    bad = bad.substr(0, bad.size() - 22) + locator + end;
    EXPECT_EQ(test_archive(bad), 3);
}

TEST_F(Damaged, PreambleIsAllowed) {
    std::string with = build_stored_zip({{"a.txt", "payload"}}, std::string(1000, 'M'));
    EXPECT_EQ(test_archive(with), 0);
}

}  // namespace
}  // namespace dravik::archive
