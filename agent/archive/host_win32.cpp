// Host services on Windows through the ANSI Win32 API: attributes and times of files (local
// DOS time, as ZIP stores it), directories, file identity, the one file-replace step, the ANSI
// code page for UTF-8 names, and the engine's own message boxes.
#include <windows.h>
#include <process.h>

#include "engine/file_replace.h"
#include "host.h"

namespace dravik::archive {
namespace {

bool identity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    // No access beyond the attributes, shared with everyone: works on files others hold open.
    HANDLE h = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BOOL ok = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    return ok != 0;
}

// A slim reader/writer lock with a condition variable (Vista and later, and Wine).
class Win32Monitor : public HostMonitor {
public:
    void lock() override { AcquireSRWLockExclusive(&lock_); }
    void unlock() override { ReleaseSRWLockExclusive(&lock_); }
    void wait() override { SleepConditionVariableSRW(&cond_, &lock_, INFINITE, 0); }
    void notify_all() override { WakeAllConditionVariable(&cond_); }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE cond_ = CONDITION_VARIABLE_INIT;
};

// _beginthreadex rather than CreateThread, so the C runtime's per-thread data is set up for
// the body (it uses the C library's file functions).
class Win32Thread : public HostThread {
public:
    explicit Win32Thread(std::function<void()> body) : body_(std::move(body)) {}
    ~Win32Thread() override { join(); }
    bool start() {
        handle_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &Win32Thread::entry, this, 0, nullptr));
        return handle_ != nullptr;
    }
    void join() override {
        if (!handle_) return;
        WaitForSingleObject(handle_, INFINITE);
        CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    static unsigned __stdcall entry(void* self) {
        static_cast<Win32Thread*>(self)->body_();
        return 0;
    }
    std::function<void()> body_;
    HANDLE handle_ = nullptr;
};

class Win32Host : public Host {
public:
    FileStat stat(const std::string& path) override {
        FileStat s;
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return s;
        s.exists = true;
        s.is_dir = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        s.read_only = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
        s.hidden_or_system = (data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
        s.size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        FILETIME local;
        WORD date = 0, time = 0;
        if (FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) && FileTimeToDosDateTime(&local, &date, &time))
            s.dos_datetime = uint32_t(date) << 16 | time;
        return s;
    }
    std::vector<std::string> list_dir(const std::string& dir) override {
        std::vector<std::string> names;
        std::string pattern = dir.empty() ? std::string("*") : dir + "\\*";
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA(pattern.c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE) return names;
        do {
            std::string n = fd.cFileName;
            if (n != "." && n != "..") names.push_back(n);
        } while (FindNextFileA(h, &fd));
        FindClose(h);
        return names;
    }
    bool make_dir(const std::string& path) override { return CreateDirectoryA(path.c_str(), nullptr) != 0; }
    bool set_file_time(const std::string& path, uint32_t dos) override {
        FILETIME local, utc;
        if (!DosDateTimeToFileTime(WORD(dos >> 16), WORD(dos & 0xFFFF), &local) || !LocalFileTimeToFileTime(&local, &utc))
            return false;
        HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        BOOL ok = SetFileTime(h, nullptr, nullptr, &utc);
        CloseHandle(h);
        return ok != 0;
    }
    bool set_read_only(const std::string& path, bool ro) override {
        DWORD a = GetFileAttributesA(path.c_str());
        if (a == INVALID_FILE_ATTRIBUTES) return false;
        a = ro ? (a | FILE_ATTRIBUTE_READONLY) : (a & ~DWORD(FILE_ATTRIBUTE_READONLY));
        return SetFileAttributesA(path.c_str(), a) != 0;
    }
    bool remove_file(const std::string& path) override { return DeleteFileA(path.c_str()) != 0; }
    bool replace_file(const std::string& from, const std::string& to) override { return dravik::replace_file(from, to); }
    // By volume serial number and file index: a mapped drive, a UNC path, a short name or a hard
    // link reach the same file under another text.
    bool same_file(const std::string& a, const std::string& b) override {
        BY_HANDLE_FILE_INFORMATION x, y;
        return identity(a, x) && identity(b, y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
               x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
    }
    std::string current_dir() override {
        char buf[MAX_PATH];
        DWORD n = GetCurrentDirectoryA(MAX_PATH, buf);
        return (n && n < MAX_PATH) ? std::string(buf, n) : std::string();
    }
    char separator() const override { return '\\'; }
    std::string utf8_to_system(const std::string& name) override {
        int wn = MultiByteToWideChar(CP_UTF8, 0, name.data(), int(name.size()), nullptr, 0);
        if (wn <= 0) return name;
        std::wstring w(size_t(wn), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, name.data(), int(name.size()), &w[0], wn);
        int n = WideCharToMultiByte(CP_ACP, 0, w.data(), wn, nullptr, 0, nullptr, nullptr);
        if (n <= 0) return name;
        std::string out(size_t(n), '\0');
        WideCharToMultiByte(CP_ACP, 0, w.data(), wn, &out[0], n, nullptr, nullptr);
        return out;
    }
    int message_box(const std::string& text, const std::string& title, unsigned style) override {
        // Top-most, set-foreground and task-modal, owned by the active window.
        return MessageBoxA(GetActiveWindow(), text.c_str(), title.c_str(), style | 0x52000);
    }
    std::string diagnostic_log_path() override {
        char dir[MAX_PATH];
        UINT n = GetWindowsDirectoryA(dir, MAX_PATH);
        std::string base = (n && n < MAX_PATH) ? std::string(dir, n) : std::string("C:\\Windows");
        return base + "\\DravikZip.log";
    }
    uint32_t thread_id() override { return GetCurrentThreadId(); }
    unsigned processor_count() override {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        return info.dwNumberOfProcessors ? info.dwNumberOfProcessors : 1;
    }
    std::unique_ptr<HostMonitor> make_monitor() override { return std::make_unique<Win32Monitor>(); }
    std::unique_ptr<HostThread> start_thread(std::function<void()> body) override {
        auto t = std::make_unique<Win32Thread>(std::move(body));
        if (!t->start()) return nullptr;
        return t;
    }
};

}  // namespace

Host& host() {
    static Win32Host instance;
    return instance;
}

}  // namespace dravik::archive
