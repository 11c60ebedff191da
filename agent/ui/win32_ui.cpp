// The run's view of the status window and message boxes, carried out with Win32 calls. The worker
// thread calls these; the window itself belongs to the user-interface thread, which carries out the
// synchronous window calls for it.
#include <windows.h>

#include "agent_app.h"
#include "prompt_window.h"

namespace dravik {

namespace {

UINT icon_flags(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::kExclamation:
            return MB_ICONEXCLAMATION;
        case MessageIcon::kQuestion:
            return MB_ICONQUESTION;
        case MessageIcon::kStop:
            return MB_ICONSTOP;
        default:
            return 0;
    }
}

}  // namespace

void Win32UserInterface::show_message(const std::string& text, const std::string& title, MessageIcon icon,
                                      bool foreground) {
    UINT flags = MB_OK | MB_TOPMOST | icon_flags(icon);
    if (foreground) flags |= MB_SETFOREGROUND;
    MessageBoxA(app_.status, text.c_str(), title.c_str(), flags);
}

bool Win32UserInterface::ask_yes_no(const std::string& text, const std::string& title) {
    return MessageBoxA(app_.status, text.c_str(), title.c_str(), MB_YESNO | MB_ICONQUESTION | MB_TOPMOST) == IDYES;
}

void Win32UserInterface::sections_starting(const std::string& update_name, bool show_progress) {
    if (!app_.tray_added) {
        UpdateTrayIcon(app_, TrayMode::kAdd);
        UpdateTrayIcon(app_, TrayMode::kModify);
        app_.tray_added = true;
    } else {
        UpdateTrayIcon(app_, TrayMode::kModify);
    }
    if (show_progress) {
        SetWindowTextA(app_.status, "Dravik Status");
        SetWindowTextA(app_.status_text, update_name.c_str());
        ShowWindow(app_.status, SW_SHOWNORMAL);
        UpdateWindow(app_.status);
    } else {
        SetWindowTextA(app_.status, "Dravik");
        ShowWindow(app_.status, SW_HIDE);
    }
}

void Win32UserInterface::sections_finished() { ShowWindow(app_.status, SW_MINIMIZE); }

void Win32UserInterface::prompt_passphrase() { run_passphrase_prompt(app_); }

bool Win32UserInterface::stop_requested() {
    HANDLE stop = app_.stop_event.load();
    return stop && WaitForSingleObject(stop, 0) == WAIT_OBJECT_0;
}

}  // namespace dravik
