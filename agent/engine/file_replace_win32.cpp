// Windows implementation of replace_file (file_replace.h).
#include <windows.h>

#include <vector>

#include "engine/file_replace.h"

namespace dravik {
namespace {

constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool move_new(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH) != 0;
}

// The file's DACL as a self-relative security descriptor; empty when it cannot be read.
std::vector<char> file_dacl(const std::string& path) {
    DWORD size = 0;
    GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    std::vector<char> sd(size);
    if (size == 0 || !GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, sd.data(), size, &size)) sd.clear();
    return sd;
}

bool replace_existing(const std::string& from, const std::string& to, DWORD old_attributes,
                      std::vector<char>& old_dacl) {
    if (ReplaceFileA(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
        // Windows carries the attributes and the DACL over itself; some implementations (Wine) do not.
        DWORD now = GetFileAttributesA(to.c_str());
        if (now != INVALID_FILE_ATTRIBUTES && (now & kKeptAttributes) != (old_attributes & kKeptAttributes)) {
            SetFileAttributesA(to.c_str(), (now & ~kKeptAttributes) | (old_attributes & kKeptAttributes));
        }
        if (!old_dacl.empty() && file_dacl(to) != old_dacl) {
            SetFileSecurityA(to.c_str(), DACL_SECURITY_INFORMATION, old_dacl.data());
        }
        return true;
    }
    // The replaced file is gone and the new one is still under its own name: finish the move.
    if (GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT && GetFileAttributesA(to.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return move_new(from, to);
    }
    return false;
}

}  // namespace

bool replace_file(const std::string& from, const std::string& to) {
    const DWORD attributes = GetFileAttributesA(to.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD e = GetLastError();
        if (e != ERROR_FILE_NOT_FOUND && e != ERROR_PATH_NOT_FOUND) return false;
        return move_new(from, to);
    }
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    std::vector<char> dacl = file_dacl(to);
    if (replace_existing(from, to, attributes, dacl)) return true;
    if (GetLastError() != ERROR_NOT_SAME_DEVICE && GetLastError() != ERROR_UNABLE_TO_MOVE_REPLACEMENT) return false;

    // From another volume: copy beside the target, then replace from there.
    const std::string beside = to + ".dk~";
    if (!CopyFileA(from.c_str(), beside.c_str(), FALSE)) {
        DWORD e = GetLastError();
        DeleteFileA(beside.c_str());
        SetLastError(e);
        return false;
    }
    SetFileAttributesA(beside.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!replace_existing(beside, to, attributes, dacl)) {
        DWORD e = GetLastError();
        DeleteFileA(beside.c_str());
        SetLastError(e);
        return false;
    }
    DeleteFileA(from.c_str());
    return true;
}

}  // namespace dravik
