// The text-file commands' file system on Windows: _commit for the flush, replace_file for the
// one-step replace (the original is never deleted first, and keeps its security and attributes).
#include <windows.h>
#include <io.h>

#include <cstdio>

#include "commands/text_file.h"
#include "engine/file_replace.h"

namespace dravik {

bool HostFileSystem::exists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool HostFileSystem::flush_to_disk(std::FILE* stream) { return _commit(_fileno(stream)) == 0; }

bool HostFileSystem::replace(const std::string& from, const std::string& to) {
    return replace_file(from, to);
}

}  // namespace dravik
