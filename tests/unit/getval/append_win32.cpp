// getval_append <file> <prefix> <count> [pause_ms]: another program writing to a value queue.
// Appends the lines "<prefix><n>,appended" (n from 0) one at a time, each through an exclusive
// open of the existing file, retried until it succeeds, so it never writes while DkGetVal holds
// the queue. Exit code 0 when every line was appended, 1 when the file stayed busy for a minute,
// 2 on bad usage. Used by the integration tests.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool append_line(const char* path, const std::string& line) {
    for (int attempt = 0; attempt < 12000; ++attempt) {
        HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            Sleep(5);
            continue;
        }
        LARGE_INTEGER end{};
        DWORD written = 0;
        bool ok = SetFilePointerEx(h, end, nullptr, FILE_END) &&
                  WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
                  written == line.size();
        CloseHandle(h);
        return ok;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    int count = std::atoi(argv[3]);
    DWORD pause = argc > 4 ? static_cast<DWORD>(std::atoi(argv[4])) : 0;
    for (int n = 0; n < count; ++n) {
        if (!append_line(argv[1], std::string(argv[2]) + std::to_string(n) + ",appended\r\n")) return 1;
        if (pause) Sleep(pause);
    }
    return 0;
}
