// DravikLT: the update agent's entry point. The main thread registers and creates the hidden status
// window, starts the worker thread that runs the update, and runs the message loop until the status
// window is destroyed. Then it waits for the worker and the progress thread to end, so that the
// process ends with one thread and no call left half done. The exit code is always 0.
#include <windows.h>

#include <commctrl.h>

#include <memory>

#include "agent_app.h"
#include "prompt_window.h"

namespace dravik {

AgentApp::~AgentApp() {
    for (HANDLE h : {worker, progress, stop_event.load(), prompt_event}) {
        if (h) CloseHandle(h);
    }
    if (status_font) DeleteObject(status_font);
}

}  // namespace dravik

namespace {

// How long the main entry waits for the threads once the window is gone. After the run's own close
// request they end at once; after the user quits during the run the worker may be inside a long
// statement, and the process then ends without it, as it always could.
constexpr DWORD kJoinBoundMs = 5000;

// Waits for a thread to end, answering messages sent to this thread meanwhile: a thread blocked in a
// call to a window of this thread (the bar, the status window) must not hold up its own end.
bool join(HANDLE thread, DWORD deadline) {
    for (;;) {
        const DWORD now = GetTickCount();
        const DWORD left = static_cast<LONG>(deadline - now) > 0 ? deadline - now : 0;
        DWORD r = MsgWaitForMultipleObjects(1, &thread, FALSE, left, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) return true;
        if (r != WAIT_OBJECT_0 + 1) return false;  // timed out or failed
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX icc{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);

    auto app = std::make_unique<dravik::AgentApp>(instance);
    if (!dravik::register_status_class(instance)) return 0;
    if (!dravik::create_status_window(*app)) return 0;

    app->worker = CreateThread(nullptr, 0, dravik::worker_thread, app.get(), 0, nullptr);
    if (!app->worker) {
        DestroyWindow(app->status);
        return 0;
    }

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    const int code = static_cast<int>(msg.wParam);

    // The window is gone and the stop event signalled. The worker writes the progress thread's handle
    // before it ends, so that handle is read only after the worker has been joined.
    dravik::signal_stop(*app);
    const DWORD deadline = GetTickCount() + kJoinBoundMs;
    const bool ended = join(app->worker, deadline) && (!app->progress || join(app->progress, deadline));
    // A thread that is still running uses the run state: leave it to the process's end.
    if (!ended) app.release();
    return code;
}
