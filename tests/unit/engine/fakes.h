// Test doubles for the engine's services, and a run that keeps its script and log in a temporary
// directory.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "engine/run_state.h"
#include "engine/update_run.h"

namespace dravik::test {

class FakeClock : public Clock {
  public:
    LocalTime time{2009, 11, 2, 14, 5, 1};
    unsigned slept_ms = 0;
    int sleeps = 0;
    LocalTime now() override { return time; }
    void sleep_ms(unsigned ms) override {
        slept_ms += ms;
        ++sleeps;
    }
};

class FakeEnvironment : public Environment {
  public:
    std::map<std::string, std::string> values;  // names in upper case
    bool fail = false;
    std::string expand_reference(const std::string& reference) override;
};

// Plain files opened with the C library; "exclusive" only in name.
class HostLogFileSystem : public LogFileSystem {
  public:
    std::unique_ptr<ExclusiveFile> open_exclusive(const std::string& path, bool& busy) override;
    int64_t listed_size(const std::string& path) override;
};

// An in-memory file for the trimming rule.
class MemoryFile : public ExclusiveFile {
  public:
    explicit MemoryFile(std::string data) : data(std::move(data)) {}
    std::string data;
    size_t pos = 0;
    int64_t size() override { return static_cast<int64_t>(data.size()); }
    bool seek(int64_t offset) override;
    int64_t read(char* buffer, int64_t n) override;
    bool write(const char* bytes, int64_t n) override;
    bool truncate_here() override;
};

class FakeUi : public UserInterface {
  public:
    struct Box {
        std::string text, title;
        MessageIcon icon;
    };
    std::vector<Box> boxes;
    bool answer_yes = false;
    bool stop = false;
    int starting = 0, finished = 0;
    bool shown = false;

    void show_message(const std::string& text, const std::string& title, MessageIcon icon, bool) override {
        boxes.push_back({text, title, icon});
    }
    bool ask_yes_no(const std::string& text, const std::string& title) override {
        boxes.push_back({text, title, MessageIcon::kQuestion});
        return answer_yes;
    }
    void sections_starting(const std::string&, bool show_progress) override {
        ++starting;
        shown = show_progress;
    }
    void sections_finished() override { ++finished; }
    bool stop_requested() override { return stop; }
};

class FakeSystem : public SystemServices {
  public:
    bool reboot_succeeds = false;
    int reboots = 0;
    bool file_exists(const std::string& path) override;
    std::string full_path(const std::string& path) override;
    bool reboot(bool, std::string& error_text) override {
        ++reboots;
        if (!reboot_succeeds) error_text = "Access is denied.";
        return reboot_succeeds;
    }
};

// A fresh temporary directory, removed with the object.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);

// Log text with the time prefix of every line removed and CR LF turned back into LF.
std::string strip_prefixes(const std::string& log);

// A run with fake services whose script and log live in a temporary directory.
class TestRun {
  public:
    TestRun();
    FakeClock clock;
    FakeEnvironment env;
    HostLogFileSystem files;
    FakeUi ui;
    FakeSystem system;
    RunState run;
    TempDir dir;

    // Writes the script (with a [Update] section naming the log unless it has one) and runs it.
    void run_script(const std::string& text, const StatementHandlers& handlers = {});
    std::string script_path() const { return dir.file("test.sdf"); }
    std::string log_path() const { return dir.file("update.log"); }
    std::string log() const { return strip_prefixes(read_file(log_path())); }
};

}  // namespace dravik::test
