// The Zip64 cases at their real sizes: archives with more than 65,535 entries, an entry larger than
// 4 GiB and an archive whose entries start beyond 4 GiB, read from peers' archives and written by
// us and checked by the peers. They need several GiB of temporary space and an optimised build, so
// they run only when DRAVIK_LARGE_TESTS is set (the test run does so for the release build).
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "archive_test_util.h"

namespace dravik::archive {
namespace {
using namespace test;

constexpr uint64_t kBeyond4GiB = (4097ull << 20) + 7;  // 4 GiB + 1 MiB + 7 bytes
constexpr int kManyEntries = 70000;

class Large : public ::testing::Test {
protected:
    void SetUp() override {
        const char* v = std::getenv("DRAVIK_LARGE_TESTS");
        if (!v || !*v || std::string(v) == "0") GTEST_SKIP() << "set DRAVIK_LARGE_TESTS=1";
        if (!have_tool("python3")) GTEST_SKIP() << "python3 not installed";
    }
    // The three peers' own tests of an archive: Info-ZIP, 7-Zip and Python's zipfile.
    void expect_peers_accept(const std::string& archive) {
        if (have_tool("unzip")) {
            EXPECT_EQ(run(dir_.path(), "unzip -tq '" + archive + "'"), 0) << "unzip -t";
        }
        if (have_tool("7z")) {
            EXPECT_EQ(run(dir_.path(), "7z t '" + archive + "'"), 0) << "7z t";
        }
        EXPECT_EQ(run(dir_.path(), "python3 -c \"import zipfile,sys; z=zipfile.ZipFile('" + archive +
                                       "'); sys.exit(0 if z.testzip() is None else 1)\""),
                  0)
            << "python zipfile";
    }
    // A file of zeros that takes no disk space.
    std::string sparse_zeros(const std::string& name, uint64_t size) {
        std::string path = dir_ / name;
        write_file(path, "");
        EXPECT_EQ(truncate(path.c_str(), static_cast<off_t>(size)), 0);
        return path;
    }
    int zip_in_dir(const std::string& archive, const std::string& items, int level, bool large) {
        char old[4096];
        EXPECT_TRUE(getcwd(old, sizeof old));
        EXPECT_EQ(chdir(dir_.path().c_str()), 0);
        ZIPCMDSTRUCT z = zip_record(ZIP_ADD, archive, items);
        z.compFactor = level;
        z.LargeZIPFilesFlag = large;
        int rc = ZipExecute(&z);
        EXPECT_EQ(chdir(old), 0);
        return rc;
    }
    ZIPINFOEX info_of(const std::string& archive, int index) {
        ZIPINFOEX x{};
        for (int i = 0; i <= index; ++i) {
            UNZIPCMDSTRUCT g = unzip_record(UNZIP_GETNEXT, archive);
            g.pZipInfoEx = &x;
            EXPECT_EQ(UnzipExecute(&g), 0) << i;
        }
        return x;
    }
    TempDir dir_;
};

TEST_F(Large, ReadsPeerArchiveWithMoreThan65535Entries) {
    write_file(dir_ / "many.py",
               "import zipfile\n"
               "with zipfile.ZipFile('many.zip','w') as z:\n"
               "  for i in range(70000): z.writestr('d%d/f%05d.txt' % (i % 7, i), 'entry %d' % i)\n");
    ASSERT_EQ(run(dir_.path(), "python3 many.py"), 0);
    UNZIPCMDSTRUCT c = unzip_record(UNZIP_COUNTALL, dir_ / "many.zip");
    ASSERT_EQ(UnzipExecute(&c), 0) << UnzipLastMessage();
    EXPECT_EQ(c.returnCount, kManyEntries);
    ZIPINFOEX x = info_of(dir_ / "many.zip", kManyEntries - 1);
    EXPECT_STREQ(x.szFileName, "d6/f69999.txt");
    EXPECT_EQ(x.dwIndex, 69999u);
    UNZIPCMDSTRUCT r = unzip_record(UNZIP_EXTRACT, dir_ / "many.zip");
    std::string out = dir_ / "om";
    make_dir(out);
    r.lpszDestination = out.c_str();
    r.index = 69998;
    ASSERT_EQ(UnzipExecute(&r), 0) << UnzipLastMessage();
    EXPECT_EQ(read_file(out + "/d5/f69998.txt"), "entry 69998");
}

TEST_F(Large, ReadsPeerEntryBeyond4GiB) {
    // A peer deflates 4 GiB + 1 MiB of zeros without keeping the file on disk.
    write_file(dir_ / "big.py",
               "import zipfile\n"
               "with zipfile.ZipFile('big.zip','w',zipfile.ZIP_DEFLATED, compresslevel=1) as z:\n"
               "  with z.open('zeros.bin','w',force_zip64=True) as o:\n"
               "    block = bytes(1<<20)\n"
               "    for i in range(4097): o.write(block)\n");
    ASSERT_EQ(run(dir_.path(), "python3 big.py"), 0);
    ZIPINFOEX x = info_of(dir_ / "big.zip", 0);
    EXPECT_EQ(x.uncompressedSize, 4097ull << 20);
    UNZIPCMDSTRUCT t = unzip_record(UNZIP_EXTRACT, dir_ / "big.zip");
    t.testFlag = 1;
    t.index = 0;
    EXPECT_EQ(UnzipExecute(&t), 0) << UnzipLastMessage();
}

TEST_F(Large, WritesMoreThan65535EntriesOnlyWithZip64Allowed) {
    make_dir(dir_ / "many");
    for (int i = 0; i < kManyEntries; ++i) write_file(dir_ / ("many/f" + std::to_string(i) + ".txt"), std::to_string(i));
    const std::string archive = dir_ / "many.zip";

    // Without the flag the archive would need Zip64 records: refused, and nothing is left behind.
    EXPECT_NE(zip_in_dir(archive, "many/*", 5, false), 0);
    EXPECT_FALSE(exists(archive));

    ASSERT_EQ(zip_in_dir(archive, "many/*", 5, true), 0) << ZipLastMessage();
    UNZIPCMDSTRUCT c = unzip_record(UNZIP_COUNTALL, archive);
    ASSERT_EQ(UnzipExecute(&c), 0) << UnzipLastMessage();
    EXPECT_EQ(c.returnCount, kManyEntries);
    expect_peers_accept(archive);
    std::string out = dir_ / "out";
    make_dir(out);
    ASSERT_EQ(extract_all(archive, out), 0) << UnzipLastMessage();
    for (int i : {0, 1, 65535, 65536, kManyEntries - 1})
        EXPECT_EQ(read_file(out + "/many/f" + std::to_string(i) + ".txt"), std::to_string(i)) << i;
}

TEST_F(Large, WritesEntryBeyond4GiBOnlyWithZip64Allowed) {
    sparse_zeros("zeros.bin", kBeyond4GiB);
    write_file(dir_ / "after.txt", "the entry after the large one\n");
    const std::string archive = dir_ / "big.zip";

    EXPECT_NE(zip_in_dir(archive, "zeros.bin after.txt", 5, false), 0);
    EXPECT_FALSE(exists(archive));

    ASSERT_EQ(zip_in_dir(archive, "zeros.bin after.txt", 5, true), 0) << ZipLastMessage();
    ZIPINFOEX x = info_of(archive, 0);
    EXPECT_STREQ(x.szFileName, "zeros.bin");
    EXPECT_EQ(x.uncompressedSize, kBeyond4GiB);
    EXPECT_EQ(x.wMethod, 8);
    expect_peers_accept(archive);
    UNZIPCMDSTRUCT t = unzip_record(UNZIP_EXTRACT, archive);
    t.testFlag = 1;
    t.lpszFilespec = "*";
    EXPECT_EQ(UnzipExecute(&t), 0) << UnzipLastMessage();
}

TEST_F(Large, WritesArchiveWhoseEntriesStartBeyond4GiB) {
    // Stored, the zeros make an archive over 4 GiB long: the entry after them needs a Zip64 offset.
    sparse_zeros("zeros.bin", kBeyond4GiB);
    write_file(dir_ / "after.txt", "the entry after the large one\n");
    const std::string archive = dir_ / "stored.zip";
    ASSERT_EQ(zip_in_dir(archive, "zeros.bin after.txt", 0, true), 0) << ZipLastMessage();
    expect_peers_accept(archive);
    std::string out = dir_ / "out";
    make_dir(out);
    UNZIPCMDSTRUCT r = unzip_record(UNZIP_EXTRACT, archive);
    r.lpszFilespec = "after.txt";
    r.lpszDestination = out.c_str();
    ASSERT_EQ(UnzipExecute(&r), 0) << UnzipLastMessage();
    EXPECT_EQ(read_file(out + "/after.txt"), "the entry after the large one\n");
    EXPECT_EQ(info_of(archive, 1).uncompressedSize, 30u);
}

}  // namespace
}  // namespace dravik::archive
