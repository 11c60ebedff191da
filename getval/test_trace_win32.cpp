// The run trace of the integration tests (see test_trace_win32.h).
#include "test_trace_win32.h"

#include <windows.h>

#include <cstdio>

namespace dkgetval {

void write_trace(const std::string& line) {
    char folder[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("DKGETVAL_TRACE", folder, sizeof folder);
    if (n == 0 || n >= sizeof folder) return;
    // One file per run, so that concurrent runs never write into the same file.
    for (unsigned k = 0; k < 1000; ++k) {
        char path[MAX_PATH + 64];
        std::snprintf(path, sizeof path, "%s\\run-%lu-%u.txt", folder, GetCurrentProcessId(), k);
        HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS) continue;
            return;
        }
        DWORD written = 0;
        WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        CloseHandle(h);
        return;
    }
}

}  // namespace dkgetval
