// The text-file commands' file system on POSIX hosts (native builds and tests): fsync for the
// flush, replace_file for the one-step replace.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "commands/text_file.h"
#include "engine/file_replace.h"

namespace dravik {

bool HostFileSystem::exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool HostFileSystem::flush_to_disk(std::FILE* stream) { return ::fsync(::fileno(stream)) == 0; }

bool HostFileSystem::replace(const std::string& from, const std::string& to) {
    return replace_file(from, to);
}

}  // namespace dravik
