#include "update_run.h"

#include <cstdio>

#include "expand.h"
#include "text.h"

namespace dravik {

namespace {

constexpr size_t kMaxUpdateName = 128;
constexpr size_t kMaxMessage = 79;
constexpr char kUpdateSection[] = "Update";

std::string format_processing(const std::string& path, const std::string& name, int32_t date) {
    char date_text[32];
    std::snprintf(date_text, sizeof date_text, "%.8d", static_cast<int>(date));
    return "Processing " + path + ", Update = " + name + "  Effective Date = " + date_text + "\n";
}

}  // namespace

bool option_is_yes(std::string_view value) { return !value.empty() && (value[0] == 'y' || value[0] == 'Y'); }

RebootMode reboot_mode(std::string_view value) {
    if (value.empty()) return RebootMode::kNone;
    switch (to_lower_ascii(value[0])) {
        case 'y':
            return RebootMode::kReboot;
        case 'a':
            return RebootMode::kAsk;
        default:
            return RebootMode::kNone;
    }
}

UpdateOptions read_update_options(ScriptReader& reader, int32_t today) {
    UpdateOptions o;
    o.update = reader.read_option(kUpdateSection, "update");
    if (o.update.size() > kMaxUpdateName) o.update.resize(kMaxUpdateName);
    std::string date = reader.read_option(kUpdateSection, "effectivedate");
    o.effective_date = date.size() == 8 ? parse_int32(date) : today;
    o.log = reader.read_option(kUpdateSection, "log");
    o.pause_on_completion = option_is_yes(reader.read_option(kUpdateSection, "pauseoncompletion"));
    o.message = reader.read_option(kUpdateSection, "message");
    if (o.message.size() > kMaxMessage) o.message.resize(kMaxMessage);
    reader.read_option(kUpdateSection, "quietly");  // read, no effect
    o.show_progress = option_is_yes(reader.read_option(kUpdateSection, "showprogress"));
    o.wait_for_date = option_is_yes(reader.read_option(kUpdateSection, "waitfordate"));
    o.reboot = reboot_mode(reader.read_option(kUpdateSection, "reboot"));
    o.prompt_passphrase = option_is_yes(reader.read_option(kUpdateSection, "promptpassphrase"));
    reader.read_option(kUpdateSection, "internal");  // read, no effect
    return o;
}

std::string log_path_from_option(std::string_view value, RunState& run) {
    if (!value.empty() && value.front() == '"') value = value.size() >= 2 ? value.substr(1, value.size() - 2) : "";
    return expand_variables(expand_environment(value, run.services.environment), run.vars);
}

SectionResult run_sections(RunState& run, const SectionRunner& run_one) {
    run.calls.clear();
    SectionResult result = run_one("Common", false);
    for (;;) {
        if (result == section_failed) {
            run.interrupted = true;
            break;
        }
        if (result != section_called || run.calls.empty()) break;

        bool failed_before = false;
        while (!run.calls.empty()) {
            CallFrame& top = run.calls.frames.back();
            result = run_one(top.section, top.resume);
            if (result == section_ended) {
                run.calls.frames.pop_back();
            } else if (result == update_stopped) {
                run.calls.clear();
            } else if (result == section_failed) {
                // The same frame is run again once; a section that fails again would fail forever.
                if (failed_before) {
                    run.calls.clear();
                    run.interrupted = true;
                    return section_failed;
                }
                failed_before = true;
                continue;
            }
            failed_before = false;
        }
        if (result == update_stopped) break;
        result = run_one("Common", true);
    }
    return result;
}

void show_completion(RunState& run, const UpdateOptions& options) {
    UserInterface& ui = run.services.ui;
    if (run.interrupted || run.batch_incomplete) {
        ui.show_message("The " + run.update_name + " update may have been\ninterrupted or did not finish properly.",
                        "Update Warning", MessageIcon::kExclamation, false);
        return;
    }
    if (!options.pause_on_completion) return;
    std::string text = options.message.empty() ? "The " + run.update_name + " update is complete."
                                               : "The " + run.update_name + " update was cancelled.";
    if (options.reboot != RebootMode::kNone) text += "\nThe workstation will be rebooted.";
    if (run.cancel) {
        ui.show_message(text, "Update Cancelled", MessageIcon::kExclamation, true);
    } else {
        ui.show_message(text, "Update Complete", MessageIcon::kNone, true);
    }
}

void handle_reboot(RunState& run, RebootMode mode) {
    if (mode == RebootMode::kNone) return;
    if (mode == RebootMode::kAsk && !run.services.ui.ask_yes_no("Do you want to reboot this PC?", "Dravik Message")) {
        run.log.line("User opted not to reboot, \"\"\n");
        return;
    }
    run.log.line("Preparing for reboot, \"\"\n");
    std::string error;
    if (run.services.system.reboot(run.is_nt, error)) return;
    run.log.line("Error rebooting, " + error + "\n");
    run.services.ui.show_message("Please close all applications and restart computer.",
                                 "Workstation could not be rebooted", MessageIcon::kStop, false);
}

void run_update(RunState& run, const std::string& script_path, const StatementHandlers& handlers) {
    if (run.services.ui.stop_requested()) return;
    run.update_name.clear();
    run.interrupted = false;
    run.batch_incomplete = false;
    if (script_path.empty() || !run.services.system.file_exists(script_path)) return;

    run.reader.load(script_path);
    if (run.today == 0) run.today = date_number(run.services.clock.now());
    UpdateOptions options = read_update_options(run.reader, run.today);
    run.update_name = options.update;
    if (!options.log.empty()) {
        run.log.set_path(log_path_from_option(options.log, run));
        run.log.log_trim(0);
        run.log.enable();
    }
    if (run.services.ui.stop_requested()) return;
    if (options.prompt_passphrase) run.services.ui.prompt_passphrase();

    if (options.wait_for_date && run.today < options.effective_date) return;

    run.log.line(format_processing(script_path, run.update_name, options.effective_date));

    run.show_progress = options.show_progress;
    run.running = true;
    run.services.ui.sections_starting(run.update_name, options.show_progress);

    SectionResult last =
        run_sections(run, [&](std::string_view name, bool resume) { return run_section(run, name, resume, handlers); });

    run.blocks.clear();
    run.running = false;
    run.services.ui.sections_finished();

    show_completion(run, options);

    if (last != update_stopped) {
        run.calls.clear();
        run_section(run, "Cleanup", false, handlers);
        run.calls.clear();
    }
    run.log.line("Update completed, " + run.update_name + "\n");
    handle_reboot(run, options.reboot);
}

}  // namespace dravik
