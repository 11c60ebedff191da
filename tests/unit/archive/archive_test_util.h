// Helpers for the archive engine's tests: a temporary folder removed afterwards, file contents,
// peer tools run through the shell, and command records filled for the common cases.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "zipdll.h"

namespace dravik::archive::test {

class TempDir {
public:
    TempDir() {
        const char* base = std::getenv("TMPDIR");
        std::string tmpl = std::string(base && *base ? base : "/tmp") + "/dravik_archive_XXXXXX";
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        path_ = mkdtemp(buf.data()) ? std::string(buf.data()) : std::string();
    }
    ~TempDir() {
        if (!path_.empty()) std::system(("chmod -R u+w '" + path_ + "' && rm -rf '" + path_ + "'").c_str());
    }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline void write_file(const std::string& path, const std::string& data) {
    std::ofstream f(path, std::ios::binary);
    f << data;
}
inline std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}
inline bool exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}
inline void make_dir(const std::string& path) { mkdir(path.c_str(), 0777); }

inline bool have_tool(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}
// Runs a shell command in `dir`; returns its exit status.
inline int run(const std::string& dir, const std::string& command) {
    int rc = std::system(("cd '" + dir + "' && ( " + command + " ) >/dev/null 2>&1").c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

inline ZIPCMDSTRUCT zip_record(int function, const std::string& archive, const std::string& items) {
    static thread_local std::string a, i;
    a = archive;
    i = items;
    ZIPCMDSTRUCT r{};
    r.size = sizeof r;
    r.Function = function;
    r.lpszZIPFile = a.c_str();
    r.lpszItemList = i.c_str();
    r.compFactor = 5;
    r.quietFlag = 1;
    r.recurseFlag = 1;
    return r;
}

inline UNZIPCMDSTRUCT unzip_record(int function, const std::string& archive) {
    static thread_local std::string a;
    a = archive;
    UNZIPCMDSTRUCT r{};
    r.size = sizeof r;
    r.Function = function;
    r.lpszZIPFile = a.c_str();
    r.index = -1;
    r.quietFlag = 1;
    return r;
}

// Writes `bytes` to `path` and tests every entry of it with the engine; returns the result code.
inline int test_archive_bytes(const std::string& path, const std::string& bytes, const char* password = nullptr) {
    write_file(path, bytes);
    UNZIPCMDSTRUCT r = unzip_record(UNZIP_EXTRACT, path);
    r.testFlag = 1;
    r.lpszFilespec = "*";
    r.recurseFlag = 1;
    if (password) {
        r.decryptFlag = 1;
        r.lpszDecryptCode = password;
    }
    return UnzipExecute(&r);
}

// Extracts every entry of `archive` into `dest`; returns the result code.
inline int extract_all(const std::string& archive, const std::string& dest, const char* password = nullptr) {
    UNZIPCMDSTRUCT r = unzip_record(UNZIP_EXTRACT, archive);
    r.lpszFilespec = "*";
    r.recurseFlag = 1;
    r.lpszDestination = dest.c_str();
    r.overWriteFlag = 1;
    if (password) {
        r.decryptFlag = 1;
        r.lpszDecryptCode = password;
    }
    return UnzipExecute(&r);
}

inline std::vector<std::string> list_names(const std::string& archive, int* code = nullptr) {
    std::vector<std::string> names;
    UNZIPCMDSTRUCT c = unzip_record(UNZIP_COUNTALL, archive);
    int rc = UnzipExecute(&c);
    if (code) *code = rc;
    if (rc) return names;
    for (int i = 0; i < c.returnCount; ++i) {
        ZIPINFOEX info{};
        UNZIPCMDSTRUCT g = unzip_record(UNZIP_GETNEXT, archive);
        g.pZipInfoEx = &info;
        if (UnzipExecute(&g) != 0) break;
        names.push_back(info.szFileName);
    }
    return names;
}

}  // namespace dravik::archive::test
