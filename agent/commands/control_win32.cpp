#include "commands/control_win32.h"

#include <windows.h>

#include <ole2.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/platform_win32.h"

namespace dravik {

namespace {

constexpr size_t kVersionBuffer = 2048;

std::string last_error_text() { return system_error_text(GetLastError()); }

}  // namespace

bool GetFileVersionText(const std::string& path, std::string& text) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return false;
    std::vector<char> info(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, info.data())) return false;

    struct Translation {
        WORD language, code_page;
    };
    Translation* translations = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations), &length) ||
        length < sizeof(Translation)) {
        return false;
    }
    char query[64];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\FileVersion", translations[0].language,
                  translations[0].code_page);
    char* value = nullptr;
    if (!VerQueryValueA(info.data(), query, reinterpret_cast<void**>(&value), &length) || !value) return false;
    text.assign(value, strnlen(value, std::min<size_t>(length, kVersionBuffer - 1)));
    return true;
}

bool Win32ComponentHost::exclusive_write_time(const std::string& path, FileStamp& stamp) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    FILETIME written, local;
    SYSTEMTIME t;
    bool ok = GetFileTime(h, nullptr, nullptr, &written) && FileTimeToLocalFileTime(&written, &local) &&
              FileTimeToSystemTime(&local, &t);
    CloseHandle(h);
    if (ok) stamp = {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
    return ok;
}

bool Win32ComponentHost::copy_file(const std::string& from, const std::string& to) {
    return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

bool Win32ComponentHost::replace_at_restart(const std::string& from, const std::string& to, std::string& error_text) {
    // The copy lies beside the target, so the rename at the restart stays on one volume, and the
    // source stays where it is.
    const std::string copy = to + "@";
    if (!CopyFileA(from.c_str(), copy.c_str(), FALSE)) {
        error_text = last_error_text();
        return false;
    }
    if (!MoveFileExA(copy.c_str(), to.c_str(), MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING)) {
        error_text = last_error_text();
        DeleteFileA(copy.c_str());
        return false;
    }
    return true;
}

uint32_t Win32ComponentHost::ole_initialize() { return static_cast<uint32_t>(OleInitialize(nullptr)); }

void Win32ComponentHost::ole_uninitialize() { OleUninitialize(); }

bool Win32ComponentHost::call_entry_point(const std::string& path, const char* name) {
    // No error box for a file that is not a library.
    UINT mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryA(path.c_str());
    SetErrorMode(mode);
    if (!module) return false;
    using EntryPoint = HRESULT(STDAPICALLTYPE*)();
    // The detour through void (*)() keeps -Wcast-function-type quiet.
    auto entry = reinterpret_cast<EntryPoint>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    if (entry) entry();
    FreeLibrary(module);
    return entry != nullptr;
}

bool Win32ComponentHost::delete_file(const std::string& path, std::string& error_text) {
    if (DeleteFileA(path.c_str())) return true;
    error_text = last_error_text();
    return false;
}

}  // namespace dravik
