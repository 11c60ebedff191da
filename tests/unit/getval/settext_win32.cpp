// getval_settext <caption> <control id> <text> [timeout_ms]: waits for a visible top-level window
// with the caption and sets the text of its control with that id. Exit code 0 on success, 1 when
// the window or control was not found in time, 2 on bad usage. Used by the integration tests.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

struct Search {
    const char* caption;
    HWND found;
};

BOOL CALLBACK match(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    char text[1024];
    text[0] = '\0';
    GetWindowTextA(hwnd, text, sizeof text);
    if (IsWindowVisible(hwnd) && std::string(text) == search->caption) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    const DWORD timeout = argc > 4 ? static_cast<DWORD>(std::strtoul(argv[4], nullptr, 10)) : 10000;
    const DWORD start = GetTickCount();
    for (;;) {
        Search search{argv[1], nullptr};
        EnumWindows(match, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            HWND control = GetDlgItem(search.found, std::atoi(argv[2]));
            if (control && SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[3]))) return 0;
        }
        if (GetTickCount() - start >= timeout) return 1;
        Sleep(100);
    }
}
