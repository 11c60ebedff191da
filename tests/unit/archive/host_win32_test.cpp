// The archive engine's Windows host services and what the engine does with them on Windows: file
// times in local DOS time, attributes, replacing files, names flagged UTF-8 turned into the ANSI
// code page, an extraction that carries the entry's time and name onto the disk, and the Windows
// file semantics the engine must live with: open files cannot be deleted or replaced, one file
// has many names, and other programs hold files open.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "host.h"
#include "zip_builder.h"
#include "zipdll.h"

namespace dravik::archive {
namespace {
using test::RawEntry;

class WinTempDir {
public:
    WinTempDir() {
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        for (unsigned i = GetTickCount();; ++i) {
            path_ = std::string(base) + "dravik_host_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(i);
            if (CreateDirectoryA(path_.c_str(), nullptr)) break;
        }
    }
    ~WinTempDir() {
        std::string cmd = "cmd /c rmdir /s /q \"" + path_ + "\" >nul 2>nul";
        // The folder holds only what the tests made; removing it through the shell keeps this short.
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        std::string line = cmd;
        if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi)) {
            WaitForSingleObject(pi.hProcess, 30000);
            CloseHandle(pi.hProcess);
            CloseHandle(pi.hThread);
        }
    }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

void write_file(const std::string& path, const std::string& data) {
    std::ofstream f(path, std::ios::binary);
    f << data;
}

std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// The file's last-write time as local calendar time, read without the engine's help.
SYSTEMTIME local_write_time(const std::string& path) {
    SYSTEMTIME st{};
    WIN32_FILE_ATTRIBUTE_DATA data;
    FILETIME local;
    EXPECT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) << path;
    EXPECT_TRUE(FileTimeToLocalFileTime(&data.ftLastWriteTime, &local));
    EXPECT_TRUE(FileTimeToSystemTime(&local, &st));
    return st;
}

constexpr uint32_t dos_datetime(int year, int month, int day, int hour, int minute, int second) {
    return uint32_t((year - 1980) << 9 | month << 5 | day) << 16 | uint32_t(hour << 11 | minute << 5 | second / 2);
}

void expect_time(const SYSTEMTIME& st, int year, int month, int day, int hour, int minute, int second) {
    EXPECT_EQ(st.wYear, year);
    EXPECT_EQ(st.wMonth, month);
    EXPECT_EQ(st.wDay, day);
    EXPECT_EQ(st.wHour, hour);
    EXPECT_EQ(st.wMinute, minute);
    EXPECT_EQ(st.wSecond, second);
}

// The information record of an archive's first entry; returns the engine's result.
int first_entry(const std::string& archive, ZIPINFOEX& info) {
    UNZIPCMDSTRUCT g{};
    g.size = sizeof g;
    g.Function = UNZIP_GETNEXT;
    g.lpszZIPFile = archive.c_str();
    g.index = -1;
    g.quietFlag = 1;
    g.pZipInfoEx = &info;
    return UnzipExecute(&g);
}

TEST(Win32Host, FileTimesAttributesAndReplacing) {
    WinTempDir dir;
    Host& h = host();
    const std::string a = dir / "a.txt", b = dir / "b.txt";
    write_file(a, "new");
    write_file(b, "old");

    // Times are local DOS times both ways (a summer date, where local and UTC differ most often).
    ASSERT_TRUE(h.set_file_time(a, dos_datetime(2023, 7, 14, 9, 30, 44)));
    expect_time(local_write_time(a), 2023, 7, 14, 9, 30, 44);
    FileStat s = h.stat(a);
    EXPECT_TRUE(s.exists);
    EXPECT_FALSE(s.is_dir);
    EXPECT_EQ(s.size, 3u);
    EXPECT_EQ(s.dos_datetime, dos_datetime(2023, 7, 14, 9, 30, 44));
    EXPECT_TRUE(h.stat(dir.path()).is_dir);
    EXPECT_FALSE(h.stat(dir / "missing").exists);

    ASSERT_TRUE(h.set_read_only(b, true));
    EXPECT_TRUE(GetFileAttributesA(b.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(h.stat(b).read_only);
    ASSERT_TRUE(h.set_read_only(b, false));
    EXPECT_FALSE(GetFileAttributesA(b.c_str()) & FILE_ATTRIBUTE_READONLY);

    ASSERT_TRUE(h.replace_file(a, b));
    EXPECT_EQ(read_file(b), "new");
    EXPECT_EQ(GetFileAttributesA(a.c_str()), INVALID_FILE_ATTRIBUTES);

    ASSERT_TRUE(h.make_dir(dir / "sub"));
    EXPECT_TRUE(h.same_file(dir / "B.TXT", dir / "sub\\..\\b.txt"));
    EXPECT_FALSE(h.same_file(dir / "b.txt", dir / "sub"));
    auto names = h.list_dir(dir.path());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"b.txt", "sub"}));
    EXPECT_EQ(h.separator(), '\\');
}

TEST(Win32Host, Utf8NamesBecomeAnsiNames) {
    if (GetACP() != 1252) GTEST_SKIP() << "the checks below are written for code page 1252";
    Host& h = host();
    EXPECT_EQ(h.utf8_to_system("caf\xC3\xA9.txt"), "caf\xE9.txt");
    EXPECT_EQ(h.utf8_to_system("\xE2\x82\xAC 5"), "\x80 5");  // the euro sign sits at 0x80 in 1252
    EXPECT_EQ(h.utf8_to_system("plain/name.txt"), "plain/name.txt");
}

TEST(Win32Engine, ExtractionCarriesTimesAndAnsiNames) {
    if (GetACP() != 1252) GTEST_SKIP() << "the names below are written for code page 1252";
    WinTempDir dir;
    const std::string archive = dir / "names.zip", out = dir / "out";
    // The builder stamps every entry 2024-01-01 12:00:00.
    write_file(archive, test::build_stored_zip({RawEntry{"caf\xC3\xA9.txt", "utf-8 name", 0x800},
                                               RawEntry{"sub/plain.txt", "plain name", 0}}));
    ASSERT_TRUE(CreateDirectoryA(out.c_str(), nullptr));

    UNZIPCMDSTRUCT r{};
    r.size = sizeof r;
    r.Function = UNZIP_EXTRACT;
    r.lpszZIPFile = archive.c_str();
    r.lpszFilespec = "*";
    r.index = -1;
    r.quietFlag = 1;
    r.recurseFlag = 1;
    r.lpszDestination = out.c_str();
    ASSERT_EQ(UnzipExecute(&r), 0) << UnzipLastMessage();
    EXPECT_EQ(read_file(out + "\\caf\xE9.txt"), "utf-8 name");
    EXPECT_EQ(read_file(out + "\\sub\\plain.txt"), "plain name");
    expect_time(local_write_time(out + "\\caf\xE9.txt"), 2024, 1, 1, 12, 0, 0);
    expect_time(local_write_time(out + "\\sub\\plain.txt"), 2024, 1, 1, 12, 0, 0);

    // Listing gives the ANSI name too.
    ZIPINFOEX info{};
    ASSERT_EQ(first_entry(archive, info), 0) << UnzipLastMessage();
    EXPECT_STREQ(info.szFileName, "caf\xE9.txt");
    EXPECT_STREQ(info.szDateTime, "01/01/2024  12:00:00");
}

TEST(Win32Engine, CompressionStoresTheFilesLocalTime) {
    WinTempDir dir;
    const std::string file = dir / "dated.txt", archive = dir / "dated.zip";
    write_file(file, "a file with a known time\n");
    ASSERT_TRUE(host().set_file_time(file, dos_datetime(2021, 12, 24, 18, 45, 10)));
    ZIPCMDSTRUCT z{};
    z.size = sizeof z;
    z.Function = ZIP_ADD;
    z.lpszZIPFile = archive.c_str();
    z.lpszItemList = file.c_str();
    z.compFactor = 5;
    z.quietFlag = 1;
    z.noDirectoryNamesFlag = 1;
    ASSERT_EQ(ZipExecute(&z), 0) << ZipLastMessage();

    ZIPINFOEX info{};
    ASSERT_EQ(first_entry(archive, info), 0) << UnzipLastMessage();
    EXPECT_STREQ(info.szFileName, "dated.txt");
    EXPECT_STREQ(info.szDateTime, "12/24/2021  18:45:10");
}

// The names matching `pattern` in `dir`.
std::vector<std::string> find_names(const std::string& dir, const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\" + pattern).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        std::string n = fd.cFileName;
        if (n != "." && n != "..") names.push_back(n);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

UNZIPCMDSTRUCT unzip_record(int function, const std::string& archive) {
    UNZIPCMDSTRUCT r{};
    r.size = sizeof r;
    r.Function = function;
    r.lpszZIPFile = archive.c_str();
    r.index = -1;
    r.quietFlag = 1;
    return r;
}

int extract_over(const std::string& archive, const std::string& dest, ZIPSTATUSPROC status = nullptr) {
    UNZIPCMDSTRUCT r = unzip_record(UNZIP_EXTRACT, archive);
    r.lpszFilespec = "*";
    r.recurseFlag = 1;
    r.overWriteFlag = 1;
    r.lpszDestination = dest.c_str();
    r.lpMinorStatus = status;
    return UnzipExecute(&r);
}

// The record points into `archive` and `items`, which must outlive it.
ZIPCMDSTRUCT zip_record(const std::string& archive, const std::string& items) {
    ZIPCMDSTRUCT z{};
    z.size = sizeof z;
    z.Function = ZIP_ADD;
    z.lpszZIPFile = archive.c_str();
    z.lpszItemList = items.c_str();
    z.compFactor = 5;
    z.quietFlag = 1;
    z.noDirectoryNamesFlag = 1;
    return z;
}

std::string bad_crc_zip(const std::string& name, const std::string& data) {
    std::string zip = test::build_stored_zip({RawEntry{name, data, 0}});
    zip[30 + name.size()] ^= 1;  // the first data byte
    return zip;
}

// Each kind of call, succeeding and failing, closes the archive before it returns: the caller can
// delete it at once (the agent deletes its decrypted working copy right after listing).
TEST(Win32Engine, EveryCallLeavesTheArchiveFreeToDelete) {
    WinTempDir dir;
    const std::string archive = dir / "a.zip", out = dir / "out", src = dir / "new.txt", missing = dir / "missing.txt";
    const std::string good = test::build_stored_zip({RawEntry{"one.txt", "one", 0}, RawEntry{"two.txt", "two", 0}});
    write_file(src, "to be added");
    ZIPINFOEX info{};
    struct Call {
        const char* what;
        std::string archive_bytes;
        std::function<int()> run;
        int expected;
    } calls[] = {
        {"count", good,
         [&] {
             UNZIPCMDSTRUCT r = unzip_record(UNZIP_COUNTALL, archive);
             return UnzipExecute(&r);
         },
         0},
        {"get-next", good,
         [&] {
             UNZIPCMDSTRUCT r = unzip_record(UNZIP_GETNEXT, archive);
             r.pZipInfoEx = &info;
             return UnzipExecute(&r);
         },
         0},
        {"count with an unbalanced filespec", good,
         [&] {
             UNZIPCMDSTRUCT r = unzip_record(UNZIP_COUNTNAMED, archive);
             r.lpszFilespec = "\"open";
             return UnzipExecute(&r);
         },
         47},
        {"get-next without an information record", good,
         [&] {
             UNZIPCMDSTRUCT r = unzip_record(UNZIP_GETNEXT, archive);
             return UnzipExecute(&r);
         },
         47},
        {"unknown function", good,
         [&] {
             UNZIPCMDSTRUCT r = unzip_record(12, archive);
             return UnzipExecute(&r);
         },
         47},
        {"extract", good, [&] { return extract_over(archive, out); }, 0},
        {"extract a bad entry", bad_crc_zip("one.txt", "one"), [&] { return extract_over(archive, out); }, 39},
        {"zip", good,
         [&] {
             ZIPCMDSTRUCT z = zip_record(archive, src);
             return ZipExecute(&z);
         },
         0},
        {"zip with nothing to add", good,
         [&] {
             ZIPCMDSTRUCT z = zip_record(archive, missing);
             return ZipExecute(&z);
         },
         12},
    };
    for (const Call& c : calls) {
        write_file(archive, c.archive_bytes);
        EXPECT_EQ(c.run(), c.expected) << c.what << ": " << UnzipLastMessage() << ZipLastMessage();
        EXPECT_TRUE(DeleteFileA(archive.c_str())) << c.what << ": error " << GetLastError();
    }
    EXPECT_STREQ(info.szFileName, "one.txt");
}

// Extraction writes beside the target and replaces it only with a verified entry: a bad entry
// leaves a read-only file as it was and read-only still, a target held open without sharing
// stays as it was, and neither leaves a temporary file in the folder.
TEST(Win32Engine, ExtractionReplacesOnlyWithAVerifiedEntry) {
    WinTempDir dir;
    const std::string out = dir / "out", target = out + "\\a.txt";
    ASSERT_TRUE(CreateDirectoryA(out.c_str(), nullptr));
    write_file(target, "the user's own a.txt");
    ASSERT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY));

    write_file(dir / "bad.zip", bad_crc_zip("a.txt", "from the archive"));
    EXPECT_EQ(extract_over(dir / "bad.zip", out), 39) << UnzipLastMessage();
    EXPECT_EQ(read_file(target), "the user's own a.txt");
    EXPECT_TRUE(GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(find_names(out, "*"), std::vector<std::string>{"a.txt"});

    write_file(dir / "good.zip", test::build_stored_zip({RawEntry{"a.txt", "from the archive", 0}}));
    ASSERT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL));
    HANDLE held = CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(extract_over(dir / "good.zip", out), 28) << UnzipLastMessage();
    CloseHandle(held);
    EXPECT_EQ(read_file(target), "the user's own a.txt");
    EXPECT_EQ(find_names(out, "*"), std::vector<std::string>{"a.txt"});

    ASSERT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(extract_over(dir / "good.zip", out), 0) << UnzipLastMessage();
    EXPECT_EQ(read_file(target), "from the archive");
    EXPECT_EQ(find_names(out, "~dk*.tmp"), std::vector<std::string>{});
}

// A zip that fails after its temporary archive was made deletes it (the writer closes it first)
// and leaves the old archive as it was: a source held open without sharing, and a cancel.
TEST(Win32Engine, FailedZipLeavesNoTemporaryArchive) {
    WinTempDir dir;
    const std::string archive = dir / "old.zip", locked = dir / "locked.txt", free_file = dir / "free.txt";
    const std::string old_bytes = test::build_stored_zip({RawEntry{"kept.txt", "kept", 0}});
    write_file(locked, "held open by another program");
    write_file(free_file, "anyone may read this");

    write_file(archive, old_bytes);
    HANDLE held = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ZIPCMDSTRUCT z = zip_record(archive, locked);
    EXPECT_EQ(ZipExecute(&z), 18) << ZipLastMessage();
    CloseHandle(held);
    EXPECT_EQ(find_names(dir.path(), "zi*.tmp"), std::vector<std::string>{});
    EXPECT_EQ(read_file(archive), old_bytes);

    z = zip_record(archive, free_file);
    z.encryptFlag = 1;
    z.lpszEncryptCode = "secret";
    z.lpMajorStatus = [](const char*, uint32_t, void*) -> int32_t { return 1; };
    EXPECT_EQ(ZipExecute(&z), 9) << ZipLastMessage();
    EXPECT_EQ(find_names(dir.path(), "zi*.tmp"), std::vector<std::string>{});
    EXPECT_EQ(read_file(archive), old_bytes);
}

// One archive under other names (a hard link, the short 8.3 name) is still the archive: an entry
// of that name is not extracted over it, and a zip does not take the archive into itself. While
// the engine reads an archive, others may read it but not open it for writing.
TEST(Win32Engine, ArchiveUnderOtherNamesAndOpenToReadersOnly) {
    WinTempDir dir;
    const std::string archive = dir / "the archive with a long name.zip", link = dir / "alias.zip";
    const std::string bytes = test::build_stored_zip(
        {RawEntry{"alias.zip", "not the archive", 0}, RawEntry{"the archive with a long name.zip", "nor this", 0}});
    write_file(archive, bytes);
    ASSERT_TRUE(CreateHardLinkA(link.c_str(), archive.c_str(), nullptr)) << GetLastError();
    char short_path[MAX_PATH];
    ASSERT_NE(GetShortPathNameA(archive.c_str(), short_path, MAX_PATH), 0u);
    ASSERT_NE(std::string(short_path), archive);
    EXPECT_TRUE(host().same_file(link, archive));
    EXPECT_TRUE(host().same_file(short_path, link));

    for (const std::string& name : {archive, link, std::string(short_path)}) {
        EXPECT_EQ(extract_over(name, dir.path()), 0) << name << ": " << UnzipLastMessage();
        EXPECT_EQ(read_file(archive), bytes) << name;
        EXPECT_TRUE(host().same_file(link, archive)) << name;
    }

    // A zip of the archive's own folder, the archive named by its hard link: the entries of the
    // archive's names keep their content, neither name was added as a file. (Not by its short
    // name: Wine's ReplaceFileA renames the file to the name it is given.)
    write_file(dir / "added.txt", "added");
    const std::string everything = dir.path() + "\\*";
    ZIPCMDSTRUCT z = zip_record(link, everything);
    ASSERT_EQ(ZipExecute(&z), 0) << ZipLastMessage();

    static std::string reading;
    static DWORD write_error, read_error;
    reading = link;
    write_error = read_error = 0;
    ZIPSTATUSPROC probe = [](const char*, uint32_t, void*) -> int32_t {
        HANDLE w = CreateFileA(reading.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
        write_error = w == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        if (w != INVALID_HANDLE_VALUE) CloseHandle(w);
        HANDLE r = CreateFileA(reading.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
        read_error = r == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        if (r != INVALID_HANDLE_VALUE) CloseHandle(r);
        return 0;
    };
    const std::string out = dir / "out";
    EXPECT_EQ(extract_over(link, out, probe), 0) << UnzipLastMessage();
    EXPECT_EQ(write_error, DWORD(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(read_error, 0u);
    EXPECT_EQ(find_names(out, "*"),
              (std::vector<std::string>{"added.txt", "alias.zip", "the archive with a long name.zip"}));
    EXPECT_EQ(read_file(out + "\\alias.zip"), "not the archive");
    EXPECT_EQ(read_file(out + "\\the archive with a long name.zip"), "nor this");
}

}  // namespace
}  // namespace dravik::archive
