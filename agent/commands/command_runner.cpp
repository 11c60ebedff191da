#include "commands/command_runner.h"

#include "commands/archive_command.h"
#include "commands/command_parser.h"
#include "commands/control.h"
#include "commands/file_commands.h"
#include "commands/process.h"
#include "commands/shortcut.h"
#include "engine/run_state.h"
#include "engine/text.h"

namespace dravik {

void RunCommandLine(RunState& run, ParsedCommand& cmd, CommandServices services) {
    cmd.syntaxError = false;
    ParseCommand(run, cmd);
    if (cmd.syntaxError) return;
    if (cmd.kind == CommandKind::kArchive) {
        ExecuteArchiveCommand(run, cmd, services.files);
        return;
    }
    if (cmd.kind == CommandKind::kProgram || cmd.kind == CommandKind::kWait) {
        if (!services.processes) return;
        if (cmd.kind == CommandKind::kProgram) {
            ExecuteProgram(run, cmd, *services.processes);
        } else {
            WaitForNamedProcess(run, cmd, *services.processes);
        }
        return;
    }
    if (cmd.kind == CommandKind::kShortcut) {
        if (services.shortcuts) CreateShortcut(run, cmd, *services.shortcuts);
        return;
    }
    if (cmd.kind == CommandKind::kRegisterControl || cmd.kind == CommandKind::kUnregisterControl) {
        if (services.components) RegisterControl(run, cmd, *services.components);
        return;
    }
    if (cmd.kind != CommandKind::kFile && cmd.kind != CommandKind::kRegistry) return;

    StatementCursor& st = run.statement;
    for (bool found = ParseNextSubcommand(run, cmd, true); found; found = ParseNextSubcommand(run, cmd, false)) {
        if (cmd.syntaxError) return;
        if (cmd.kind == CommandKind::kFile) {
            ExecuteFileSubcommand(run, cmd, services.files);
        } else {
            ExecuteRegistrySubcommand(run, cmd, services.registry);
            if (cmd.deleteKey) return;
        }
        size_t rest = skip_blanks(st.text, st.pos);
        if (rest < st.text.size()) run.log.line(st.text.substr(rest) + ", ");
    }
}

}  // namespace dravik
