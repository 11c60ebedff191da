// The editor's main window: its controls, the font, the layout on resize, the menu commands and
// the keys handled outside the accelerator table (Tab order, Enter, F1 contexts).
#include <windows.h>

#include <commctrl.h>

#include <iterator>

#include "builder_win32.h"
#include "editor_win32.h"
#include "resource.h"

namespace dkedit {

INT_PTR CALLBACK about_proc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam);

namespace {

const char kClass[] = "DkEdit";
constexpr int kHelpMain = 501, kHelpBuilder = 505, kHelpText = 510;

HWND make_control(Editor& e, DWORD ex_style, const char* cls, const char* text, DWORD style, int x, int y, int w, int h,
                  int id) {
    HWND hwnd = CreateWindowExA(ex_style, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, e.window,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), e.instance, nullptr);
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(e.font), FALSE);
    return hwnd;
}

HWND make_button(Editor& e, const char* text, int x, int y, int w, int h, int id) {
    return make_control(e, WS_EX_STATICEDGE, "button", text, BS_PUSHBUTTON | WS_BORDER | WS_TABSTOP, x, y, w, h, id);
}

void create_font(Editor& e) {
    HDC dc = GetDC(e.window);
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    ReleaseDC(e.window, dc);
    e.font = CreateFontA(tm.tmHeight + tm.tmExternalLeading, tm.tmAveCharWidth, 0, 0, 300, FALSE, FALSE, FALSE,
                         DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_ROMAN,
                         "MS Sans Serif");
}

void add_column(HWND list, int index, const char* text, int width) {
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<char*>(text);
    column.cx = width;
    SendMessageA(list, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&column));
}

void create_controls(Editor& e) {
    create_font(e);
    e.tree = make_control(e, WS_EX_CLIENTEDGE, WC_TREEVIEWA, "Command Builder",
                          WS_TABSTOP | TVS_HASBUTTONS | TVS_SHOWSELALWAYS | TVS_NOTOOLTIPS, 0, 0, 180, 410, IDC_TREE);
    e.fields = make_control(e, WS_EX_CLIENTEDGE, WC_LISTVIEWA, "Values",
                            WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHAREIMAGELISTS | LVS_NOSORTHEADER, 190, 0,
                            442, 160, IDC_FIELDS);
    add_column(e.fields, 0, "Name", 165);
    add_column(e.fields, 1, "Value", 256);
    e.add = make_button(e, "&Add", 204, 170, 80, 25, IDC_ADD);
    e.analyze = make_button(e, "A&nalyze", 308, 170, 80, 25, IDC_ANALYZE);
    e.remove = make_button(e, "&Delete", 412, 170, 80, 25, IDC_DELETE);
    e.reset = make_button(e, "&Reset Values", 516, 170, 95, 25, IDC_RESET);
    e.preview = make_control(e, WS_EX_CLIENTEDGE | WS_EX_WINDOWEDGE, "edit", "Command Line",
                             ES_LEFT | ES_READONLY | ES_AUTOHSCROLL | ES_NOHIDESEL, 190, 205, 410, 23, IDC_PREVIEW);
    e.previous = make_button(e, "<", 602, 205, 15, 23, IDC_PREVIOUS);
    e.next = make_button(e, ">", 617, 205, 15, 23, IDC_NEXT);
    e.text = make_control(
        e, WS_EX_CLIENTEDGE | WS_EX_WINDOWEDGE, "edit", "Edit Box",
        ES_MULTILINE | WS_VSCROLL | WS_HSCROLL | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_NOHIDESEL | WS_TABSTOP, 190, 240,
        442, 168, IDC_TEXT);
    // The default limit (about 30,000 characters under Wine, 32,767 on Windows) would cut documents.
    SendMessageA(e.text, EM_SETLIMITTEXT, 0, 0);
    SetWindowTextA(e.text, "");
    SetWindowTextA(e.preview, "");
}

void layout(Editor& e, WPARAM kind, int w, int h) {
    e.placement.maximized = kind == SIZE_MAXIMIZED;
    if (kind == SIZE_MINIMIZED) return;
    e.placement.width = w;
    e.placement.height = h;
    if (w >= 632) {
        MoveWindow(e.fields, 190, 0, w - 190, 160, TRUE);
        SendMessageA(e.fields, LVM_SETCOLUMNWIDTH, 1, w - 376);
    }
    if (h > 409) MoveWindow(e.tree, 0, 0, 180, h + 1, TRUE);
    if (w > 220) {
        MoveWindow(e.previous, w - 30, 205, 15, 23, TRUE);
        MoveWindow(e.next, w - 15, 205, 15, 23, TRUE);
    }
    MoveWindow(e.preview, 190, 205, w - 222, 23, TRUE);
    MoveWindow(e.text, 190, 240, w - 190, h - 241, TRUE);
}

void on_command(Editor& e, int id, int code, HWND from) {
    if (from == e.text) {
        if (code == EN_SETFOCUS) end_update_mode(e);
        if (code == EN_CHANGE) {
            e.modified = true;
            char title[300];
            GetWindowTextA(e.window, title, sizeof title);
            std::string next = modified_title(title, e.path);
            if (next != title) SetWindowTextA(e.window, next.c_str());
        }
        return;
    }
    if (id >= ID_RECENT_FIRST && id <= ID_RECENT_LAST) {
        char item[300] = "";
        GetMenuStringA(GetMenu(e.window), id, item, sizeof item, MF_BYCOMMAND);
        // "No Files" opens with an empty text, which shows the open dialog.
        open_document(e, std::string(item) == "No Files" ? std::string() : std::string(item));
        return;
    }
    if (builder_command(e, id, code)) return;
    switch (id) {
        case ID_FILE_NEW:
            new_document(e);
            // Only a New that went through (not cancelled at the save prompt) resets the builder.
            if (e.path.empty() && !e.modified && GetWindowTextLengthA(e.text) == 0) reset_builder(e);
            break;
        case ID_FILE_OPEN:
            open_document(e, "");
            break;
        case ID_FILE_SAVE:
            save_document(e, false);
            break;
        case ID_FILE_SAVE_AS:
            save_document(e, true);
            break;
        case ID_FILE_EXIT:
            SendMessageA(e.window, WM_CLOSE, 0, 0);
            break;
        case ID_EDIT_FIND:
            show_find(e);
            break;
        case ID_EDIT_REPLACE:
            show_replace(e);
            break;
        case ID_EDIT_CHECK:
            check_script_command(e);
            break;
        case ID_HELP_HELP:
            e.help.show(e.window, kHelpMain);
            break;
        case ID_HELP_ABOUT:
            DialogBoxParamA(e.instance, MAKEINTRESOURCEA(IDD_ABOUT), e.window, about_proc, 0);
            break;
        default:
            break;  // the builder's commands belong to the command builder
    }
}

LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    auto* e = reinterpret_cast<Editor*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (msg == WM_NCCREATE) {
        e = static_cast<Editor*>(reinterpret_cast<CREATESTRUCTA*>(lparam)->lpCreateParams);
        e->window = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(e));
    }
    if (!e) return DefWindowProcA(hwnd, msg, wparam, lparam);
    switch (msg) {
        case WM_CREATE:
            create_controls(*e);
            create_builder(*e);
            if (!e->command_line_file.empty()) open_document(*e, "&1) " + e->command_line_file);
            return 0;
        case WM_SIZE:
            layout(*e, wparam, LOWORD(lparam), HIWORD(lparam));
            return 0;
        case WM_MOVE:
            e->placement.x = static_cast<short>(LOWORD(lparam));
            e->placement.y = static_cast<short>(HIWORD(lparam));
            return 0;
        case WM_NOTIFY: {
            // A tree item asked to expand is also selected.
            auto* tree = reinterpret_cast<NMTREEVIEWA*>(lparam);
            if (tree->hdr.hwndFrom == e->tree && tree->hdr.code == TVN_ITEMEXPANDINGA) {
                SendMessageA(e->tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(tree->itemNew.hItem));
            }
            builder_notify(*e, tree->hdr);
            return 0;
        }
        case WM_INITMENUPOPUP:
            rebuild_recent_menu(reinterpret_cast<HMENU>(wparam));
            return 0;
        case WM_COMMAND:
            on_command(*e, LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam));
            return 0;
        case WM_CLOSE:
            if (!save_prompt(*e, kCloseQuestion)) return 0;
            write_placement(e->placement);
            DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            e->help.close();
            PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY:
            destroy_builder(*e);
            if (e->font) DeleteObject(e->font);
            e->font = nullptr;
            e->window = nullptr;
            break;
        default:
            break;
    }
    return DefWindowProcA(hwnd, msg, wparam, lparam);
}

}  // namespace

INT_PTR CALLBACK about_proc(HWND dialog, UINT msg, WPARAM wparam, LPARAM) {
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

bool register_main_class(HINSTANCE instance) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = window_proc;
    wc.hInstance = instance;
    wc.hIcon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_DKEDIT), IMAGE_ICON, 32, 32, 0));
    wc.hIconSm = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_DKEDIT), IMAGE_ICON, 16, 16, 0));
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszMenuName = kClass;
    wc.lpszClassName = kClass;
    return RegisterClassExA(&wc) != 0;
}

HWND create_main_window(Editor& e) {
    return CreateWindowExA(0, kClass, kClass, WS_OVERLAPPEDWINDOW, e.placement.x, e.placement.y, e.placement.width,
                           e.placement.height, nullptr, nullptr, e.instance, &e);
}

bool pre_translate(Editor& e, MSG& msg) {
    if (msg.message != WM_KEYDOWN || !e.window) return false;
    const HWND order[] = {e.tree, e.fields, e.add, e.analyze, e.remove, e.reset, e.previous, e.next, e.text};
    const int count = static_cast<int>(std::size(order));
    int at = -1;
    for (int i = 0; i < count; ++i) {
        if (msg.hwnd == order[i] || IsChild(order[i], msg.hwnd)) at = i;
    }
    const bool in_builder = at >= 0 && order[at] != e.text;
    const bool control = GetKeyState(VK_CONTROL) < 0, shift = GetKeyState(VK_SHIFT) < 0;
    switch (msg.wParam) {
        case VK_F1:
            e.help.show(e.window, at < 0 ? kHelpMain : in_builder ? kHelpBuilder : kHelpText);
            return true;
        case VK_TAB:
            if (at >= 0 && !in_builder && !control) return false;  // a tab character in the text
            if (at < 0 && GetAncestor(msg.hwnd, GA_ROOT) != e.window) return false;
            SetFocus(at < 0 ? order[0] : order[(at + (shift ? count - 1 : 1)) % count]);
            return true;
        case VK_RETURN:
            if (in_builder && order[at] != e.fields) {
                SendMessageA(e.window, WM_COMMAND, IDC_ADD, 0);
                return true;
            }
            return false;
        default:
            return false;
    }
}

}  // namespace dkedit
