// The "-xdll" command: copying a self-registering component into place (only when the source is
// newer, replaced at the next restart when the file in place is in use), and calling its own
// registration or unregistration entry point.
//
// The system is reached through a small interface with one Win32 implementation (control_win32.h)
// and fakes in the tests. The executor decides whether to copy and which message ends the statement.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "commands/parsed_command.h"

namespace dravik {

struct RunState;

// A file's last-write time in local time.
struct FileStamp {
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milliseconds = 0;
};

class ComponentHost {
  public:
    virtual ~ComponentHost() = default;
    // The "FileVersion" text of the file's version resource; false when it has none.
    virtual bool version_text(const std::string& path, std::string& text) = 0;
    // The last-write time of a file that can be opened for reading and writing without sharing;
    // false when it cannot (missing, or in use).
    virtual bool exclusive_write_time(const std::string& path, FileStamp& stamp) = 0;
    virtual bool copy_file(const std::string& from, const std::string& to) = 0;
    // Copies `from` beside `to` and schedules that copy to replace `to` at the next restart; false
    // with the system's text for the error.
    virtual bool replace_at_restart(const std::string& from, const std::string& to, std::string& error_text) = 0;
    // OleInitialize's result code; OleUninitialize.
    virtual uint32_t ole_initialize() = 0;
    virtual void ole_uninitialize() = 0;
    // Loads the file, calls the named entry point without arguments and unloads the file; false when
    // the file cannot be loaded or has no such entry point.
    virtual bool call_entry_point(const std::string& path, const char* name) = 0;
    virtual bool delete_file(const std::string& path, std::string& error_text) = 0;
};

// Compares two version texts numerically, field by field (major, minor, build, revision; each field
// a run of digits, anything else separates them, absent fields count as 0): negative when `a` is
// older than `b`, 0 when equal, positive when newer. So "1.10" is newer than "1.9".
int CompareVersionTexts(std::string_view a, std::string_view b);

// "-xdll": copies when asked and needed, then registers or unregisters; logs the outcome.
void RegisterControl(RunState& run, const ParsedCommand& cmd, ComponentHost& host);

}  // namespace dravik
