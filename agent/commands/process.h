// The "-program" and "-wait" commands and the processes they work with.
//
// Processes are reached through a small interface: start a program through the shell, wait for a
// process or the agent's stop event, and find a running process by a part of its path. One Win32
// implementation (process_win32.h) and a fake in the tests. The executors decide the messages and
// the result variable.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "commands/parsed_command.h"

namespace dravik {

struct RunState;

// A started or found process; its handle is closed with the object.
class Process {
  public:
    virtual ~Process() = default;
};

struct StartRequest {
    std::string file;
    std::string parameters;
    std::string directory;  // the working directory of the started program
    int show = 1;           // show command: 0 hidden, 1 normal, 2 minimised, 3 maximised
};

enum class WaitEnd { kEnded, kStopped, kTimedOut, kFailed };

enum class ProcessSearch {
    kFound,
    kNotFound,
    kNotWin32,       // neither the NT nor the Windows 95 platform
    kNoProcessList,  // no system library to list processes with
};

class ProcessHost {
  public:
    virtual ~ProcessHost() = default;
    // Opens `file` with the shell, without any error box; null on failure, with the system's text
    // for the error in `error_text`.
    virtual std::unique_ptr<Process> start(const StartRequest& request, std::string& error_text) = 0;
    // Waits until the process ends, the agent is stopping, or `timeout_ms` passes (-1: no limit).
    virtual WaitEnd wait(Process& process, int32_t timeout_ms) = 0;
    // The first running process whose lower-cased path (or executable name) contains `lower_name`.
    virtual ProcessSearch find(const std::string& lower_name, std::unique_ptr<Process>& match) = 0;

    // What the batch file needs besides: its directory made current (created when missing), a
    // file's attributes cleared, and the Windows directory.
    virtual void enter_directory(const std::string& path) = 0;
    virtual void clear_attributes(const std::string& path) = 0;
    virtual std::string windows_directory() = 0;
};

// 1 when the process ended or the agent is stopping; 0 on time-out or failure.
int WaitForProcessOrStop(ProcessHost& host, Process& process, int32_t timeout_ms);

// "-program": starts the program, logs the outcome and, with "wait", waits for it to end.
void ExecuteProgram(RunState& run, const ParsedCommand& cmd, ProcessHost& host);

// "-wait": finds the process, sets the result variable and waits for it.
void WaitForNamedProcess(RunState& run, const ParsedCommand& cmd, ProcessHost& host);

}  // namespace dravik
