// The keyword statements (lines that begin with '@'): section calls, @END and @RETURN, @IF blocks,
// @DO/@WHILE loops, @SET and @MID, and the condition they test.
#pragma once

#include <string>
#include <string_view>

#include "run_state.h"

namespace dravik {

// What a keyword statement does to the section that runs it.
enum class Flow {
    kNext,        // go on with the next line
    kEndSection,  // the section ends here (discarding its blocks)
    kStop,        // update_stopped
    kCalled,      // section_called
    kFailed,      // section_failed
};

// Runs the keyword statement in run.statement (its '@' at position `at`) inside section `section`.
Flow run_keyword(RunState& run, std::string_view section, size_t at);

// Reads "left operator right" with the argument reader from run.statement's position and tests it.
bool evaluate_condition(RunState& run);

// @SET name [operator] value, and @MID source destination start length: run.statement's position
// stands right after the keyword.
void run_set(RunState& run);
void run_mid(RunState& run);

}  // namespace dravik
