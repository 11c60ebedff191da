#include "commands/shortcut.h"
#include "engine/run_state.h"
#include "engine/text.h"

namespace dravik {

namespace {

std::string creation_error(uint32_t code) {
    switch (code) {
        case 0x80040154u:  // REGDB_E_CLASSNOTREG
            return "Error initializing interface: Class not registered.\n";
        case 0x80040110u:  // CLASS_E_NOAGGREGATION
            return "Error initializing interface: Class cannot be created as part of an aggregate.\n";
        case 0x80004002u:  // E_NOINTERFACE
            return "Error initializing interface: The class does not implement the requested service.\n";
        default:
            return "Error initializing interface.\n";
    }
}

bool ends_with_lnk(const std::string& name) {
    return name.size() >= 4 && iequals(std::string_view(name).substr(name.size() - 4), ".lnk");
}

}  // namespace

void CreateShortcut(RunState& run, const ParsedCommand& cmd, ShortcutHost& host) {
    LinkRequest request{cmd.linkFile, cmd.target, cmd.arguments, cmd.workingDirectory, cmd.showCommand};
    if (!ends_with_lnk(request.file)) request.file += ".LNK";
    // Only the last folder is made: a link whose folder's parent is missing cannot be saved.
    size_t slash = request.file.rfind('\\');
    if (slash != std::string::npos && slash > 0) host.create_directory(request.file.substr(0, slash));

    uint32_t code = 0;
    switch (host.save_link(request, code)) {
        case LinkOutcome::kSaved:
            run.log.write("Shortcut saved.\n");
            break;
        case LinkOutcome::kNotCreated:
            run.log.write(creation_error(code));
            break;
        case LinkOutcome::kNoPersist:
            run.log.write("Interface not supported.\n");
            break;
        case LinkOutcome::kNotSaved:
            run.log.write("The shortcut could not be saved.\n");
            break;
    }
}

}  // namespace dravik
