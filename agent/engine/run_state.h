// The state of one update run: the services it uses, the log, the variables, the script reader and
// the flags the agent's threads share. The program owns exactly one.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "arguments.h"
#include "clock.h"
#include "expand.h"
#include "script_reader.h"
#include "services.h"
#include "update_log.h"
#include "variables.h"

namespace dravik {

// Section results of run_section.
enum SectionResult : int {
    section_failed = -1,
    section_ended = 1,
    section_called = 2,
    update_stopped = 3,
};

// One section call. The root frame stands for Common.
struct CallFrame {
    int32_t resume_position = 0;  // where the section continues after the section it called
    std::string section;          // as written in the calling statement, after expansion
    bool resume = false;          // run as a resumption: find the section, then jump
};

struct CallStack {
    CallFrame root;
    std::vector<CallFrame> frames;  // frames.back() is the current frame

    bool empty() const { return frames.empty(); }
    CallFrame& current() { return frames.empty() ? root : frames.back(); }
    void clear() { frames.clear(); }
};

// One open @IF or @DO block.
struct Block {
    bool state = false;
    std::string section;
    int32_t loop_position = -1;  // the line after @DO; -1 for @IF
};

struct Services {
    Clock& clock;
    Environment& environment;
    LogFileSystem& log_files;
    UserInterface& ui;
    SystemServices& system;
};

struct RunState {
    explicit RunState(Services s) : services(s), log(s.clock, s.log_files), vars(s.clock) {}

    Services services;
    UpdateLog log;
    VariableStore vars;
    ScriptReader reader;
    StatementCursor statement;
    CallStack calls;
    std::vector<Block> blocks;

    // Flags shared with the status window and the progress thread (single writer each).
    std::atomic<bool> running{false};
    std::atomic<bool> message_box{false};
    std::atomic<bool> show_progress{false};
    std::atomic<bool> cancel{false};
    std::atomic<bool> interrupted{false};
    bool batch_incomplete = false;  // a batch file of this update stopped before its last line

    std::string update_name;  // at most 128 characters
    std::string temp_dir;     // without trailing backslash
    bool is_nt = true;
    int nt_version = 0;  // 350, 351, 400, 2000, 2001, 2003 on those NT versions; 0 otherwise
    int32_t today = 0;  // yyyymmdd, computed once per process

    std::string read_argument(bool expand) { return ReadArgument(statement, expand, vars, services.environment); }
};

}  // namespace dravik
