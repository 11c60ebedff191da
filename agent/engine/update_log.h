// The update log: one text file, opened, appended to and closed for every entry, so it is complete
// up to the last entry whenever the process ends. Entries carry their own "\n"; the writer turns each
// into CR LF (the file is text in the workstation's convention) and adds nothing else.
//
// Trimming at the start of a logged run keeps the newest part of the file (cut at a line boundary)
// or, with the maximum size 0 the agent uses, empties it. The file is taken exclusively for that,
// waiting while another process holds it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "clock.h"

namespace dravik {

// "%u/%u/%u %.2u:%.2u:%.2u, " with month, day, year, hour, minute, second.
std::string time_prefix(const LocalTime& t);

// A file opened for reading and writing with no sharing.
class ExclusiveFile {
  public:
    virtual ~ExclusiveFile() = default;
    virtual int64_t size() = 0;
    virtual bool seek(int64_t offset) = 0;  // from the start
    // Reads up to n bytes at the current position; returns the count read, -1 on error.
    virtual int64_t read(char* buffer, int64_t n) = 0;
    virtual bool write(const char* data, int64_t n) = 0;
    // Ends the file at the current position.
    virtual bool truncate_here() = 0;
};

// What the log needs from the file system beyond plain appends.
class LogFileSystem {
  public:
    virtual ~LogFileSystem() = default;
    // Opens or creates the file exclusively; null when that fails. `busy` tells whether it failed
    // because another process holds the file (as opposed to a path that cannot be opened at all).
    virtual std::unique_ptr<ExclusiveFile> open_exclusive(const std::string& path, bool& busy) = 0;
    // The file's size as its directory lists it; -1 when it is not there.
    virtual int64_t listed_size(const std::string& path) = 0;
};

// Opens `path` exclusively, trying once a second. The count of tries starts over whenever the file's
// listed size changed since the last try (another writer is still busy with it); after 60 tries in a
// row without a change it gives up and returns null. A path that cannot be opened for any other reason
// than another holder (a missing directory, say) is not waited for.
std::unique_ptr<ExclusiveFile> log_open_wait(LogFileSystem& fs, Clock& clock, const std::string& path);

// Keeps the newest part of an open log: nothing is done while the file is smaller than max_kb
// kilobytes; otherwise the last floor(max_kb * 0.15) kilobytes (20 at most) are kept, starting at the
// first line of that tail containing "Running DravikLT from", or else at its first whole line. With max_kb 0 the file
// is emptied.
void trim_open_log(ExclusiveFile& file, unsigned max_kb);

class UpdateLog {
  public:
    UpdateLog(Clock& clock, LogFileSystem& fs) : clock_(clock), fs_(fs) {}

    // Sets the path (cut to 259 characters). Logging stays off until enable().
    void set_path(std::string path);
    const std::string& path() const { return path_; }
    void enable() { enabled_ = true; }
    // Entries go to `sink` (without time prefixes) instead of the file; the script check reads what
    // a statement would log this way. Null returns to the file.
    void capture_into(std::string* sink) { sink_ = sink; }
    bool enabled() const { return enabled_; }

    // Appends one entry. The caller tests enabled() first (write() and line() do it for it).
    // If the file cannot be opened the entry is lost without a word: logging never stops a run.
    void log_write(std::string_view text, bool prefix, bool truncate = false);

    // Entry without prefix (completes an open statement line), and entry with the time prefix.
    void write(std::string_view text) {
        if (enabled_) log_write(text, false);
    }
    void line(std::string_view text) {
        if (enabled_) log_write(text, true);
    }

    // Trims the file at the start of a logged run (see trim_open_log); skipped when the file cannot
    // be had within the waiting open's tries.
    void log_trim(unsigned max_kb);

  private:
    Clock& clock_;
    LogFileSystem& fs_;
    std::string path_;
    bool enabled_ = false;
    std::string* sink_ = nullptr;
};

}  // namespace dravik
