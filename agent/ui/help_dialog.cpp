// The help dialog (-? on the command line): the program's name and version, its usage, and a Done
// button. Modal, owned by the status window.
#include <windows.h>

#include "agent_app.h"
#include "resource.h"

namespace dravik {

namespace {

INT_PTR CALLBACK HelpDialogProc(HWND dialog, UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
                EndDialog(dialog, LOWORD(wp));
                return TRUE;
            }
            break;
        default:
            break;
    }
    return FALSE;
}

}  // namespace

void show_help_dialog(AgentApp& app) {
    DialogBoxParamA(app.instance, MAKEINTRESOURCEA(IDD_HELP), app.status, HelpDialogProc, 0);
}

}  // namespace dravik
