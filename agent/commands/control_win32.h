// Components on Windows: version resources, file times, copies (and copies that wait for the next
// restart), OLE, and the components' own registration entry points. Win32 only.
#pragma once

#include <string>

#include "commands/control.h"

namespace dravik {

// The "FileVersion" string of the file's version resource, read through its first translation.
bool GetFileVersionText(const std::string& path, std::string& text);

class Win32ComponentHost : public ComponentHost {
  public:
    bool version_text(const std::string& path, std::string& text) override { return GetFileVersionText(path, text); }
    bool exclusive_write_time(const std::string& path, FileStamp& stamp) override;
    bool copy_file(const std::string& from, const std::string& to) override;
    bool replace_at_restart(const std::string& from, const std::string& to, std::string& error_text) override;
    uint32_t ole_initialize() override;
    void ole_uninitialize() override;
    bool call_entry_point(const std::string& path, const char* name) override;
    bool delete_file(const std::string& path, std::string& error_text) override;
};

}  // namespace dravik
