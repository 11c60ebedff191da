// DravikLT: the update agent's entry point. The main thread registers and creates the hidden status
// window, starts the worker thread that runs the update, and runs the message loop until the status
// window is destroyed. The exit code is always 0.
#include <windows.h>

#include <commctrl.h>

#include <memory>

#include "agent_app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX icc{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);

    auto app = std::make_unique<dravik::AgentApp>(instance);
    if (!dravik::register_status_class(instance)) return 0;
    if (!dravik::create_status_window(*app)) return 0;

    app->worker = CreateThread(nullptr, 0, dravik::worker_thread, app.get(), 0, nullptr);
    if (!app->worker) return 0;

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    // The worker may still be inside a statement when the user closed the window; it ends with the
    // process. The run state is left to the process's end for the same reason.
    app.release();
    return static_cast<int>(msg.wParam);
}
