// DkGetVal: the value-queue tool's entry point. The main thread registers the window class, reads
// the command line, creates the minimised window that stands for the program in the taskbar and
// runs the message loop; creating the window starts the worker thread, which does the run and then
// asks the window to close. Closing the window stops the worker where it is. The exit code is 1
// once the window existed, 0 when there was nothing to do or no window.
#include <windows.h>

#include <atomic>
#include <exception>
#include <string>

#include "command_line.h"
#include "entry_dialog_win32.h"
#include "queue_run.h"
#include "resource.h"
#include "services_win32.h"
#ifdef DRAVIK_TEST_HOOKS
#include "test_trace_win32.h"
#endif

namespace {

constexpr char kWindowClass[] = "DkGetVal";

struct App {
    HINSTANCE instance = nullptr;
    HWND window = nullptr;
    HANDLE worker = nullptr;
    std::atomic<bool> worker_done{false};
    dkgetval::Settings settings;
};

DWORD WINAPI worker_thread(LPVOID param) {
    App& app = *static_cast<App*>(param);
    // Nothing may escape a thread's entry; a failure here just ends the run without values.
    try {
        dkgetval::RegistryStore store;
        if (app.settings.mode == dkgetval::Mode::file) {
            dkgetval::Win32FileSystem fs;
            dkgetval::SleepPause pause;
            [[maybe_unused]] dkgetval::FileRun run =
                dkgetval::run_file_mode(app.settings.queue_file, app.settings.rounds, fs, pause, store);
#ifdef DRAVIK_TEST_HOOKS
            dkgetval::write_trace(dkgetval::describe(run) + "\r\n");
#endif
        } else {
            dkgetval::DialogPrompter prompter(app.instance, app.window);
            dkgetval::run_entry_mode(app.settings.prompts, prompter, store);
        }
    } catch ([[maybe_unused]] const std::exception& e) {
#ifdef DRAVIK_TEST_HOOKS
        dkgetval::write_trace(std::string("exception ") + e.what() + "\r\n");
#endif
    }
    app.worker_done = true;
    PostMessageA(app.window, WM_CLOSE, 0, 0);
    return 0;
}

// Stops the worker: at once when it is still working (the window was closed by the user), or by
// waiting for its last instructions when it has already finished.
void stop_worker(App& app) {
    if (!app.worker) return;
    if (!app.worker_done) {
        TerminateThread(app.worker, 1);
#ifdef DRAVIK_TEST_HOOKS
        dkgetval::write_trace("stopped while running\r\n");
#endif
    }
    WaitForSingleObject(app.worker, INFINITE);
    CloseHandle(app.worker);
    app.worker = nullptr;
}

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    App* app = reinterpret_cast<App*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
        case WM_CREATE: {
            app = static_cast<App*>(reinterpret_cast<CREATESTRUCTA*>(lparam)->lpCreateParams);
            SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(app));
            app->window = window;
            app->worker = CreateThread(nullptr, 0, worker_thread, app, 0, nullptr);
            return app->worker ? 0 : -1;
        }
        case WM_CLOSE:
            if (app) stop_worker(*app);
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            if (app) stop_worker(*app);
            PostQuitMessage(1);
            return 0;
        default:
            return DefWindowProcA(window, message, wparam, lparam);
    }
}

bool register_window_class(HINSTANCE instance) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = window_proc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_DKGETVAL));
    wc.hIconSm = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_DKGETVAL), IMAGE_ICON, 16, 16, 0));
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(1));
    wc.lpszClassName = kWindowClass;
    return RegisterClassExA(&wc) != 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
    if (!register_window_class(instance)) return 0;

    // The run state lives as long as the process: a stopped worker may still point into it.
    static App app;
    app.instance = instance;
    app.settings = dkgetval::parse_command_line(command_line ? command_line : "");
    if (app.settings.mode == dkgetval::Mode::none) return 0;

    HWND window = CreateWindowExA(0, kWindowClass, kWindowClass, WS_MINIMIZE | WS_SYSMENU, 0, 0, 0, 0, nullptr, nullptr,
                                  instance, &app);
    if (!window) return 0;
    ShowWindow(window, SW_SHOWMINIMIZED);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
