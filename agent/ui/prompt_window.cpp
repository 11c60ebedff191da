// The hidden prompt window of the worker thread. Messages, questions and input forms are shown
// through it; it is created when the worker starts and lives until the program ends.
#include <windows.h>

#include <string>

#include "agent_app.h"

namespace dravik {

namespace {

LRESULT CALLBACK PromptWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace

// Returns false when the class cannot be registered. A window that cannot be created is reported
// to the user here and also ends the program.
bool create_prompt_window(AgentApp& app) {
    const std::string name = std::string(kProgramName) + " - User Prompt";
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = PromptWindowProc;
    wc.hInstance = app.instance;
    wc.hIcon = LoadIconA(app.instance, kProgramName);
    wc.hIconSm = wc.hIcon;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name.c_str();
    if (!RegisterClassExA(&wc)) return false;
    app.prompt = CreateWindowExA(0, name.c_str(), name.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, app.instance, &app);
    if (!app.prompt) {
        MessageBoxA(app.status, "Error creating message prompts", "Program terminated",
                    MB_OK | MB_ICONSTOP | MB_TOPMOST);
        return false;
    }
    return true;
}

}  // namespace dravik
