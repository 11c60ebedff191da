// The agent's command line: DravikLT [-F] <script> [name=value ...] [-V name=value ...] [-P <key>] [-?]
// Switches begin with '-' or '/' and are matched without regard to case; other switches are
// ignored. Assignments are set as variables as they are read, so they are visible to the rest of the
// command line and to the script.
#pragma once

#include <string>

#include "run_state.h"

namespace dravik {

struct CommandLine {
    std::string script_path;  // made absolute; empty when none was given
    bool help = false;        // -? was given
};

// `text` is the command line after the program name.
CommandLine parse_command_line(const std::string& text, RunState& run);

// Skips the program name (quoted or not) at the start of a full command line.
std::string command_line_arguments(const std::string& full);

}  // namespace dravik
