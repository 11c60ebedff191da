// Host services for the native (POSIX) build, where the engine is unit-tested. There is no
// display here: a message box answers as a user pressing the default button would (Cancel for
// a question with Cancel, No for Yes/No, else OK), and the diagnostic log goes to the
// temporary directory.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <mutex>
#include <thread>

#include "engine/file_replace.h"
#include "host.h"

namespace dravik::archive {
namespace {

uint32_t to_dos(time_t t) {
    struct tm lt {};
    localtime_r(&t, &lt);
    if (lt.tm_year < 80) return (0 << 25) | (1 << 21) | (1 << 16);
    uint32_t date = uint32_t((lt.tm_year - 80) << 9 | (lt.tm_mon + 1) << 5 | lt.tm_mday);
    uint32_t tod = uint32_t(lt.tm_hour << 11 | lt.tm_min << 5 | lt.tm_sec / 2);
    return date << 16 | tod;
}

time_t from_dos(uint32_t dos) {
    struct tm lt {};
    lt.tm_year = int((dos >> 25) & 0x7F) + 80;
    lt.tm_mon = int((dos >> 21) & 0x0F) - 1;
    lt.tm_mday = int((dos >> 16) & 0x1F);
    lt.tm_hour = int((dos >> 11) & 0x1F);
    lt.tm_min = int((dos >> 5) & 0x3F);
    lt.tm_sec = int((dos & 0x1F) * 2);
    lt.tm_isdst = -1;
    return mktime(&lt);
}

class PosixMonitor : public HostMonitor {
public:
    void lock() override { m_.lock(); }
    void unlock() override { m_.unlock(); }
    void wait() override {
        std::unique_lock<std::mutex> held(m_, std::adopt_lock);
        c_.wait(held);
        held.release();
    }
    void notify_all() override { c_.notify_all(); }

private:
    std::mutex m_;
    std::condition_variable c_;
};

class PosixThread : public HostThread {
public:
    explicit PosixThread(std::function<void()> body) : t_(std::move(body)) {}
    ~PosixThread() override { join(); }
    void join() override {
        if (t_.joinable()) t_.join();
    }

private:
    std::thread t_;
};

class PosixHost : public Host {
public:
    FileStat stat(const std::string& path) override {
        FileStat s;
        struct ::stat st {};
        if (::stat(path.c_str(), &st) != 0) return s;
        s.exists = true;
        s.is_dir = S_ISDIR(st.st_mode);
        s.read_only = (st.st_mode & S_IWUSR) == 0;
        s.size = static_cast<uint64_t>(st.st_size);
        s.dos_datetime = to_dos(st.st_mtime);
        return s;
    }
    std::vector<std::string> list_dir(const std::string& dir) override {
        std::vector<std::string> names;
        DIR* d = opendir(dir.empty() ? "." : dir.c_str());
        if (!d) return names;
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        closedir(d);
        return names;
    }
    bool make_dir(const std::string& path) override { return mkdir(path.c_str(), 0777) == 0; }
    bool set_file_time(const std::string& path, uint32_t dos) override {
        struct utimbuf t {};
        t.actime = t.modtime = from_dos(dos);
        return utime(path.c_str(), &t) == 0;
    }
    bool set_read_only(const std::string& path, bool ro) override {
        struct ::stat st {};
        if (::stat(path.c_str(), &st) != 0) return false;
        mode_t m = ro ? (st.st_mode & ~mode_t(0222)) : (st.st_mode | S_IWUSR);
        return chmod(path.c_str(), m) == 0;
    }
    bool remove_file(const std::string& path) override { return unlink(path.c_str()) == 0; }
    bool replace_file(const std::string& from, const std::string& to) override { return dravik::replace_file(from, to); }
    bool same_file(const std::string& a, const std::string& b) override {
        struct ::stat x {}, y {};
        return ::stat(a.c_str(), &x) == 0 && ::stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
    }
    std::string current_dir() override {
        char buf[4096];
        return getcwd(buf, sizeof buf) ? std::string(buf) : std::string();
    }
    char separator() const override { return '/'; }
    std::string utf8_to_system(const std::string& name) override { return name; }
    int message_box(const std::string&, const std::string&, unsigned style) override {
        switch (style & 0xF) {
            case 3: return 2;  // Yes/No/Cancel: Cancel
            case 4: return 7;  // Yes/No: No
            case 1: return 2;  // OK/Cancel: Cancel
            default: return 1;
        }
    }
    std::string diagnostic_log_path() override {
        const char* tmp = std::getenv("TMPDIR");
        return std::string(tmp && *tmp ? tmp : "/tmp") + "/DravikZip.log";
    }
    uint32_t thread_id() override { return static_cast<uint32_t>(std::hash<std::thread::id>()(std::this_thread::get_id())); }
    unsigned processor_count() override {
        unsigned n = std::thread::hardware_concurrency();
        return n ? n : 1;
    }
    std::unique_ptr<HostMonitor> make_monitor() override { return std::make_unique<PosixMonitor>(); }
    std::unique_ptr<HostThread> start_thread(std::function<void()> body) override {
        try {
            return std::make_unique<PosixThread>(std::move(body));
        } catch (const std::exception&) {
            return nullptr;
        }
    }
};

}  // namespace

Host& host() {
    static PosixHost instance;
    return instance;
}

}  // namespace dravik::archive
