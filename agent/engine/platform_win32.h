// Win32 implementations of the engine's service interfaces: the clock, environment expansion, the
// log's exclusive open, and the system services (file tests, full paths, the reboot).
#pragma once

#include <string>

#include "clock.h"
#include "expand.h"
#include "services.h"
#include "update_log.h"

namespace dravik {

// The system's text for an error code, without the trailing line end.
std::string system_error_text(unsigned long code);

class Win32Clock : public Clock {
  public:
    LocalTime now() override;
    void sleep_ms(unsigned ms) override;
};

class Win32Environment : public Environment {
  public:
    std::string expand_reference(const std::string& reference) override;
};

class Win32LogFileSystem : public LogFileSystem {
  public:
    std::unique_ptr<ExclusiveFile> open_exclusive(const std::string& path, bool& busy) override;
    int64_t listed_size(const std::string& path) override;
};

class Win32System : public SystemServices {
  public:
    bool file_exists(const std::string& path) override;
    std::string full_path(const std::string& path) override;
    bool reboot(bool is_nt, std::string& error_text) override;
};

// Directory of the running executable, without trailing backslash.
std::string executable_directory();
// The system's temporary directory, without trailing backslash.
std::string temporary_directory();
// "W95" ... "Server 2003" for the versions that have a name; empty for any other.
std::string windows_version_name();
bool is_nt_platform();

}  // namespace dravik
