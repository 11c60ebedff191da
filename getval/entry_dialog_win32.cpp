// The entry dialog: caption = the prompt, an empty edit field, OK takes its text, Cancel nothing.
#include "entry_dialog_win32.h"

#include "resource.h"
#include "values.h"

namespace dkgetval {

namespace {

struct EntryRequest {
    const std::string* prompt;
    std::string answer;
};

INT_PTR CALLBACK entry_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_INITDIALOG: {
            auto* request = reinterpret_cast<EntryRequest*>(lparam);
            SetWindowLongPtrA(dialog, DWLP_USER, lparam);
            SetWindowTextA(dialog, request->prompt->c_str());
            SetDlgItemTextA(dialog, IDC_ENTRY_TEXT, "");
            SendDlgItemMessageA(dialog, IDC_ENTRY_TEXT, EM_LIMITTEXT, kMaxValueLength, 0);
            return TRUE;  // focus to the edit field, the first control
        }
        case WM_COMMAND:
            if (LOWORD(wparam) == IDOK) {
                auto* request = reinterpret_cast<EntryRequest*>(GetWindowLongPtrA(dialog, DWLP_USER));
                char text[kMaxValueLength + 1];
                text[0] = '\0';
                GetDlgItemTextA(dialog, IDC_ENTRY_TEXT, text, sizeof text);
                request->answer = text;
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (LOWORD(wparam) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            break;
        default:
            break;
    }
    return FALSE;
}

}  // namespace

std::optional<std::string> DialogPrompter::ask(const std::string& prompt) {
    EntryRequest request{&prompt, {}};
    INT_PTR result = DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_ENTRY), owner_, entry_dialog_proc,
                                     reinterpret_cast<LPARAM>(&request));
    if (result != IDOK) return std::nullopt;
    return request.answer;
}

}  // namespace dkgetval
