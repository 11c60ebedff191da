// The statement interpreter: runs one section of the script line by line and says how it ended.
//
// Each line is classified by its first significant character: '[' ends the section, ';' is a
// comment, '@' a keyword statement, '-' a command line, '$' a message, question or form, anything
// else a batch line. Every statement is logged as "<statement>, " with the time prefix; its outcome
// message completes that line.
#pragma once

#include <functional>
#include <string_view>

#include "run_state.h"

namespace dravik {

// Where the statement kinds that live outside the script engine plug in. Each receives the run with
// the statement in run.statement (position after the first significant character) and logs its own
// outcome. A missing handler leaves the statement logged and otherwise without effect.
struct StatementHandlers {
    // A '-' line. Its result never changes the flow.
    std::function<void(RunState& run)> command;
    // A '$' line; returns false when a form could not be shown (the section then fails).
    std::function<bool(RunState& run)> prompt;
    // The first line of a run of batch lines; the reader stands at the start of that line and the
    // handler leaves it at the first line that is not a batch line.
    std::function<void(RunState& run)> batch;
    // Called after every statement, before the cancel flag is tested (tests use it to bound a run).
    std::function<void(RunState& run)> after_statement;
};

SectionResult run_section(RunState& run, std::string_view name, bool resume,
                          const StatementHandlers& handlers = StatementHandlers{});

}  // namespace dravik
