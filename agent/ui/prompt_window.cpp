// The prompt window of the worker thread: it shows the pages of input forms and the passphrase
// prompt, and its procedure (run while the worker dispatches messages in the prompt wait) turns
// Done, Cancel and End into variables and flags. Messages and questions are message boxes owned by
// the status window.
#include "prompt_window.h"

#include <windows.h>

#include <commdlg.h>
#include <shlobj.h>

#include <string>

#include "agent_app.h"

namespace dravik {

namespace {

constexpr char kOldProcProperty[] = "DravikOldProc";
constexpr DWORD kPassphraseWaitMs = 120000;
constexpr size_t kMaxPassphrase = 255;

PromptState* state_of(HWND hwnd) { return reinterpret_cast<PromptState*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)); }

std::string window_text(HWND hwnd) {
    const int n = GetWindowTextLengthA(hwnd);
    std::string s(static_cast<size_t>(n) + 1, '\0');
    s.resize(static_cast<size_t>(GetWindowTextA(hwnd, s.data(), n + 1)));
    return s;
}

// The answers as the page's windows hold them.
class WindowReader : public PageReader {
  public:
    explicit WindowReader(const std::vector<HWND>& w) : w_(w) {}
    std::string text(int i) override { return window_text(w_[i]); }
    bool checked(int i) override { return SendMessageA(w_[i], BM_GETCHECK, 0, 0) == BST_CHECKED; }
    std::string selected_item(int i) override {
        const LRESULT sel = SendMessageA(w_[i], CB_GETCURSEL, 0, 0);
        if (sel == CB_ERR) return std::string();
        const LRESULT n = SendMessageA(w_[i], CB_GETLBTEXTLEN, sel, 0);
        if (n == CB_ERR) return std::string();
        std::string s(static_cast<size_t>(n) + 1, '\0');
        SendMessageA(w_[i], CB_GETLBTEXT, sel, reinterpret_cast<LPARAM>(s.data()));
        s.resize(static_cast<size_t>(n));
        return s;
    }

  private:
    const std::vector<HWND>& w_;
};

// The file or folder chooser. Returns the chosen path, or empty when the person cancelled.
std::string BrowseForPath(HWND owner, const std::string& title, const std::string& initial, bool folder) {
    char buffer[MAX_PATH] = "";
    if (folder) {
        lstrcpynA(buffer, initial.c_str(), MAX_PATH);
        const HRESULT com = CoInitialize(nullptr);
        BROWSEINFOA bi{};
        bi.hwndOwner = owner;
        bi.pszDisplayName = buffer;
        bi.lpszTitle = title.c_str();
        bi.ulFlags = BIF_EDITBOX;
        std::string chosen;
        if (LPITEMIDLIST pidl = SHBrowseForFolderA(&bi)) {
            char path[MAX_PATH] = "";
            if (SHGetPathFromIDListA(pidl, path)) chosen = path;
            CoTaskMemFree(pidl);
        }
        if (SUCCEEDED(com)) CoUninitialize();
        return chosen;
    }
    static const char kFilter[] =
        "All Files, (*.*)\0*.*\0Text Files, (*.TXT)\0*.TXT\0Documents, (*.DOC)\0*.DOC\0"
        "Program Files, (*.EXE)\0*.EXE\0";
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = kFilter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = buffer;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrInitialDir = initial.c_str();
    ofn.lpstrTitle = title.c_str();
    ofn.Flags = OFN_LONGNAMES;
    return GetOpenFileNameA(&ofn) ? std::string(buffer) : std::string();
}

// Opens the chooser of the control whose browse button has this id; with `share`, the result also
// goes to the other controls bound to the same variable.
void browse(PromptState& st, int id, bool share) {
    FormPage& page = st.session.page;
    for (size_t i = 0; i < page.controls.size(); ++i) {
        FormControl& c = page.controls[i];
        if (!c.has_chooser || c.control_window < 0 || page.windows[c.control_window].id != id) continue;
        RunState& run = st.app.run;
        const std::string initial = expand_environment(expand_variables(c.name, run.vars), run.services.environment);
        c.chosen_path = BrowseForPath(st.app.prompt, c.label, initial, c.kind == FormKind::kDir);
        if (share) {
            share_chosen_path(page, i,
                              [&st](int w, const std::string& text) { SetWindowTextA(st.windows[w], text.c_str()); });
        }
        return;
    }
}

void destroy_children(PromptState& st) {
    for (HWND w : st.windows) DestroyWindow(w);
    st.windows.clear();
}

// The three ways of leaving a page. Done collects the answers before the controls go.
void answer(PromptState& st, HWND hwnd, int id) {
    ShowWindow(hwnd, SW_HIDE);
    WindowReader reader(st.windows);
    if (st.passphrase_edit && id == kIdDone) {
        // Read before the controls are destroyed below, through a buffer that is wiped after.
        char typed[kMaxPassphrase + 1] = "";
        GetWindowTextA(st.passphrase_edit, typed, sizeof typed);
        st.passphrase = typed;
        SecureZeroMemory(typed, sizeof typed);
        st.passphrase_ok = true;
    }
    answer_page(st.app.run, st.session, id, st.passphrase_edit ? nullptr : &reader);
    st.ring.clear();
    destroy_children(st);
    st.passphrase_edit = nullptr;
    SetEvent(st.app.prompt_event);
}

// A greyed End stays in the ring but is stepped over: focus cannot rest on it, and Tab would stop
// there for good.
void move_focus(PromptState& st, bool backwards) {
    uintptr_t at = reinterpret_cast<uintptr_t>(GetFocus());
    for (size_t i = 0; i < st.ring.size(); ++i) {
        at = backwards ? st.ring.previous(at) : st.ring.next(at);
        HWND to = reinterpret_cast<HWND>(at);
        if (to && IsWindowEnabled(to)) {
            SetFocus(to);
            return;
        }
    }
}

LRESULT CALLBACK PromptWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        return DefWindowProcA(hwnd, msg, wp, lp);
    }
    PromptState* st = state_of(hwnd);
    if (!st) return DefWindowProcA(hwnd, msg, wp, lp);
    switch (msg) {
        case WM_CREATE:
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_CLOSE:
            st->ring.clear();
            DestroyWindow(hwnd);
            return 0;
        case WM_KEYDOWN:
            if (wp == VK_TAB) move_focus(*st, GetKeyState(VK_SHIFT) < 0);
            if (wp == VK_RETURN) answer(*st, hwnd, kIdDone);
            if (wp == VK_ESCAPE) answer(*st, hwnd, kIdCancel);
            return 0;
        case WM_COMMAND: {
            const int id = LOWORD(wp);
            if (id == kIdDone || id == kIdEnd || id == kIdCancel) {
                answer(*st, hwnd, id);
                return 0;
            }
            if (HIWORD(wp) == 0 && id >= kFirstBrowseId) browse(*st, id, true);
            return 0;
        }
        default:
            return DefWindowProcA(hwnd, msg, wp, lp);
    }
}

LRESULT call_old(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, WNDPROC old) {
    return old ? CallWindowProcA(old, hwnd, msg, wp, lp) : 0;
}

// Edits and combo boxes: Tab and Esc go to the prompt window, Enter means Done.
LRESULT CALLBACK EntrySubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto old = reinterpret_cast<WNDPROC>(GetPropA(hwnd, kOldProcProperty));
    if (msg == WM_KEYDOWN) {
        HWND parent = GetParent(hwnd);
        if (wp == VK_TAB || wp == VK_ESCAPE) SendMessageA(parent, WM_KEYDOWN, wp, lp);
        // Posted: Done destroys this control, which must not happen under its own procedure.
        if (wp == VK_RETURN) PostMessageA(parent, WM_COMMAND, kIdDone, 0);
    }
    if (msg == WM_NCDESTROY) RemovePropA(hwnd, kOldProcProperty);
    return call_old(hwnd, msg, wp, lp, old);
}

// Buttons: Tab and Esc go to the prompt window; Enter presses what has the focus, and on a check
// box or radio button means Done.
LRESULT CALLBACK ButtonSubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto old = reinterpret_cast<WNDPROC>(GetPropA(hwnd, kOldProcProperty));
    if (msg == WM_KEYDOWN) {
        HWND parent = GetParent(hwnd);
        if (wp == VK_TAB || wp == VK_ESCAPE) SendMessageA(parent, WM_KEYDOWN, wp, lp);
        if (wp == VK_RETURN) {
            HWND focus = GetFocus();
            const int id = focus ? GetDlgCtrlID(focus) : 0;
            if (id >= kFirstBrowseId) {
                if (PromptState* st = state_of(parent)) browse(*st, id, false);
            } else {
                const int command = id == kIdCancel || id == kIdEnd ? id : kIdDone;
                PostMessageA(parent, WM_COMMAND, static_cast<WPARAM>(command), 0);
            }
        }
    }
    if (msg == WM_NCDESTROY) RemovePropA(hwnd, kOldProcProperty);
    return call_old(hwnd, msg, wp, lp, old);
}

void subclass(HWND w, Subclass kind) {
    if (kind == Subclass::kNone) return;
    WNDPROC proc = kind == Subclass::kButton ? ButtonSubclassProc : EntrySubclassProc;
    auto old = reinterpret_cast<HANDLE>(SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc)));
    SetPropA(w, kOldProcProperty, old);
}

const char* class_name(ChildClass cls) {
    switch (cls) {
        case ChildClass::kEdit:
            return "edit";
        case ChildClass::kComboBox:
            return "combobox";
        case ChildClass::kButton:
            return "button";
        default:
            return "static";
    }
}

HWND create_child(PromptState& st, const ChildWindow& s, HFONT font) {
    HWND w = CreateWindowExA(s.ex_style, class_name(s.cls), s.text.c_str(), s.style, s.x, s.y, s.w, s.h, st.app.prompt,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(s.id)), st.app.instance, nullptr);
    if (!w) return nullptr;
    if (font) SendMessageA(w, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    subclass(w, s.subclass);
    return w;
}

void end_with_program(AgentApp& app);

// Waits for the prompt event while dispatching the worker's window messages; true when it was
// signalled, false on time-out or failure. The status window closing in the meantime ends the
// program: the run does not go on behind the user's back (see end_with_program).
bool wait_dispatching(AgentApp& app, DWORD timeout_ms) {
    const DWORD deadline = GetTickCount() + timeout_ms;
    for (;;) {
        HANDLE handles[2] = {app.prompt_event, app.stop_event.load()};
        const DWORD count = handles[1] ? 2 : 1;
        DWORD left = INFINITE;
        if (timeout_ms != INFINITE) {
            const DWORD now = GetTickCount();
            left = static_cast<LONG>(deadline - now) > 0 ? deadline - now : 0;
        }
        const DWORD r = MsgWaitForMultipleObjects(count, handles, FALSE, left, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) return true;
        if (count == 2 && r == WAIT_OBJECT_0 + 1) end_with_program(app);
        if (r != WAIT_OBJECT_0 + count) return false;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

HFONT make_form_font(const FontMetrics& m) {
    return CreateFontA(m.height, m.avg_width, 0, 0, 300, FALSE, FALSE, FALSE, 0, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, 16, "MS Sans Serif");
}

}  // namespace

PromptState::~PromptState() {
    forget_passphrase();
    if (font) DeleteObject(font);
}

int PromptState::message_box(const std::string& text, const std::string& caption, unsigned flags) {
    return MessageBoxA(app.status, text.c_str(), caption.c_str(), flags);
}

FontMetrics PromptState::form_metrics() {
    HDC dc = GetDC(app.prompt);
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    ReleaseDC(app.prompt, dc);
    FontMetrics m;
    m.height = tm.tmHeight + tm.tmExternalLeading;
    m.avg_width = tm.tmAveCharWidth;
    return m;
}

bool PromptState::show_page(FormSession& s) {
    HWND hwnd = app.prompt;
    const std::string title = std::string(kProgramName) + " - User input required";
    SetWindowPos(hwnd, nullptr, 85, 80, 245, 100, SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
    SetWindowTextA(hwnd, title.c_str());
    ring.clear();
    destroy_children(*this);  // a page that was never answered (the run was not waiting for it)
    if (font) DeleteObject(font);
    font = make_form_font(form_metrics());

    const FormPage& page = s.page;
    for (const ChildWindow& child : page.windows) {
        HWND w = create_child(*this, child, font);
        if (!w) {
            destroy_children(*this);
            return false;
        }
        windows.push_back(w);
        if (child.cls == ChildClass::kComboBox) {
            for (const std::string& item : child.items)
                SendMessageA(w, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
            if (child.selected >= 0) SendMessageA(w, CB_SETCURSEL, static_cast<WPARAM>(child.selected), 0);
        }
        if (child.checked) SendMessageA(w, BM_SETCHECK, BST_CHECKED, 0);
        if (!child.enabled) EnableWindow(w, FALSE);
    }
    for (const RingEntry& e : page.ring) ring.add(e.name, reinterpret_cast<uintptr_t>(windows[e.window]));

    SetWindowPos(hwnd, HWND_TOPMOST, 85, 80, page.width, page.height, SWP_SHOWWINDOW);
    UpdateWindow(hwnd);
    SetFocus(reinterpret_cast<HWND>(ring.first()));
    ResetEvent(app.prompt_event);
    SetFocus(windows[page.focus_window]);
    return true;
}

bool PromptState::wait_for_answer() {
    if (!app.run.running) return false;
    return wait_dispatching(app, INFINITE);
}

void PromptState::close_page() {
    if (!app.prompt) return;
    ShowWindow(app.prompt, SW_HIDE);
    ring.clear();
    destroy_children(*this);
    session.page.controls.clear();
}

void PromptState::forget_passphrase() {
    SecureZeroMemory(passphrase.data(), passphrase.size());
    passphrase.clear();
}

void run_passphrase_prompt(AgentApp& app) {
    PromptState& st = *app.prompt_state;
    HWND hwnd = app.prompt;
    const FontMetrics m = st.form_metrics();
    if (st.font) DeleteObject(st.font);
    st.font = make_form_font(m);
    st.ring.clear();
    destroy_children(st);
    st.passphrase_ok = false;

    ChildWindow label;
    label.text = "Enter Passphrase";
    label.x = 15, label.y = 15, label.w = 150, label.h = 15;
    label.id = kFirstFormId;
    ChildWindow edit;
    edit.cls = ChildClass::kEdit;
    edit.style = kStyleEdit;
    edit.ex_style = kExClientEdge;
    edit.x = 15, edit.y = 45, edit.w = 150, edit.h = 15;
    edit.id = kFirstFormId + 1;
    edit.subclass = Subclass::kEdit;
    ChildWindow ok;
    ok.cls = ChildClass::kButton;
    ok.text = "Ok";
    ok.style = kStyleDefaultButton;
    ok.x = 90, ok.y = 75, ok.w = 45, ok.h = 20;
    ok.id = kIdDone;
    ok.subclass = Subclass::kButton;
    ChildWindow cancel = ok;
    cancel.text = "Cancel";
    cancel.style = kStyleButton;
    cancel.x = 15;
    cancel.id = kIdCancel;
    for (const ChildWindow* s : {&label, &edit, &ok, &cancel}) {
        HWND w = create_child(st, *s, s == &cancel ? nullptr : st.font);
        if (w) st.windows.push_back(w);
    }
    if (st.windows.size() != 4) {
        destroy_children(st);
        return;
    }
    st.passphrase_edit = st.windows[1];
    st.ring.add("btnContinue", reinterpret_cast<uintptr_t>(st.windows[1]));
    st.ring.add("btnCancel", reinterpret_cast<uintptr_t>(st.windows[3]));

    // The window keeps its place but gets the size that shows Ok and Cancel: at its first size of
    // 200 x 100 the caption leaves them below the client area.
    RECT r{0, 0, 180, 105};
    AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongA(hwnd, GWL_EXSTYLE)));
    SetWindowPos(hwnd, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
    ShowWindow(hwnd, SW_SHOWNORMAL);
    UpdateWindow(hwnd);
    ResetEvent(app.prompt_event);
    SetFocus(hwnd);

    wait_dispatching(app, kPassphraseWaitMs);
    // Unanswered: the prompt goes away and nothing was typed.
    if (st.passphrase_edit) st.close_page();
    st.passphrase_edit = nullptr;
    if (!st.passphrase_ok) st.forget_passphrase();
    st.ring.clear();
}

// Returns false when the class cannot be registered. A window that cannot be created is reported
// to the user here and also ends the program.
bool create_prompt_window(AgentApp& app) {
    const std::string name = std::string(kProgramName) + " - User Prompt";
    app.prompt_state = std::make_unique<PromptState>(app);
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = PromptWindowProc;
    wc.hInstance = app.instance;
    wc.hIcon = LoadIconA(app.instance, kProgramName);
    wc.hIconSm = wc.hIcon;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_SCROLLBAR + 1);
    wc.lpszMenuName = name.c_str();
    wc.lpszClassName = name.c_str();
    if (!RegisterClassExA(&wc)) return false;
    app.prompt = CreateWindowExA(WS_EX_WINDOWEDGE, name.c_str(), name.c_str(), WS_OVERLAPPED, 100, 50, 200, 100,
                                 nullptr, nullptr, app.instance, app.prompt_state.get());
    if (!app.prompt) {
        MessageBoxA(app.status, "Error creating message prompts", "Program terminated",
                    MB_OK | MB_ICONSTOP | MB_TOPMOST);
        return false;
    }
    return true;
}

namespace {

// The person closed the status window while a form or the passphrase prompt was up: the program is
// ending and nothing of the run may follow. This thread's windows go first (the system would
// otherwise hold up the process's end for them), then the thread ends here.
void end_with_program(AgentApp& app) {
    close_prompt_window(app);
    ExitThread(0);
}

}  // namespace

// The run is over: a form it did not wait for (one in Cleanup) goes with the window, and the
// passphrase is wiped.
void close_prompt_window(AgentApp& app) {
    if (!app.prompt) return;
    app.prompt_state->close_page();
    app.prompt_state->forget_passphrase();
    DestroyWindow(app.prompt);
    app.prompt = nullptr;
}

}  // namespace dravik
