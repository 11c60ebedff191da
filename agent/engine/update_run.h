// One update from the script path to the reboot: the [Update] options, the effective-date rule, the
// sections Common (with the sections it calls) and Cleanup, the completion message and the reboot.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "interpreter.h"
#include "run_state.h"

namespace dravik {

enum class RebootMode { kNone, kReboot, kAsk };

struct UpdateOptions {
    std::string update;  // at most 128 characters
    int32_t effective_date = 0;
    std::string log;  // as written
    bool pause_on_completion = false;
    std::string message;  // at most 79 characters
    bool show_progress = false;
    bool wait_for_date = false;
    RebootMode reboot = RebootMode::kNone;
    bool prompt_passphrase = false;
};

// Reads the [Update] section. `today` stands in for an effective date that is not 8 characters long.
UpdateOptions read_update_options(ScriptReader& reader, int32_t today);

// "Yes" in an option: the value begins with y or Y.
bool option_is_yes(std::string_view value);
RebootMode reboot_mode(std::string_view value);

// The log path from the `log` option: surrounding double quotes dropped, then %NAME% and {name}
// expanded.
std::string log_path_from_option(std::string_view value, RunState& run);

// Runs one section; the driver below calls it for Common and the sections it calls.
using SectionRunner = std::function<SectionResult(std::string_view name, bool resume)>;

// Runs Common and, while it calls others, the called sections from the top of the call stack,
// resuming each caller where it left off. A called section that fails twice in a row ends the
// sections as interrupted. Returns the result of the last section run.
SectionResult run_sections(RunState& run, const SectionRunner& run_one);

// The whole run on the worker thread, given the script path (already absolute).
void run_update(RunState& run, const std::string& script_path, const StatementHandlers& handlers = {});

// The completion message box, if any: interrupted (or a batch file stopped early), or
// pauseoncompletion.
void show_completion(RunState& run, const UpdateOptions& options);

// The reboot at the end of the run, as the `reboot` option asks.
void handle_reboot(RunState& run, RebootMode mode);

}  // namespace dravik
