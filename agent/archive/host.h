// Host services the archive engine needs from the operating system: file attributes and times,
// directories, replacing a file, the system's 8-bit code page and message boxes. One
// implementation per platform (host_posix.cpp for the native build, host_win32.cpp on Windows).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace dravik::archive {

struct FileStat {
    bool exists = false;
    bool is_dir = false;
    bool read_only = false;
    bool hidden_or_system = false;
    uint64_t size = 0;
    uint32_t dos_datetime = 0;  // local time: DOS date in the high 16 bits, DOS time in the low
};

// A lock with one condition to wait on (the parallel zip writer's queue).
class HostMonitor {
public:
    virtual ~HostMonitor() = default;
    virtual void lock() = 0;
    virtual void unlock() = 0;
    // Releases the lock while waiting; holds it again on return (which may be spurious).
    virtual void wait() = 0;
    virtual void notify_all() = 0;
};

class HostThread {
public:
    virtual ~HostThread() = default;
    virtual void join() = 0;
};

class Host {
public:
    virtual ~Host() = default;
    virtual FileStat stat(const std::string& path) = 0;
    virtual std::vector<std::string> list_dir(const std::string& dir) = 0;  // without "." and ".."
    virtual bool make_dir(const std::string& path) = 0;
    virtual bool set_file_time(const std::string& path, uint32_t dos_datetime) = 0;
    virtual bool set_read_only(const std::string& path, bool read_only) = 0;
    virtual bool remove_file(const std::string& path) = 0;
    virtual bool replace_file(const std::string& from, const std::string& to) = 0;
    virtual bool same_file(const std::string& a, const std::string& b) = 0;
    virtual std::string current_dir() = 0;
    virtual char separator() const = 0;
    // Names flagged UTF-8 in an archive, in the system's 8-bit code page.
    virtual std::string utf8_to_system(const std::string& name) = 0;
    // A message box owned by the active window; returns the button chosen (1 OK ... 7 No).
    virtual int message_box(const std::string& text, const std::string& title, unsigned style) = 0;
    virtual std::string diagnostic_log_path() = 0;
    virtual uint32_t thread_id() = 0;
    // Threads for compressing entries in parallel. The MinGW toolchains here use the win32
    // thread model, which has no std::thread, so threads come from the host.
    virtual unsigned processor_count() = 0;
    virtual std::unique_ptr<HostMonitor> make_monitor() = 0;
    // nullptr when the system could not start the thread.
    virtual std::unique_ptr<HostThread> start_thread(std::function<void()> body) = 0;
};

// Holds a monitor's lock for a scope.
class MonitorLock {
public:
    explicit MonitorLock(HostMonitor& m) : m_(m) { m_.lock(); }
    ~MonitorLock() { m_.unlock(); }
    MonitorLock(const MonitorLock&) = delete;
    MonitorLock& operator=(const MonitorLock&) = delete;

private:
    HostMonitor& m_;
};

Host& host();

}  // namespace dravik::archive
