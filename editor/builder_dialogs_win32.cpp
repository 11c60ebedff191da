// The command builder's two field dialogs: IDD_STRING (plain, Today, file or folder Browse,
// Text/Variable, item with Remove) and IDD_OPTION (up to 15 radio buttons in two columns).
#include <windows.h>

#include <commdlg.h>
#include <shlobj.h>

#include <cstdio>
#include <ctime>

#include "builder_win32.h"
#include "resource.h"

namespace dkedit {

namespace {

// The target of a shortcut file, or the path itself when it is not one.
std::string resolve_shortcut(const std::string& path) {
    std::string target = path;
    if (path.size() < 4 || lstrcmpiA(path.c_str() + path.size() - 4, ".lnk") != 0) return target;
    const HRESULT init = CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            WCHAR wide[MAX_PATH];
            MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
            char out[MAX_PATH] = "";
            if (SUCCEEDED(file->Load(wide, STGM_READ)) && SUCCEEDED(link->GetPath(out, MAX_PATH, nullptr, 0)) &&
                out[0]) {
                target = out;
            }
            file->Release();
        }
        link->Release();
    }
    if (SUCCEEDED(init)) CoUninitialize();
    return target;
}

void browse_file(HWND dialog, StringRequest& r) {
    char path[MAX_PATH] = "";
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = dialog;
    ofn.lpstrFilter =
        "All Files, (*.*)\0*.*\0Text Files, (*.TXT)\0*.TXT\0Documents, (*.DOC)\0*.DOC\0Program Files, (*.EXE)\0*.EXE\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path;
    ofn.nMaxFile = sizeof path;
    ofn.lpstrTitle = "Select File";
    // Without NODEREFERENCELINKS the dialog would resolve every shortcut itself.
    ofn.Flags = OFN_HIDEREADONLY | OFN_NODEREFERENCELINKS;
    if (!GetOpenFileNameA(&ofn)) return;
    std::string chosen = path;
    if (r.kind_name == "Shortcut" && r.caption == "Target program") chosen = resolve_shortcut(chosen);
    if (r.kind_name == "Program Wait") chosen = chosen.substr(chosen.find_last_of('\\') + 1);
    SetDlgItemTextA(dialog, IDC_STRING_EDIT, chosen.c_str());
}

void browse_folder(HWND dialog) {
    BROWSEINFOA info{};
    char name[MAX_PATH] = "";
    info.hwndOwner = dialog;
    info.pszDisplayName = name;
    info.lpszTitle = "Select Working Directory";
    info.ulFlags = BIF_EDITBOX | BIF_RETURNONLYFSDIRS;
    LPITEMIDLIST list = SHBrowseForFolderA(&info);
    if (!list) return;
    char path[MAX_PATH] = "";
    if (SHGetPathFromIDListA(list, path)) SetDlgItemTextA(dialog, IDC_STRING_EDIT, path);
    CoTaskMemFree(list);
}

INT_PTR CALLBACK string_proc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam) {
    auto* r = reinterpret_cast<StringRequest*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (msg == WM_INITDIALOG) {
        r = reinterpret_cast<StringRequest*>(lparam);
        SetWindowLongPtrA(dialog, DWLP_USER, lparam);
        SetWindowTextA(dialog, r->caption.c_str());
        SetDlgItemTextA(dialog, IDC_STRING_EDIT, r->value.c_str());
        const bool browse = r->mode == StringMode::File || r->mode == StringMode::Folder || r->mode == StringMode::Item;
        ShowWindow(GetDlgItem(dialog, IDC_STRING_BROWSE), browse ? SW_SHOW : SW_HIDE);
        if (r->mode == StringMode::Item) SetDlgItemTextA(dialog, IDC_STRING_BROWSE, "Remove");
        ShowWindow(GetDlgItem(dialog, IDC_STRING_TODAY),
                   r->mode == StringMode::Plain && r->caption == "Effective date" ? SW_SHOW : SW_HIDE);
        const int both = r->mode == StringMode::TextOrVariable ? SW_SHOW : SW_HIDE;
        ShowWindow(GetDlgItem(dialog, IDC_STRING_TEXT), both);
        ShowWindow(GetDlgItem(dialog, IDC_STRING_VARIABLE), both);
        CheckRadioButton(dialog, IDC_STRING_TEXT, IDC_STRING_VARIABLE,
                         r->variable ? IDC_STRING_VARIABLE : IDC_STRING_TEXT);
        return TRUE;
    }
    if (!r) return FALSE;
    if (msg == WM_CLOSE) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    if (msg != WM_COMMAND) return FALSE;
    switch (LOWORD(wparam)) {
        case IDC_STRING_DONE: {
            char buffer[501] = "";
            GetDlgItemTextA(dialog, IDC_STRING_EDIT, buffer, sizeof buffer);
            r->value = buffer;
            r->variable = IsDlgButtonChecked(dialog, IDC_STRING_VARIABLE) == BST_CHECKED;
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        case IDC_STRING_CANCEL:
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        case IDC_STRING_TODAY: {
            std::time_t now = std::time(nullptr);
            char date[16];
            std::strftime(date, sizeof date, "%Y%m%d", std::localtime(&now));
            SetDlgItemTextA(dialog, IDC_STRING_EDIT, date);
            return TRUE;
        }
        case IDC_STRING_TEXT:
        case IDC_STRING_VARIABLE:
            CheckRadioButton(dialog, IDC_STRING_TEXT, IDC_STRING_VARIABLE, LOWORD(wparam));
            return TRUE;
        case IDC_STRING_BROWSE:
            if (r->mode == StringMode::Item) {
                EndDialog(dialog, IDC_STRING_BROWSE);
            } else if (r->mode == StringMode::Folder) {
                browse_folder(dialog);
            } else {
                browse_file(dialog, *r);
            }
            return TRUE;
        default:
            return FALSE;
    }
}

struct OptionRequest {
    const Field* field;
    int selected;
};

INT_PTR CALLBACK option_proc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam) {
    auto* r = reinterpret_cast<OptionRequest*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (msg == WM_INITDIALOG) {
        r = reinterpret_cast<OptionRequest*>(lparam);
        SetWindowLongPtrA(dialog, DWLP_USER, lparam);
        SetWindowTextA(dialog, r->field->prompt.c_str());
        SetDlgItemTextA(dialog, IDC_OPTION_TEXT, r->field->description.c_str());
        const int count = static_cast<int>(r->field->choices.size());
        for (int i = 0; i < kOptionCount; ++i) {
            HWND radio = GetDlgItem(dialog, IDC_OPTION_FIRST + i);
            if (i < count) {
                SetWindowTextA(radio, r->field->choices[static_cast<std::size_t>(i)].value.c_str());
            } else {
                ShowWindow(radio, SW_HIDE);
            }
        }
        if (r->selected >= 0) CheckDlgButton(dialog, IDC_OPTION_FIRST + r->selected, BST_CHECKED);
        // Shrink to the rows in use: up to 4, up to 8, or the full height.
        const int rows = count <= 4 ? 4 : 8;
        RECT area{0, 0, 10, 34 + rows * 14 + 24};
        MapDialogRect(dialog, &area);
        RECT window, client;
        GetWindowRect(dialog, &window);
        GetClientRect(dialog, &client);
        const int frame = (window.bottom - window.top) - client.bottom;
        SetWindowPos(dialog, nullptr, 0, 0, window.right - window.left, area.bottom + frame, SWP_NOMOVE | SWP_NOZORDER);
        RECT button{0, 34 + rows * 14 + 4, 0, 0};
        MapDialogRect(dialog, &button);
        for (int id : {IDC_OPTION_DONE, IDC_OPTION_CANCEL}) {
            HWND b = GetDlgItem(dialog, id);
            RECT br;
            GetWindowRect(b, &br);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&br), 2);
            SetWindowPos(b, nullptr, br.left, button.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        }
        return TRUE;
    }
    if (!r) return FALSE;
    if (msg == WM_CLOSE) {
        EndDialog(dialog, -1);
        return TRUE;
    }
    if (msg != WM_COMMAND) return FALSE;
    const int id = LOWORD(wparam);
    if (id >= IDC_OPTION_FIRST && id < IDC_OPTION_FIRST + kOptionCount) {
        CheckRadioButton(dialog, IDC_OPTION_FIRST, IDC_OPTION_FIRST + kOptionCount - 1, id);
        return TRUE;
    }
    if (id == IDC_OPTION_DONE) {
        for (int i = 0; i < kOptionCount; ++i) {
            if (IsDlgButtonChecked(dialog, IDC_OPTION_FIRST + i) == BST_CHECKED) EndDialog(dialog, i);
        }
        return TRUE;  // nothing selected: the dialog stays
    }
    if (id == IDC_OPTION_CANCEL || id == IDCANCEL) {
        EndDialog(dialog, -1);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int run_string_dialog(HINSTANCE instance, HWND owner, StringRequest& request) {
    return static_cast<int>(DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_STRING), owner, string_proc,
                                            reinterpret_cast<LPARAM>(&request)));
}

int run_option_dialog(HINSTANCE instance, HWND owner, const Field& field, int selected) {
    OptionRequest r{&field, selected};
    return static_cast<int>(
        DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_OPTION), owner, option_proc, reinterpret_cast<LPARAM>(&r)));
}

}  // namespace dkedit
