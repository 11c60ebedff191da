// The status window: a small top-most box near the lower right corner with one line of text and an
// activity bar, and the tray icon beside it. Minimising hides it (only the tray icon stays); a double
// click on the icon brings it back; closing it during the run asks first. The progress thread steps
// the bar once a second while the run is on and the window is visible.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <cstring>

#include "agent_app.h"
#include "resource.h"

namespace dravik {

namespace {

constexpr char kClassName[] = "DravikLT";
constexpr char kTitleShown[] = "Dravik Status";
constexpr char kTitleHidden[] = "Dravik";
constexpr DWORD kTrayRecordSize = 88;  // the first form of the notification record
constexpr size_t kMaxTipName = 52;

AgentApp* app_of(HWND hwnd) { return reinterpret_cast<AgentApp*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)); }

// Builds the text line and the bar, and learns the taskbar's re-creation message.
void on_create(AgentApp& app, HWND hwnd) {
    HDC dc = GetDC(hwnd);
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    ReleaseDC(hwnd, dc);
    const int line_height = tm.tmHeight + tm.tmExternalLeading;

    app.status_text = CreateWindowExA(0, "static", "", WS_CHILD | WS_VISIBLE, 10, 5, 180, line_height, hwnd,
                                      reinterpret_cast<HMENU>(IDC_STATUS_TEXT), app.instance, nullptr);
    app.status_font = CreateFontA(line_height, tm.tmAveCharWidth, 0, 0, 300, FALSE, FALSE, FALSE, 0, OUT_DEFAULT_PRECIS,
                                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, 16, "MS Sans Serif");
    SendMessageA(app.status_text, WM_SETFONT, reinterpret_cast<WPARAM>(app.status_font), FALSE);

    app.status_bar = CreateWindowExA(WS_EX_CLIENTEDGE, PROGRESS_CLASSA, nullptr, 0x50000001, 10, 22, 180, 15, hwnd,
                                     reinterpret_cast<HMENU>(IDC_STATUS_BAR), app.instance, nullptr);
    app.taskbar_created = RegisterWindowMessageA("TaskbarCreated");
}

// The threads' handles and the events are closed by the main entry once both threads have ended:
// closing them here, while the worker or the progress thread may still use them, is what let the
// process end with a thread inside a call.
void on_close(AgentApp& app, HWND hwnd) {
    if (app.run.running) {
        int answer = MessageBoxA(hwnd,
                                 "The update is still executing, are you sure you wish to quit? If you quit not all "
                                 "steps will complete properly. Select OK to quit or Cancel to continue.",
                                 "Update Cancelled", MB_OKCANCEL | MB_ICONEXCLAMATION);
        if (answer != IDOK) return;
    }
    signal_stop(app);
    DestroyWindow(hwnd);
}

void on_tray_double_click(AgentApp& app, HWND hwnd) {
    ShowWindow(hwnd, SW_SHOWNORMAL);
    SetFocus(hwnd);
    SetWindowTextA(hwnd, kTitleShown);
    SetWindowTextA(app.status_text, app.run.update_name.c_str());
    ShowWindow(app.status_text, SW_SHOW);
    app.run.show_progress = true;
}

LRESULT CALLBACK StatusWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        return DefWindowProcA(hwnd, msg, wp, lp);
    }
    AgentApp* app = app_of(hwnd);
    if (!app) return DefWindowProcA(hwnd, msg, wp, lp);

    switch (msg) {
        case WM_CREATE:
            on_create(*app, hwnd);
            return 0;
        case WM_DESTROY:
            UpdateTrayIcon(*app, TrayMode::kRemove);
            PostQuitMessage(0);
            return 0;
        case WM_SIZE:
            if (wp == SIZE_MINIMIZED) {
                ShowWindow(hwnd, SW_HIDE);
                SetWindowTextA(hwnd, kTitleHidden);
                app->run.show_progress = false;
            }
            return 0;
        case WM_CLOSE:
            on_close(*app, hwnd);
            return 0;
        case kTrayCallbackMessage:
            if (wp == 1 && lp == WM_LBUTTONDBLCLK) on_tray_double_click(*app, hwnd);
            return 0;
        default:
            break;
    }
    if (app->taskbar_created && msg == app->taskbar_created) {
        UpdateTrayIcon(*app, TrayMode::kAdd);
        if (app->tray_added) {
            UpdateTrayIcon(*app, TrayMode::kModify);
        } else {
            app->tray_added = true;
        }
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

// Registers the extended class from the fields of a classic class record, with the same icon as the
// small icon.
ATOM register_classic(const WNDCLASSA& wc) {
    WNDCLASSEXA wcx{};
    wcx.cbSize = sizeof wcx;
    wcx.style = wc.style;
    wcx.lpfnWndProc = wc.lpfnWndProc;
    wcx.cbClsExtra = wc.cbClsExtra;
    wcx.cbWndExtra = wc.cbWndExtra;
    wcx.hInstance = wc.hInstance;
    wcx.hIcon = wc.hIcon;
    wcx.hCursor = wc.hCursor;
    wcx.hbrBackground = wc.hbrBackground;
    wcx.lpszMenuName = wc.lpszMenuName;
    wcx.lpszClassName = wc.lpszClassName;
    wcx.hIconSm = wc.hIcon;
    return RegisterClassExA(&wcx);
}

}  // namespace

bool register_status_class(HINSTANCE instance) {
    WNDCLASSA wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = StatusWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, kProgramName);
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_SCROLLBAR + 1);  // brush value 1
    wc.lpszMenuName = kProgramName;
    wc.lpszClassName = kClassName;
    return register_classic(wc) != 0;
}

HWND create_status_window(AgentApp& app) {
    const int x = GetSystemMetrics(SM_CXSCREEN) - 250;
    const int y = GetSystemMetrics(SM_CYSCREEN) - 125;
    app.status =
        CreateWindowExA(WS_EX_TOPMOST | WS_EX_STATICEDGE, kClassName, kTitleShown,
                        WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, x, y, 200, 75, nullptr, nullptr, app.instance, &app);
    return app.status;
}

void UpdateTrayIcon(AgentApp& app, TrayMode mode) {
    NOTIFYICONDATAA nid{};
    nid.cbSize = kTrayRecordSize;
    nid.hWnd = app.status;
    nid.uID = 1;
    if (mode == TrayMode::kRemove) {
        Shell_NotifyIconA(NIM_DELETE, &nid);
        return;
    }
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    nid.uCallbackMessage = kTrayCallbackMessage;
    nid.hIcon = LoadIconA(app.instance, kProgramName);
    std::string tip = kProgramName;
    if (mode == TrayMode::kModify) tip += " - " + app.run.update_name.substr(0, kMaxTipName);
    std::strncpy(nid.szTip, tip.c_str(), 63);
    Shell_NotifyIconA(mode == TrayMode::kAdd ? NIM_ADD : NIM_MODIFY, &nid);
}

void signal_stop(AgentApp& app) {
    // Sequentially consistent flag and handle: either this sees the event, or the progress thread,
    // which stores the event before reading the flag, sees the flag.
    app.closing = true;
    if (HANDLE stop = app.stop_event.load()) SetEvent(stop);
}

DWORD WINAPI progress_thread(LPVOID param) {
    AgentApp& app = *static_cast<AgentApp*>(param);
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    app.stop_event = stop;
    if (app.closing) SetEvent(stop);  // the window closed before the event existed
    HWND bar = app.status_bar;
    SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, kProgressBound));
    SendMessageA(bar, PBM_SETSTEP, 1, 0);
    ShowWindow(bar, SW_SHOW);
    for (;;) {
        DWORD r = WaitForSingleObject(stop, 1000);
        if (r == WAIT_OBJECT_0 || r == WAIT_FAILED) break;
        if (r != WAIT_TIMEOUT) continue;
        if (app.run.running && app.run.show_progress && !app.run.message_box) {
            if (SendMessageA(bar, PBM_GETPOS, 0, 0) >= kProgressBound) SendMessageA(bar, PBM_SETPOS, 1, 0);
            SendMessageA(bar, PBM_STEPIT, 0, 0);
            InvalidateRect(bar, nullptr, FALSE);
            UpdateWindow(bar);
        }
    }
    return 0;
}

}  // namespace dravik
