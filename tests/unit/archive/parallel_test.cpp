// The parallel zip writer: archives made with worker threads are byte for byte those one thread
// makes, over the kinds of files the engine meets; large files streamed by the writer and
// incompressible files come back whole; and every file is read once.
#include <fstream>
#include <random>

#include "archive_test_util.h"
#include "engine_state.h"
#include "zip_reader.h"

namespace dravik::archive {
namespace {
using namespace test;

std::string random_bytes(size_t n, unsigned seed) {
    std::mt19937 g(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(g());
    return s;
}

std::string text_bytes(size_t n, unsigned seed) {
    std::mt19937 g(seed);
    static const char* words[] = {"int ", "return ", "value", "(x)", ";\n", "    ", "archive", "{", "}\n", "0x1F "};
    std::string s;
    while (s.size() < n) s += words[g() % 10];
    s.resize(n);
    return s;
}

class ParallelZip : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        state_ = zip_state();
        ASSERT_NE(state_, nullptr);
        src_ = dir_ / "src";
        make_dir(src_);
        make_dir(src_ + "/sub");
        make_dir(src_ + "/empty dir");
        for (int i = 0; i < 40; ++i) {
            const std::string n = std::to_string(i);
            write_file(src_ + "/sub/t" + n + ".txt", text_bytes(size_t(i) * 977 + 1, unsigned(i)));
            write_file(src_ + "/r" + n + ".bin", random_bytes(size_t(i % 7) * 5000, unsigned(i)));
        }
        write_file(src_ + "/zero.txt", "");
        write_file(src_ + "/zeros.dat", std::string(300000, '\0'));
        write_file(src_ + "/kept.gz", text_bytes(20000, 7));  // stored by its suffix
        // Above the whole-file limit set below: streamed, compressible and not.
        write_file(src_ + "/big text.txt", text_bytes(700000, 11));
        write_file(src_ + "/big random.bin", random_bytes(600000, 12));
        write_file(src_ + "/mixed.bin", std::string(200000, 'a') + random_bytes(500000, 13));
    }
    void TearDown() override {
        state_->worker_threads = 0;
        state_->whole_entry_limit = kWholeEntryLimit;
    }
    // Zips the tree into `name` with `threads`; returns the archive's bytes.
    std::string zip(const std::string& name, unsigned threads, const char* password = nullptr, int aes = 0) {
        state_->worker_threads = threads;
        state_->whole_entry_limit = 256 * 1024;
        ZIPCMDSTRUCT r = zip_record(ZIP_ADD, dir_ / name, src_);
        r.dontCompressTheseSuffixesFlag = 1;
        r.lpszStoreSuffixes = "gz";
        if (password) {
            r.encryptFlag = 1;
            r.lpszEncryptCode = password;
            r.lZipSubOptions2 = aes ? 4 : 0;
            r.lSEInfo = aes;
        }
        EXPECT_EQ(ZipExecute(&r), 0);
        return read_file(dir_ / name);
    }
    void expect_tree_back(const std::string& archive, const char* password = nullptr) {
        std::string out = dir_ / ("out-" + archive);
        make_dir(out);
        ASSERT_EQ(extract_all(dir_ / archive, out, password), 0);
        ASSERT_EQ(run(dir_.path(), "diff -r src '" + out + src_ + "'"), 0) << archive;
    }
    TempDir dir_;
    ZipThreadState* state_ = nullptr;
    std::string src_;
};

TEST_F(ParallelZip, SameArchiveWithOneThreadAndWithWorkers) {
    const std::string one = zip("one.zip", 1);
    ASSERT_GT(one.size(), 100000u);
    for (unsigned threads : {2u, 3u, 8u})
        EXPECT_EQ(zip("many" + std::to_string(threads) + ".zip", threads), one) << threads;
    expect_tree_back("one.zip");

    // Replacing entries of an existing archive keeps their places, with workers too.
    write_file(src_ + "/sub/t3.txt", text_bytes(90000, 99));
    ZipReader before;
    ASSERT_TRUE(before.open(dir_ / "one.zip").ok());
    ASSERT_EQ(::system(("cp '" + (dir_ / "one.zip") + "' '" + (dir_ / "again.zip") + "'").c_str()), 0);
    const std::string again_one = zip("one.zip", 1), again_many = zip("again.zip", 4);
    EXPECT_EQ(again_many, again_one);
    ZipReader after;
    ASSERT_TRUE(after.open(dir_ / "again.zip").ok());
    ASSERT_EQ(after.entries().size(), before.entries().size());
    for (size_t i = 0; i < after.entries().size(); ++i) EXPECT_EQ(after.entries()[i].name, before.entries()[i].name);

    // What deflate could not shrink is stored, streamed or not.
    for (const auto& e : after.entries()) {
        if (e.name.find("big random.bin") != std::string::npos || e.name.find("r6.bin") != std::string::npos) {
            EXPECT_EQ(e.method, 0) << e.name;
        }
        if (e.name.find("big text.txt") != std::string::npos) {
            EXPECT_EQ(e.method, 8) << e.name;
        }
    }
}

TEST_F(ParallelZip, EncryptedEntriesComeBackWithWorkers) {
    for (int aes : {0, 3}) {
        const std::string name = "enc" + std::to_string(aes) + ".zip";
        zip(name, 4, "s3cret pass", aes);
        expect_tree_back(name, "s3cret pass");
        UNZIPCMDSTRUCT t = unzip_record(UNZIP_EXTRACT, dir_ / name);
        t.testFlag = 1;
        t.lpszFilespec = "*";
        t.recurseFlag = 1;
        t.decryptFlag = 1;
        t.lpszDecryptCode = "wrong";
        EXPECT_NE(UnzipExecute(&t), 0) << name;
    }
}

// Bytes this process has read through system calls so far.
uint64_t bytes_read() {
    std::ifstream io("/proc/self/io");
    std::string key;
    uint64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:") return value;
    return 0;
}

TEST_F(ParallelZip, EachFileIsReadOnce) {
    if (bytes_read() == 0) GTEST_SKIP() << "no /proc/self/io";
    TempDir d;
    write_file(d / "random.bin", random_bytes(3000000, 5));
    write_file(d / "text.txt", text_bytes(3000000, 6));
    state_->worker_threads = 1;
    for (const char* password : {static_cast<const char*>(nullptr), "pw"}) {
        ZIPCMDSTRUCT r = zip_record(ZIP_ADD, dir_ / (password ? "e.zip" : "p.zip"), d / "*.*");
        r.encryptFlag = password != nullptr;
        r.lpszEncryptCode = password;
        const uint64_t start = bytes_read();
        ASSERT_EQ(ZipExecute(&r), 0);
        const uint64_t used = bytes_read() - start;
        EXPECT_LT(used, 6600000u) << (password ? "encrypted" : "plain");
        EXPECT_GE(used, 6000000u);
    }
}

}  // namespace
}  // namespace dravik::archive
