// POSIX implementation of replace_file (file_replace.h), with the Windows behaviour the callers rely
// on: the new file takes the old one's mode and owner, and a read-only target is refused.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "engine/file_replace.h"

namespace dravik {
namespace {

std::string folder_of(const std::string& path) {
    size_t cut = path.find_last_of('/');
    return cut == std::string::npos ? "." : cut == 0 ? "/" : path.substr(0, cut);
}

// The rename itself is made durable, as MOVEFILE_WRITE_THROUGH does.
bool sync_folder(const std::string& path) {
    int fd = ::open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool copy_file(const std::string& from, const std::string& to) {
    std::FILE* in = std::fopen(from.c_str(), "rb");
    if (!in) return false;
    std::FILE* out = std::fopen(to.c_str(), "wb");
    bool ok = out != nullptr;
    char buffer[1 << 16];
    for (size_t n; ok && (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) ok = std::fwrite(buffer, 1, n, out) == n;
    ok = ok && !std::ferror(in);
    std::fclose(in);
    if (out) {
        ok = ok && std::fflush(out) == 0 && ::fsync(::fileno(out)) == 0;
        ok = std::fclose(out) == 0 && ok;
    }
    return ok;
}

bool rename_into_place(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) return false;
    sync_folder(to);
    return true;
}

}  // namespace

bool replace_file(const std::string& from, const std::string& to) {
    struct stat old {};
    const bool exists = ::stat(to.c_str(), &old) == 0;
    if (exists) {
        if (S_ISDIR(old.st_mode) || !(old.st_mode & S_IWUSR)) {
            errno = EACCES;
            return false;
        }
        if (::chmod(from.c_str(), old.st_mode & 07777) != 0) return false;
        if (::chown(from.c_str(), old.st_uid, old.st_gid) != 0 && errno != EPERM) return false;
    }
    if (rename_into_place(from, to)) return true;
    if (errno != EXDEV) return false;

    // From another file system: copy beside the target first, so the target is still replaced in one step.
    const std::string beside = to + ".dk~";
    if (!copy_file(from, beside) || (exists && ::chmod(beside.c_str(), old.st_mode & 07777) != 0) ||
        !rename_into_place(beside, to)) {
        int e = errno;
        ::unlink(beside.c_str());
        errno = e;
        return false;
    }
    ::unlink(from.c_str());
    return true;
}

}  // namespace dravik
