#include "engine/update_log.h"

#include <gtest/gtest.h>

#include "fakes.h"

namespace dravik {
namespace {

TEST(UpdateLog, TimePrefixFormat) {
    EXPECT_EQ(time_prefix({2009, 11, 2, 14, 5, 1}), "11/2/2009 14:05:01, ");
    EXPECT_EQ(time_prefix({2026, 1, 31, 0, 0, 9}), "1/31/2026 00:00:09, ");
    EXPECT_EQ(time_prefix({1999, 12, 25, 23, 59, 59}), "12/25/1999 23:59:59, ");
}

TEST(UpdateLog, EntriesAppendWithCrLfAndBuildOneLineFromTwo) {
    test::FakeClock clock;
    test::HostLogFileSystem fs;
    test::TempDir dir;
    UpdateLog log(clock, fs);
    log.set_path(dir.file("u.log"));

    log.line("not yet\n");  // logging is off: the file is not even touched
    EXPECT_FALSE(std::filesystem::exists(dir.file("u.log")));

    log.enable();
    log.line("@SET Count = 5, ");
    log.write("Variable set.\n");
    log.line("two\nlines\n");
    EXPECT_EQ(test::read_file(dir.file("u.log")),
              "11/2/2009 14:05:01, @SET Count = 5, Variable set.\r\n"
              "11/2/2009 14:05:01, two\r\nlines\r\n");

    log.log_write("fresh", false, true);  // the truncate flag empties the file first
    EXPECT_EQ(test::read_file(dir.file("u.log")), "fresh");

    // An entry that cannot be written is lost silently.
    UpdateLog bad(clock, fs);
    bad.set_path(dir.file("no/such/dir/u.log"));
    bad.enable();
    bad.line("lost\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("no/such/dir/u.log")));

    // Paths are cut at 259 characters.
    UpdateLog longpath(clock, fs);
    longpath.set_path(std::string(300, 'p'));
    EXPECT_EQ(longpath.path().size(), 259u);
}

std::string lines_of(int first, int count, int width) {
    std::string out;
    for (int i = first; i < first + count; ++i) {
        std::string line = "line " + std::to_string(i) + " ";
        line.resize(width - 2, '.');
        out += line + "\r\n";
    }
    return out;
}

TEST(UpdateLog, TrimWithZeroMaximumEmptiesTheFile) {
    test::MemoryFile file(lines_of(0, 500, 100));
    trim_open_log(file, 0);
    EXPECT_EQ(file.data, "");

    test::MemoryFile empty("");
    trim_open_log(empty, 0);
    EXPECT_EQ(empty.data, "");
}

TEST(UpdateLog, TrimWithPositiveMaximumKeepsTheNewestWholeLines) {
    // 100 KB of 100-byte lines; maximum 40 KB keeps floor(40 * 0.15) = 6 KB from the end, starting at
    // the first whole line of that tail.
    const std::string original = lines_of(0, 1024, 100);
    test::MemoryFile file(original);
    trim_open_log(file, 40);
    const size_t tail_start = original.size() - 6 * 1024;
    const size_t cut = original.find("\r\n", tail_start) + 2;
    EXPECT_EQ(file.data, original.substr(cut));
    EXPECT_EQ(file.data.rfind("line ", 0), 0u);  // starts at a line boundary

    // A file smaller than the maximum is left alone.
    test::MemoryFile small(lines_of(0, 10, 100));
    trim_open_log(small, 40);
    EXPECT_EQ(small.data, lines_of(0, 10, 100));

    // The keep size is at most 20 KB whatever the maximum.
    test::MemoryFile huge(lines_of(0, 5000, 100));
    trim_open_log(huge, 400);
    EXPECT_LE(huge.data.size(), 20u * 1024);
    EXPECT_GT(huge.data.size(), 20u * 1024 - 100);
}

TEST(UpdateLog, TrimCutsAtTheRunMarkerInTheTail) {
    std::string original = lines_of(0, 900, 100);
    std::string marker_line = "5/1/2009 10:00:00, Running DravikLT from C:\\x\r\n";
    std::string newest = lines_of(2000, 30, 100);
    original += marker_line + newest;
    test::MemoryFile file(original);
    trim_open_log(file, 40);  // the tail is 6 KB and holds the marker line
    EXPECT_EQ(file.data, marker_line + newest);
}

// A log file system whose file stays locked for a number of tries, optionally growing meanwhile.
class LockedFiles : public LogFileSystem {
  public:
    int locked_tries = 0;
    int growing_tries = 0;
    int opens = 0;
    int64_t size = 100;
    bool unavailable = false;
    std::unique_ptr<ExclusiveFile> open_exclusive(const std::string&, bool& busy) override {
        ++opens;
        busy = !unavailable;
        if (unavailable || opens <= locked_tries) return nullptr;
        return std::make_unique<test::MemoryFile>("");
    }
    int64_t listed_size(const std::string&) override {
        if (opens <= growing_tries) size += 10;
        return size;
    }
};

TEST(UpdateLog, WaitingOpenRetriesOncePerSecondAndStartsOverWhileTheHolderWrites) {
    test::FakeClock clock;
    {
        LockedFiles fs;
        fs.locked_tries = 3;
        EXPECT_NE(log_open_wait(fs, clock, "x"), nullptr);
        EXPECT_EQ(fs.opens, 4);
        EXPECT_EQ(clock.sleeps, 3);
        EXPECT_EQ(clock.slept_ms, 3000u);
    }
    {
        // Locked for good and never changing: the first try sees size 100 where 0 was remembered,
        // which starts the count over once; then 60 tries in a row without a change.
        LockedFiles fs;
        fs.locked_tries = 1000;
        EXPECT_EQ(log_open_wait(fs, clock, "x"), nullptr);
        EXPECT_EQ(fs.opens, 60);
    }
    {
        // An empty locked file shows no change from the start: the count runs from 1.
        LockedFiles fs;
        fs.locked_tries = 1000;
        fs.size = 0;
        EXPECT_EQ(log_open_wait(fs, clock, "x"), nullptr);
        EXPECT_EQ(fs.opens, 59);
    }
    {
        // A path that cannot be opened at all (no such directory) is not waited for.
        LockedFiles fs;
        fs.unavailable = true;
        clock.sleeps = 0;
        EXPECT_EQ(log_open_wait(fs, clock, "x"), nullptr);
        EXPECT_EQ(fs.opens, 1);
        EXPECT_EQ(clock.sleeps, 0);
    }
    {
        // A holder that keeps the file growing for 100 tries keeps the wait going past 60.
        LockedFiles fs;
        fs.locked_tries = 1000;
        fs.growing_tries = 100;
        EXPECT_EQ(log_open_wait(fs, clock, "x"), nullptr);
        EXPECT_EQ(fs.opens, 159);
    }
    {
        LockedFiles fs;
        fs.locked_tries = 120;
        fs.growing_tries = 100;  // it grew until try 100, then the open succeeds at try 121
        EXPECT_NE(log_open_wait(fs, clock, "x"), nullptr);
        EXPECT_EQ(fs.opens, 121);
    }
}

}  // namespace
}  // namespace dravik
