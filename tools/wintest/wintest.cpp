// wintest: a console helper the integration tests run under Wine to find, read and press the
// windows of the programs under test.
//
//   wintest list                                  top-level windows: visible|class|caption
//   wintest procs                                 running processes: id|executable name
//   wintest wait  <caption> [timeout_ms]          waits for a visible top-level window
//   wintest gone  <caption> [timeout_ms]          waits until no visible window has the caption
//   wintest texts <caption> [timeout_ms]          its child controls: id|class|text (CR, LF shown as \r, \n)
//   wintest click <caption> <button> [timeout_ms] presses a button given by its text ('&' ignored) or #id
//   wintest close <caption> [timeout_ms]          sends the close request
//   wintest rects <caption> [timeout_ms]          its client size (client|w|h), then its direct child
//                                                 controls: id|class|x,y,w,h in its client area
//   wintest command <caption> <id> [timeout_ms]   posts the menu or accelerator command id
//   wintest chars <caption> <id> <text> [ms]      types the text into the control with the id
//   wintest settext <caption> <id> <text> [ms]    sets the text of the control (found at any depth)
//   wintest size <caption> <w> <h> [timeout_ms]   gives the window this outer size
//   wintest key <caption> <id> <vk> [timeout_ms]  posts a key press (virtual-key code) to the control
//   wintest shiftkey <caption> <id> <vk> [ms]    as key, with Shift held down in the target's input state
//   wintest focus <caption> [timeout_ms]          the id of the control that has the keyboard focus
//   wintest styles <caption> [timeout_ms]         the window: window|style|exstyle|class brush (hex),
//                                                 then its child controls: id|class|style|exstyle|enabled
//   wintest send <caption> <id> <msg> <wp> <lp> [ms] sends a message (numbers in decimal or 0x hex) to
//                                                 the control with the id, or with id -1 to the window
//                                                 itself; prints the result
//   wintest sendclass <class> <msg> <wp> <lp>     sends a message to the top-level window of the class,
//                                                 visible or not; prints the result
//   wintest run   <command line> [timeout_ms]     starts a program with exactly this command line,
//                                                 waits for it and exits with its exit code
//   wintest hold  <path> <ms> [share]             opens a file with the share mode (default 0: none),
//                                                 prints "held", keeps it open for ms
//   wintest attr  <path> [attributes]             sets the attributes (hex) when given; prints them
//   wintest sd    <path> [sddl]                   sets the file's DACL when given; prints owner,
//                                                 group and DACL as SDDL
//   wintest lnk   <path>                          reads a shortcut: target|arguments|directory|show
//                                                 (show from the file's header)
//
// Exit code 0 on success, 1 when the window or button was not found in time, 2 on bad usage.
#include <windows.h>

#include <shlobj.h>

#include <sddl.h>

#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string window_text(HWND hwnd) {
    char buffer[4096];
    buffer[0] = '\0';
    GetWindowTextA(hwnd, buffer, sizeof buffer);
    return buffer;
}

// A control's text, asked of its owner with a time limit: a busy program must not hang the helper.
std::string control_text(HWND hwnd) {
    char buffer[4096];
    buffer[0] = '\0';
    DWORD_PTR result = 0;
    SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 3000,
                        &result);
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}

std::string class_name(HWND hwnd) {
    char buffer[256];
    buffer[0] = '\0';
    GetClassNameA(hwnd, buffer, sizeof buffer);
    return buffer;
}

struct FindRequest {
    std::string caption;
    HWND found = nullptr;
};

BOOL CALLBACK find_visible(HWND hwnd, LPARAM param) {
    auto* req = reinterpret_cast<FindRequest*>(param);
    if (IsWindowVisible(hwnd) && window_text(hwnd) == req->caption) {
        req->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND find_window(const std::string& caption) {
    FindRequest req{caption};
    EnumWindows(find_visible, reinterpret_cast<LPARAM>(&req));
    return req.found;
}

HWND wait_window(const std::string& caption, DWORD timeout_ms) {
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND h = find_window(caption)) return h;
        if (GetTickCount() - start >= timeout_ms) return nullptr;
        Sleep(100);
    }
}

BOOL CALLBACK collect_child(HWND hwnd, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> children(HWND parent) {
    std::vector<HWND> out;
    EnumChildWindows(parent, collect_child, reinterpret_cast<LPARAM>(&out));
    return out;
}

std::string escaped(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else {
            out += c;
        }
    }
    return out;
}

std::string without_ampersands(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c != '&') out += c;
    }
    return out;
}

BOOL CALLBACK print_top_level(HWND hwnd, LPARAM) {
    std::printf("%d|%s|%s\n", IsWindowVisible(hwnd) ? 1 : 0, class_name(hwnd).c_str(), window_text(hwnd).c_str());
    return TRUE;
}

int print_processes() {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return 1;
    PROCESSENTRY32 pe{};
    pe.dwSize = sizeof pe;
    for (BOOL more = Process32First(snap, &pe); more; more = Process32Next(snap, &pe)) {
        std::printf("%lu|%s\n", pe.th32ProcessID, pe.szExeFile);
    }
    CloseHandle(snap);
    return 0;
}

DWORD timeout_arg(int argc, char** argv, int index) {
    return argc > index ? static_cast<DWORD>(std::strtoul(argv[index], nullptr, 10)) : 10000;
}

// Runs a command line as given (no re-quoting of its words) and returns its exit code.
int run_program(const std::string& command_line, DWORD timeout_ms) {
    std::vector<char> line(command_line.begin(), command_line.end());
    line.push_back('\0');
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        std::fprintf(stderr, "wintest: cannot start %s (error %lu)\n", command_line.c_str(), GetLastError());
        return 3;
    }
    CloseHandle(pi.hThread);
    DWORD code = 4;
    if (WaitForSingleObject(pi.hProcess, timeout_ms) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

// Keeps a file open the way another program (a scanner, an editor) would.
int hold_file(const std::string& path, DWORD ms, DWORD share) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "wintest: cannot open %s (error %lu)\n", path.c_str(), GetLastError());
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    Sleep(ms);
    CloseHandle(h);
    return 0;
}

int file_attributes(const std::string& path, const char* set) {
    if (set && !SetFileAttributesA(path.c_str(), static_cast<DWORD>(std::strtoul(set, nullptr, 16)))) return 1;
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return 1;
    std::printf("%lx\n", attributes);
    return 0;
}

int file_security(const std::string& path, const char* set) {
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                      DACL_SECURITY_INFORMATION;
    if (set) {
        PSECURITY_DESCRIPTOR sd = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(set, SDDL_REVISION_1, &sd, nullptr)) return 1;
        BOOL ok = SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, sd);
        LocalFree(sd);
        if (!ok) return 1;
    }
    DWORD size = 0;
    GetFileSecurityA(path.c_str(), what, nullptr, 0, &size);
    std::vector<char> sd(size ? size : 1);
    if (!GetFileSecurityA(path.c_str(), what, sd.data(), size, &size)) return 1;
    char* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(sd.data(), SDDL_REVISION_1, what, &text, nullptr)) {
        return 1;
    }
    std::printf("%s\n", text);
    LocalFree(text);
    return 0;
}

// The ShowCommand field of a link file's header (MS-SHLLINK 2.1: a 32-bit value at offset 60). Wine's
// shell link loads a file without it (GetShowCmd then gives 1), so it is read from the file.
int header_show_command(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    unsigned char header[64];
    DWORD got = 0;
    bool ok = ReadFile(h, header, sizeof header, &got, nullptr) && got == sizeof header;
    CloseHandle(h);
    if (!ok) return -1;
    return header[60] | header[61] << 8 | header[62] << 16 | header[63] << 24;
}

// Reads a shortcut back through the shell-link component, as the shell would.
int print_link(const std::string& path) {
    if (FAILED(CoInitialize(nullptr))) return 1;
    int result = 1;
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    WCHAR wide[MAX_PATH];
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH) && SUCCEEDED(file->Load(wide, STGM_READ))) {
        char target[MAX_PATH] = "", arguments[1024] = "", directory[MAX_PATH] = "";
        link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
        link->GetArguments(arguments, sizeof arguments);
        link->GetWorkingDirectory(directory, MAX_PATH);
        std::printf("%s|%s|%s|%d\n", target, arguments, directory, header_show_command(path));
        result = 0;
    }
    if (file) file->Release();
    if (link) link->Release();
    CoUninitialize();
    return result;
}

HWND find_control(HWND window, int id) {
    for (HWND child : children(window)) {
        if (GetDlgCtrlID(child) == id) return child;
    }
    return nullptr;
}

int print_rects(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    std::printf("client|%ld|%ld\n", client.right, client.bottom);
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT r{};
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        std::printf("%d|%s|%ld,%ld,%ld,%ld\n", GetDlgCtrlID(child), class_name(child).c_str(), r.left, r.top,
                    r.right - r.left, r.bottom - r.top);
    }
    return 0;
}

int print_styles(HWND window) {
    std::printf("window|%lx|%lx|%llx\n", static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE)),
                static_cast<unsigned long>(GetWindowLongA(window, GWL_EXSTYLE)),
                static_cast<unsigned long long>(GetClassLongPtrA(window, GCLP_HBRBACKGROUND)));
    for (HWND child : children(window)) {
        std::printf("%d|%s|%lx|%lx|%d\n", GetDlgCtrlID(child), class_name(child).c_str(),
                    static_cast<unsigned long>(GetWindowLongA(child, GWL_STYLE)),
                    static_cast<unsigned long>(GetWindowLongA(child, GWL_EXSTYLE)), IsWindowEnabled(child) ? 1 : 0);
    }
    return 0;
}

long long number_arg(const char* text) { return std::strtoll(text, nullptr, 0); }

int usage() {
    std::fprintf(stderr,
                 "usage: wintest list | procs | wait|gone|texts|close <caption> [ms] | click <caption> <button> [ms]"
                 " | run <command line> [ms] | hold <path> <ms> [share] | attr <path> [hex]"
                 " | sd <path> [sddl] | lnk <path> | rects <caption> [ms] | command <caption> <id> [ms]"
                 " | chars|settext <caption> <id> <text> [ms] | size <caption> <w> <h> [ms]"
                 " | key <caption> <id> <vk> [ms] | focus <caption> [ms] | styles <caption> [ms]"
                 " | send <caption> <id> <msg> <wp> <lp> [ms] | sendclass <class> <msg> <wp> <lp>\n");
    return 2;
}

}  // namespace

// Tree view, list view and edit selection commands (controls.cpp).
bool is_control_command(const std::string& cmd);
int control_command(const std::string& cmd, HWND window, int argc, char** argv);

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string cmd = argv[1];
    if (cmd == "list") {
        EnumWindows(print_top_level, 0);
        return 0;
    }
    if (cmd == "procs") return print_processes();
    if (argc < 3) return usage();
    if (cmd == "run") return run_program(argv[2], timeout_arg(argc, argv, 3));
    if (cmd == "hold") {
        return hold_file(argv[2], timeout_arg(argc, argv, 3), argc > 4 ? std::strtoul(argv[4], nullptr, 10) : 0);
    }
    if (cmd == "attr") return file_attributes(argv[2], argc > 3 ? argv[3] : nullptr);
    if (cmd == "lnk") return print_link(argv[2]);
    if (cmd == "sendclass") {
        if (argc < 6) return usage();
        HWND target = FindWindowA(argv[2], nullptr);
        DWORD_PTR result = 0;
        if (!target || !SendMessageTimeoutA(
                           target, static_cast<UINT>(number_arg(argv[3])), static_cast<WPARAM>(number_arg(argv[4])),
                           static_cast<LPARAM>(number_arg(argv[5])), SMTO_ABORTIFHUNG, 10000, &result)) {
            return 1;
        }
        std::printf("%lld\n", static_cast<long long>(result));
        return 0;
    }
    if (cmd == "sd") return file_security(argv[2], argc > 3 ? argv[3] : nullptr);
    const std::string caption = argv[2];

    if (cmd == "gone") {
        DWORD timeout = timeout_arg(argc, argv, 3);
        DWORD start = GetTickCount();
        while (find_window(caption)) {
            if (GetTickCount() - start >= timeout) return 1;
            Sleep(100);
        }
        return 0;
    }

    if (is_control_command(cmd)) return control_command(cmd, wait_window(caption, 20000), argc, argv);

    const bool two_args = cmd == "chars" || cmd == "settext" || cmd == "size" || cmd == "key" || cmd == "shiftkey";
    const DWORD timeout = timeout_arg(argc, argv,
                                      cmd == "send"                        ? 7
                                      : two_args                           ? 5
                                      : cmd == "click" || cmd == "command" ? 4
                                                                           : 3);
    HWND window = wait_window(caption, timeout);
    if (!window) {
        std::fprintf(stderr, "wintest: no window \"%s\"\n", caption.c_str());
        return 1;
    }
    if (cmd == "wait") return 0;
    if (cmd == "close") {
        PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    }
    if (cmd == "rects") return print_rects(window);
    if (cmd == "styles") return print_styles(window);
    if (cmd == "send") {
        if (argc < 7) return usage();
        const int id = std::atoi(argv[3]);
        HWND target = id == -1 ? window : find_control(window, id);
        if (!target) return 1;
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(target, static_cast<UINT>(number_arg(argv[4])),
                                 static_cast<WPARAM>(number_arg(argv[5])), static_cast<LPARAM>(number_arg(argv[6])),
                                 SMTO_ABORTIFHUNG, 10000, &result)) {
            return 1;
        }
        std::printf("%lld\n", static_cast<long long>(result));
        return 0;
    }
    if (cmd == "focus") {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return 1;
        std::printf("%d\n", info.hwndFocus ? GetDlgCtrlID(info.hwndFocus) : 0);
        return 0;
    }
    if (cmd == "command") {
        if (argc < 4) return usage();
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(std::atoi(argv[3]), 0), 0);
        return 0;
    }
    if (two_args) {
        if (argc < 5) return usage();
        if (cmd == "size") {
            return SetWindowPos(window, nullptr, 0, 0, std::atoi(argv[3]), std::atoi(argv[4]),
                                SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE)
                       ? 0
                       : 1;
        }
        HWND control = find_control(window, std::atoi(argv[3]));
        if (!control) return 1;
        if (cmd == "shiftkey") {
            // Sharing the target thread's input state lets Shift be set for it; the posted key then
            // reads it with GetKeyState as a typed one would.
            const DWORD self = GetCurrentThreadId(), target = GetWindowThreadProcessId(control, nullptr);
            if (!AttachThreadInput(self, target, TRUE)) return 1;
            BYTE keys[256];
            GetKeyboardState(keys);
            keys[VK_SHIFT] |= 0x80;
            SetKeyboardState(keys);
            PostMessageA(control, WM_KEYDOWN, static_cast<WPARAM>(std::atoi(argv[4])), 1);
            Sleep(1000);
            keys[VK_SHIFT] &= 0x7F;
            SetKeyboardState(keys);
            AttachThreadInput(self, target, FALSE);
            return 0;
        }
        if (cmd == "key") {
            const UINT vk = static_cast<UINT>(std::atoi(argv[4]));
            const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(vk, 0)) << 16;
            PostMessageA(control, WM_KEYDOWN, vk, scan | 1);
            PostMessageA(control, WM_KEYUP, vk, scan | 1 | 0xC0000000);
            return 0;
        }
        if (cmd == "settext") return SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4])) ? 0 : 1;
        for (const char* c = argv[4]; *c; ++c) {
            PostMessageA(control, WM_CHAR, static_cast<unsigned char>(*c), 1);
        }
        return 0;
    }
    if (cmd == "texts") {
        for (HWND child : children(window)) {
            std::printf("%d|%s|%s\n", GetDlgCtrlID(child), class_name(child).c_str(),
                        escaped(control_text(child)).c_str());
        }
        return 0;
    }
    if (cmd == "click") {
        if (argc < 4) return usage();
        const std::string button = argv[3];
        for (HWND child : children(window)) {
            bool match = button.size() > 1 && button[0] == '#'
                             ? GetDlgCtrlID(child) == std::atoi(button.c_str() + 1)
                             : without_ampersands(control_text(child)) == without_ampersands(button);
            if (!match) continue;
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(child), BN_CLICKED),
                         reinterpret_cast<LPARAM>(child));
            return 0;
        }
        std::fprintf(stderr, "wintest: no button \"%s\" in \"%s\"\n", button.c_str(), caption.c_str());
        return 1;
    }
    return usage();
}
