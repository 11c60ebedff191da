#include "commands/process_win32.h"

#include <shellapi.h>

#include <psapi.h>
#include <tlhelp32.h>
#include <vdmdbg.h>

#include <vector>

#include "engine/platform_win32.h"
#include "engine/text.h"

namespace dravik {

namespace {

constexpr DWORD kNameBuffer = 260;

class Win32Process : public Process {
  public:
    explicit Win32Process(HANDLE h) : h_(h) {}
    ~Win32Process() override {
        if (h_) CloseHandle(h_);
    }
    Win32Process(const Win32Process&) = delete;
    Win32Process& operator=(const Win32Process&) = delete;
    HANDLE handle() const { return h_; }

  private:
    HANDLE h_;
};

class Library {
  public:
    explicit Library(const char* name) : h_(LoadLibraryA(name)) {}
    ~Library() {
        if (h_) FreeLibrary(h_);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    explicit operator bool() const { return h_ != nullptr; }

    // Null when the library or the function is missing. The detour through void (*)() is the
    // generic function pointer type, which keeps -Wcast-function-type quiet.
    template <typename F>
    F function(const char* name) const {
        return h_ ? reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(h_, name))) : nullptr;
    }

  private:
    HMODULE h_;
};

// The shell's own error number, for the rare failure that leaves no system error code.
DWORD error_from_shell_result(HINSTANCE result) {
    switch (reinterpret_cast<INT_PTR>(result)) {
        case SE_ERR_FNF:
            return ERROR_FILE_NOT_FOUND;
        case SE_ERR_PNF:
            return ERROR_PATH_NOT_FOUND;
        case SE_ERR_ACCESSDENIED:
            return ERROR_ACCESS_DENIED;
        case SE_ERR_OOM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case SE_ERR_SHARE:
            return ERROR_SHARING_VIOLATION;
        case SE_ERR_DLLNOTFOUND:
            return ERROR_DLL_NOT_FOUND;
        case SE_ERR_NOASSOC:
        case SE_ERR_ASSOCINCOMPLETE:
            return ERROR_NO_ASSOCIATION;
        case SE_ERR_DDETIMEOUT:
        case SE_ERR_DDEFAIL:
        case SE_ERR_DDEBUSY:
            return ERROR_DDE_FAIL;
        default:
            return ERROR_BAD_FORMAT;
    }
}

bool path_matches(const char* path, const std::string& lower_name) {
    return to_lower_ascii(path).find(lower_name) != std::string::npos;
}

// The NT search: every process's first module path. kNoProcessList when PSAPI is not there.
ProcessSearch find_with_psapi(const std::string& lower_name, std::unique_ptr<Process>& match) {
    using EnumProcessesFn = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
    using EnumModulesFn = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
    using ModuleNameFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
    Library psapi("PSAPI.DLL");
    auto enum_processes = psapi.function<EnumProcessesFn>("EnumProcesses");
    auto enum_modules = psapi.function<EnumModulesFn>("EnumProcessModules");
    auto module_name = psapi.function<ModuleNameFn>("GetModuleFileNameExA");
    if (!enum_processes || !enum_modules || !module_name) return ProcessSearch::kNoProcessList;
    // VDMDBG lists the 16-bit tasks inside NTVDM. They are matched by NTVDM's path, not by their own
    // names, so the library is optional: a system without it is searched with PSAPI alone.
    Library vdmdbg("VDMDBG.DLL");
    (void)vdmdbg.function<VDMENUMTASKWOWEXPROC>("VDMEnumTaskWOWEx");

    // A list that fills the buffer exactly may have been cut: try again with twice the room.
    std::vector<DWORD> ids;
    DWORD bytes = 0;
    for (size_t room = 1024 / sizeof(DWORD);; room *= 2) {
        ids.resize(room);
        if (!enum_processes(ids.data(), static_cast<DWORD>(room * sizeof(DWORD)), &bytes)) {
            return ProcessSearch::kNoProcessList;
        }
        if (bytes < room * sizeof(DWORD)) break;
    }
    ids.resize(bytes / sizeof(DWORD));

    for (DWORD id : ids) {
        HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, id);
        if (!h) continue;
        char path[kNameBuffer] = "";
        HMODULE first = nullptr;
        DWORD needed = 0;
        if (!enum_modules(h, &first, sizeof first, &needed) || !module_name(h, first, path, kNameBuffer)) {
            path[0] = '\0';
        }
        if (path_matches(path, lower_name)) {
            match = std::make_unique<Win32Process>(h);
            return ProcessSearch::kFound;
        }
        CloseHandle(h);
    }
    return ProcessSearch::kNotFound;
}

// The Windows 95 search: the executable names of a toolhelp snapshot.
ProcessSearch find_with_toolhelp(const std::string& lower_name, std::unique_ptr<Process>& match) {
    using SnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
    using WalkFn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32*);
    Library kernel("Kernel32.DLL");
    auto snapshot = kernel.function<SnapshotFn>("CreateToolhelp32Snapshot");
    auto first = kernel.function<WalkFn>("Process32First");
    auto next = kernel.function<WalkFn>("Process32Next");
    if (!snapshot || !first || !next) return ProcessSearch::kNoProcessList;

    HANDLE snap = snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return ProcessSearch::kNoProcessList;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    ProcessSearch result = ProcessSearch::kNotFound;
    for (BOOL more = first(snap, &entry); more; more = next(snap, &entry)) {
        if (!path_matches(entry.szExeFile, lower_name)) continue;
        // A match that cannot be opened counts as no match.
        if (HANDLE h = OpenProcess(PROCESS_ALL_ACCESS, FALSE, entry.th32ProcessID)) {
            match = std::make_unique<Win32Process>(h);
            result = ProcessSearch::kFound;
        }
        break;
    }
    CloseHandle(snap);
    return result;
}

OSVERSIONINFOA version_info() {
    OSVERSIONINFOA vi{};
    vi.dwOSVersionInfoSize = sizeof vi;
    GetVersionExA(&vi);
    return vi;
}

}  // namespace

std::unique_ptr<Process> Win32ProcessHost::start(const StartRequest& request, std::string& error_text) {
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    // No error box: an unattended run would wait for a click forever. NOASYNC because the worker
    // thread has no message loop to finish an asynchronous start with.
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.hwnd = owner_;
    info.lpVerb = "open";
    info.lpFile = request.file.c_str();
    info.lpParameters = request.parameters.empty() ? nullptr : request.parameters.c_str();
    info.lpDirectory = request.directory.empty() ? nullptr : request.directory.c_str();
    info.nShow = request.show;
    SetLastError(ERROR_SUCCESS);
    if (!ShellExecuteExA(&info)) {
        DWORD code = GetLastError();  // before anything else can change it
        if (code == ERROR_SUCCESS) code = error_from_shell_result(info.hInstApp);
        error_text = system_error_text(code);
        return nullptr;
    }
    // A document handed to a program that was already running gives no process to wait for.
    return std::make_unique<Win32Process>(info.hProcess);
}

WaitEnd Win32ProcessHost::wait(Process& process, int32_t timeout_ms) {
    HANDLE h = static_cast<Win32Process&>(process).handle();
    if (!h) return WaitEnd::kFailed;
    const DWORD started = GetTickCount();
    for (;;) {
        DWORD remaining = INFINITE;
        if (timeout_ms >= 0) {
            DWORD spent = GetTickCount() - started;
            if (spent >= static_cast<DWORD>(timeout_ms)) return WaitEnd::kTimedOut;
            remaining = static_cast<DWORD>(timeout_ms) - spent;
        }
        if (HANDLE stop = stop_event_.load()) {
            HANDLE both[2] = {h, stop};
            switch (WaitForMultipleObjects(2, both, FALSE, remaining)) {
                case WAIT_OBJECT_0:
                    return WaitEnd::kEnded;
                case WAIT_OBJECT_0 + 1:
                    return WaitEnd::kStopped;
                case WAIT_TIMEOUT:
                    return WaitEnd::kTimedOut;
                default:
                    return WaitEnd::kFailed;
            }
        }
        // The stop event does not exist yet: watch the closing flag until it does.
        if (closing_) return WaitEnd::kStopped;
        DWORD r = WaitForSingleObject(h, remaining < 50 ? remaining : 50);
        if (r == WAIT_OBJECT_0) return WaitEnd::kEnded;
        if (r == WAIT_FAILED) return WaitEnd::kFailed;
    }
}

ProcessSearch Win32ProcessHost::find(const std::string& lower_name, std::unique_ptr<Process>& match) {
    switch (version_info().dwPlatformId) {
        case VER_PLATFORM_WIN32_NT: {
            ProcessSearch result = find_with_psapi(lower_name, match);
            return result == ProcessSearch::kNoProcessList ? find_with_toolhelp(lower_name, match) : result;
        }
        case VER_PLATFORM_WIN32_WINDOWS:
            return find_with_toolhelp(lower_name, match);
        default:
            return ProcessSearch::kNotWin32;
    }
}

void Win32ProcessHost::enter_directory(const std::string& path) {
    if (!SetCurrentDirectoryA(path.c_str())) CreateDirectoryA(path.c_str(), nullptr);
}

void Win32ProcessHost::clear_attributes(const std::string& path) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

std::string Win32ProcessHost::windows_directory() {
    char buffer[MAX_PATH];
    UINT n = GetWindowsDirectoryA(buffer, sizeof buffer);
    return n && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

int nt_version_code() {
    OSVERSIONINFOA vi = version_info();
    if (vi.dwPlatformId != VER_PLATFORM_WIN32_NT) return 0;
    DWORD major = vi.dwMajorVersion, minor = vi.dwMinorVersion;
    if (major == 3 && minor == 50) return 350;
    if (major == 3 && minor == 51) return 351;
    if (major == 4 && minor == 0) return 400;
    if (major == 5 && minor == 0) return 2000;
    if (major == 5 && minor == 1) return 2001;
    if (major == 5 && minor == 2) return 2003;
    return 0;
}

}  // namespace dravik
