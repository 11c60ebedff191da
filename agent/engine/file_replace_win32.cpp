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

// Gives `from` the security of `to` before the replace, as Windows' ReplaceFileA does itself; some
// implementations (Wine) leave the replacement with the folder's inherited access instead.
void copy_security(const std::string& to, const std::string& from) {
    const SECURITY_INFORMATION parts[] = {DACL_SECURITY_INFORMATION, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION};
    for (SECURITY_INFORMATION what : parts) {
        DWORD needed = 0;
        GetFileSecurityA(to.c_str(), what, nullptr, 0, &needed);
        if (needed == 0) continue;
        std::vector<char> descriptor(needed);
        if (GetFileSecurityA(to.c_str(), what, descriptor.data(), needed, &needed)) {
            SetFileSecurityA(from.c_str(), what, descriptor.data());  // the owner may only be settable by an administrator
        }
    }
}

bool replace_existing(const std::string& from, const std::string& to, DWORD old_attributes) {
    copy_security(to, from);
    if (ReplaceFileA(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
        // Windows carries the attributes over itself; some implementations (Wine) do not.
        DWORD now = GetFileAttributesA(to.c_str());
        if (now != INVALID_FILE_ATTRIBUTES && (now & kKeptAttributes) != (old_attributes & kKeptAttributes)) {
            SetFileAttributesA(to.c_str(), (now & ~kKeptAttributes) | (old_attributes & kKeptAttributes));
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
    // A file another program holds without sharing cannot be replaced. Find that out first: Wine's
    // ReplaceFileA would leave a temporary file of its own behind.
    HANDLE probe = CreateFileA(to.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return false;
    CloseHandle(probe);
    if (replace_existing(from, to, attributes)) return true;
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
    if (!replace_existing(beside, to, attributes)) {
        DWORD e = GetLastError();
        DeleteFileA(beside.c_str());
        SetLastError(e);
        return false;
    }
    DeleteFileA(from.c_str());
    return true;
}

}  // namespace dravik
