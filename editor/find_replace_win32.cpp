// The Find and Replace dialogs over the text pane, with the forward search of editor_core.
#include <windows.h>

#include "editor_win32.h"
#include "resource.h"

namespace dkedit {
namespace {

const char kCaption[] = "Search Result";

std::string item_text(HWND dialog, int id) {
    char buffer[500] = "";  // the search and replacement texts hold at most 499 characters
    GetDlgItemTextA(dialog, id, buffer, sizeof buffer);
    return buffer;
}

bool match_case(HWND dialog) { return IsDlgButtonChecked(dialog, IDC_MATCH_CASE) == BST_CHECKED; }

void selection(HWND edit, DWORD& start, DWORD& end) {
    SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
}

// Searches from the selection's end and selects the match.
bool find_next(Editor& e, bool case_sensitive, bool wrap) {
    DWORD start = 0, end = 0;
    selection(e.text, start, end);
    auto m = find_forward(pane_text(e.text), end, e.last_search, case_sensitive, wrap);
    if (!m) return false;
    SendMessageA(e.text, EM_SETSEL, m->start, m->end);
    SendMessageA(e.text, EM_SCROLLCARET, 0, 0);
    return true;
}

bool selection_is_search(Editor& e, bool case_sensitive) {
    DWORD start = 0, end = 0;
    selection(e.text, start, end);
    if (end <= start) return false;
    return same_text(pane_text(e.text).substr(start, end - start), e.last_search, case_sensitive);
}

void replace_selection(Editor& e) {
    SendMessageA(e.text, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(e.last_replace.c_str()));
}

INT_PTR CALLBACK find_proc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam) {
    auto* e = reinterpret_cast<Editor*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (msg == WM_INITDIALOG) {
        e = reinterpret_cast<Editor*>(lparam);
        SetWindowLongPtrA(dialog, DWLP_USER, lparam);
        SetDlgItemTextA(dialog, IDC_SEARCH_TEXT, e->last_search.c_str());
        return TRUE;
    }
    if (msg != WM_COMMAND || !e) return FALSE;
    switch (LOWORD(wparam)) {
        case IDC_FIND_NEXT:
            e->last_search = item_text(dialog, IDC_SEARCH_TEXT);
            if (!find_next(*e, match_case(dialog), true)) MessageBoxA(dialog, "No match found", kCaption, MB_OK);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 0);
            return TRUE;
        default:
            return FALSE;
    }
}

INT_PTR CALLBACK replace_proc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam) {
    auto* e = reinterpret_cast<Editor*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (msg == WM_INITDIALOG) {
        e = reinterpret_cast<Editor*>(lparam);
        SetWindowLongPtrA(dialog, DWLP_USER, lparam);
        SetDlgItemTextA(dialog, IDC_SEARCH_TEXT, e->last_search.c_str());
        SetDlgItemTextA(dialog, IDC_REPLACE_TEXT, e->last_replace.c_str());
        return TRUE;
    }
    if (msg != WM_COMMAND || !e) return FALSE;
    const int id = LOWORD(wparam);
    if (id == IDCANCEL) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    if (id != IDC_FIND_NEXT && id != IDC_REPLACE_ONE && id != IDC_REPLACE_ALL) return FALSE;
    e->last_search = item_text(dialog, IDC_SEARCH_TEXT);
    e->last_replace = item_text(dialog, IDC_REPLACE_TEXT);
    const bool exact = match_case(dialog);
    bool found = true;
    if (id == IDC_FIND_NEXT) {
        found = find_next(*e, exact, true);
    } else if (id == IDC_REPLACE_ONE) {
        found = selection_is_search(*e, exact) || find_next(*e, exact, true);
        if (found) {
            replace_selection(*e);
            found = find_next(*e, exact, true);
        }
    } else {
        SendMessageA(e->text, EM_SETSEL, 0, 0);
        while (find_next(*e, exact, false)) replace_selection(*e);
    }
    if (!found) MessageBoxA(dialog, "No matches found", kCaption, MB_OK);
    return TRUE;
}

}  // namespace

void show_find(Editor& e) {
    DialogBoxParamA(e.instance, MAKEINTRESOURCEA(IDD_FIND), e.window, find_proc, reinterpret_cast<LPARAM>(&e));
}

void show_replace(Editor& e) {
    DialogBoxParamA(e.instance, MAKEINTRESOURCEA(IDD_REPLACE), e.window, replace_proc, reinterpret_cast<LPARAM>(&e));
}

}  // namespace dkedit
