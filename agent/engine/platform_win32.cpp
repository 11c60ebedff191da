#include "platform_win32.h"

#include <windows.h>

#include <vector>

namespace dravik {

std::string system_error_text(unsigned long code) {
    char* buffer = nullptr;
    DWORD n =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = n && buffer ? std::string(buffer, n) : "Unknown error " + std::to_string(code);
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

LocalTime Win32Clock::now() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

void Win32Clock::sleep_ms(unsigned ms) { Sleep(ms); }

std::string Win32Environment::expand_reference(const std::string& reference) {
    std::vector<char> buffer(2048);
    DWORD n = ExpandEnvironmentStringsA(reference.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0 || n > buffer.size()) return std::string();
    return std::string(buffer.data());
}

namespace {

class Win32ExclusiveFile : public ExclusiveFile {
  public:
    explicit Win32ExclusiveFile(HANDLE h) : h_(h) {}
    ~Win32ExclusiveFile() override { CloseHandle(h_); }
    Win32ExclusiveFile(const Win32ExclusiveFile&) = delete;
    Win32ExclusiveFile& operator=(const Win32ExclusiveFile&) = delete;

    int64_t size() override {
        LARGE_INTEGER s;
        return GetFileSizeEx(h_, &s) ? s.QuadPart : -1;
    }
    bool seek(int64_t offset) override {
        LARGE_INTEGER to;
        to.QuadPart = offset;
        return SetFilePointerEx(h_, to, nullptr, FILE_BEGIN) != 0;
    }
    int64_t read(char* buffer, int64_t n) override {
        DWORD got = 0;
        if (!ReadFile(h_, buffer, static_cast<DWORD>(n), &got, nullptr)) return -1;
        return got;
    }
    bool write(const char* data, int64_t n) override {
        DWORD put = 0;
        return WriteFile(h_, data, static_cast<DWORD>(n), &put, nullptr) && put == n;
    }
    bool truncate_here() override { return SetEndOfFile(h_) != 0; }

  private:
    HANDLE h_;
};

}  // namespace

std::unique_ptr<ExclusiveFile> Win32LogFileSystem::open_exclusive(const std::string& path, bool& busy) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        busy = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
        return nullptr;
    }
    return std::make_unique<Win32ExclusiveFile>(h);
}

int64_t Win32LogFileSystem::listed_size(const std::string& path) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(path.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return -1;
    FindClose(h);
    return (static_cast<int64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
}

bool Win32System::file_exists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string Win32System::full_path(const std::string& path) {
    char buffer[MAX_PATH];
    DWORD n = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
    if (n == 0 || n >= sizeof buffer) return path;
    return buffer;
}

bool Win32System::reboot(bool is_nt, std::string& error_text) {
    if (is_nt) {
        HANDLE token = nullptr;
        if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
            TOKEN_PRIVILEGES tp{};
            tp.PrivilegeCount = 1;
            tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
            if (LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &tp.Privileges[0].Luid)) {
                AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr);
            }
            CloseHandle(token);
        }
    }
    if (ExitWindowsEx(EWX_REBOOT, 0)) return true;
    error_text = system_error_text(GetLastError());
    return false;
}

std::string executable_directory() {
    char buffer[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    std::string path(buffer, n < sizeof buffer ? n : 0);
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string temporary_directory() {
    char buffer[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof buffer, buffer);
    std::string path(buffer, n <= MAX_PATH ? n : 0);
    while (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

namespace {

OSVERSIONINFOA version_info() {
    OSVERSIONINFOA vi{};
    vi.dwOSVersionInfoSize = sizeof vi;
    GetVersionExA(&vi);
    return vi;
}

}  // namespace

bool is_nt_platform() { return version_info().dwPlatformId == VER_PLATFORM_WIN32_NT; }

std::string windows_version_name() {
    OSVERSIONINFOA vi = version_info();
    DWORD major = vi.dwMajorVersion, minor = vi.dwMinorVersion;
    if (vi.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
        if (major == 4 && minor == 0) return "W95";
        if (major == 4 && minor == 10) return "W98";
        if (major == 4 && minor == 90) return "ME";
        return std::string();
    }
    if (major == 3 && (minor == 50 || minor == 51)) return "NT3";
    if (major == 4 && minor == 0) return "NT4";
    if (major == 5 && minor == 0) return "W2000";
    if (major == 5 && minor == 1) return "XP";
    if (major == 5 && minor == 2) return "Server 2003";
    return std::string();
}

}  // namespace dravik
