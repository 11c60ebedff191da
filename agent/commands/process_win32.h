// Processes on Windows: ShellExecuteExA without error boxes, waits that also end on the agent's
// stop event, and the process search (PSAPI on the NT platform, toolhelp on the Windows 95 family
// and where PSAPI is missing). Win32 only.
#pragma once

#include <windows.h>

#include <atomic>

#include "commands/process.h"

namespace dravik {

class Win32ProcessHost : public ProcessHost {
  public:
    // `owner` owns what the shell shows; `stop_event` may still be null when a wait starts (the
    // progress thread makes it), in which case `closing` tells that the agent is ending.
    Win32ProcessHost(HWND owner, const std::atomic<HANDLE>& stop_event, const std::atomic<bool>& closing)
        : owner_(owner), stop_event_(stop_event), closing_(closing) {}

    std::unique_ptr<Process> start(const StartRequest& request, std::string& error_text) override;
    WaitEnd wait(Process& process, int32_t timeout_ms) override;
    ProcessSearch find(const std::string& lower_name, std::unique_ptr<Process>& match) override;
    void enter_directory(const std::string& path) override;
    void clear_attributes(const std::string& path) override;
    std::string windows_directory() override;

  private:
    HWND owner_;
    const std::atomic<HANDLE>& stop_event_;
    const std::atomic<bool>& closing_;
};

// 350, 351, 400, 2000, 2001, 2003 for those NT versions; 0 for any other version or platform.
int nt_version_code();

}  // namespace dravik
