#include <tuple>
#include <vector>

#include "commands/control.h"
#include "engine/run_state.h"

namespace dravik {

namespace {

constexpr size_t kVersionFields = 4;
const char kNewerInPlace[] = "Control not registered: Destination file is a newer version.\n";

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The numeric fields of a version text; empty when it has no digits at all.
std::vector<uint32_t> version_fields(std::string_view text) {
    std::vector<uint32_t> fields;
    size_t i = 0;
    while (fields.size() < kVersionFields) {
        while (i < text.size() && !is_digit(text[i])) ++i;
        if (i == text.size()) break;
        uint64_t value = 0;
        for (; i < text.size() && is_digit(text[i]); ++i) {
            value = value * 10 + static_cast<uint64_t>(text[i] - '0');
            if (value > UINT32_MAX) value = UINT32_MAX;  // an absurd field saturates
        }
        fields.push_back(static_cast<uint32_t>(value));
    }
    return fields;
}

auto as_tuple(const FileStamp& s) {
    return std::tie(s.year, s.month, s.day, s.hour, s.minute, s.second, s.milliseconds);
}

enum class CopyDecision { kCopy, kKeep, kNoSource };

CopyDecision decide_copy(const ParsedCommand& cmd, ComponentHost& host) {
    if (cmd.alwaysCopy) return CopyDecision::kCopy;
    std::string source_version, target_version;
    // A text without a single digit is no version to compare.
    if (host.version_text(cmd.copySource, source_version) && host.version_text(cmd.controlFile, target_version) &&
        !version_fields(source_version).empty() && !version_fields(target_version).empty()) {
        return CompareVersionTexts(source_version, target_version) > 0 ? CopyDecision::kCopy : CopyDecision::kKeep;
    }
    FileStamp source, target;
    if (!host.exclusive_write_time(cmd.controlFile, target)) return CopyDecision::kCopy;
    if (!host.exclusive_write_time(cmd.copySource, source)) return CopyDecision::kNoSource;
    return as_tuple(source) < as_tuple(target) ? CopyDecision::kKeep : CopyDecision::kCopy;
}

std::string ole_error(uint32_t code) {
    const char* reason = nullptr;
    switch (code) {
        case 0x80070057u:
            reason = "Invalid argument.\n";
            break;
        case 0x8007000Eu:
            reason = "Out of memory.\n";
            break;
        case 0x8000FFFFu:
            reason = "Unexpected error.\n";
            break;
        case 0x8004000Eu:
            reason = "The versions of COMPOBJ.DLL and OLE2.DLL are incompatible with each other.\n";
            break;
        case 0x80010106u:
            reason = "COM already initialized with a different concurrency model for this apartment.\n";
            break;
        default:
            return "Error initializing COM library.\n";
    }
    return std::string("Error initializing COM: ") + reason;
}

// Calls the entry point; the message, or empty when it ran.
std::string call_entry_point(const ParsedCommand& cmd, ComponentHost& host, bool unregister) {
    uint32_t init = host.ole_initialize();
    if (init & 0x80000000u) return ole_error(init);
    bool found = host.call_entry_point(cmd.controlFile, unregister ? "DllUnregisterServer" : "DllRegisterServer");
    host.ole_uninitialize();
    if (found) return std::string();
    return unregister ? "Control not unregistered: Could not find unregistration procedure.\n"
                      : "Control not registered: Could not find registration procedure.\n";
}

}  // namespace

int CompareVersionTexts(std::string_view a, std::string_view b) {
    std::vector<uint32_t> fa = version_fields(a), fb = version_fields(b);
    fa.resize(kVersionFields);
    fb.resize(kVersionFields);
    for (size_t i = 0; i < kVersionFields; ++i) {
        if (fa[i] != fb[i]) return fa[i] < fb[i] ? -1 : 1;
    }
    return 0;
}

void RegisterControl(RunState& run, const ParsedCommand& cmd, ComponentHost& host) {
    const bool unregister = cmd.kind == CommandKind::kUnregisterControl;
    if (!unregister && !cmd.copySource.empty()) {
        switch (decide_copy(cmd, host)) {
            case CopyDecision::kKeep:
                run.log.write(kNewerInPlace);
                return;
            case CopyDecision::kNoSource:
                run.log.write("Control not registered: Could not locate file to copy from.\n");
                return;
            case CopyDecision::kCopy:
                break;
        }
        if (!host.copy_file(cmd.copySource, cmd.controlFile)) {
            // In use: the copy takes its place at the next restart, and registers then or never.
            std::string error;
            if (host.replace_at_restart(cmd.copySource, cmd.controlFile, error)) {
                run.log.write("Copy on Reboot file:  ");
            } else {
                run.log.write("Error copying file: " + error + "\n");
            }
            return;
        }
    }

    std::string failure = call_entry_point(cmd, host, unregister);
    if (!failure.empty()) {
        run.log.write(failure);
        return;
    }
    if (!unregister) {
        run.log.write("Control registered.\n");
    } else if (!cmd.deleteAfterUnregister) {
        run.log.write("Control unregistered.\n");
    } else {
        run.services.clock.sleep_ms(1000);  // lets the system let go of the unloaded file
        std::string error;
        if (host.delete_file(cmd.controlFile, error)) {
            run.log.write("Control unregistered and deleted.\n");
        } else {
            run.log.write("Control unregistered but not deleted: " + error + "\n");
        }
    }
}

}  // namespace dravik
