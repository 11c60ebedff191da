// sleeper <milliseconds> <exit code> [file]
//
// Waits the given time, then writes "done" to the file (when one is named) and exits with the given
// code: a process the integration tests can start, find by name and wait for. A GUI program, so
// that starting it shows no console.
#include <windows.h>

#include <cstdlib>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (__argc < 3) return 2;
    Sleep(static_cast<DWORD>(std::strtoul(__argv[1], nullptr, 10)));
    if (__argc > 3) {
        HANDLE f = CreateFileA(__argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f == INVALID_HANDLE_VALUE) return 3;
        DWORD written = 0;
        WriteFile(f, "done", 4, &written, nullptr);
        CloseHandle(f);
    }
    return std::atoi(__argv[2]);
}
