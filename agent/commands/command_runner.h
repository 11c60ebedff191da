// The hand-over of a command line from the interpreter: the command head is parsed; file and
// registry commands then run their sub-commands one by one, each executed as soon as it is parsed,
// with the rest of the line logged as the start of the next sub-command's log entry. The other
// kinds are parsed here and executed by their own parts.
#pragma once

#include "commands/parsed_command.h"
#include "commands/registry.h"
#include "commands/text_file.h"

namespace dravik {

class ComponentHost;
class ProcessHost;
class ShortcutHost;
struct RunState;

struct CommandServices {
    TextFileSystem& files;
    Registry& registry;
    ProcessHost* processes = nullptr;     // "-program" and "-wait" do nothing without it
    ShortcutHost* shortcuts = nullptr;    // "-shortcut" does nothing without it
    ComponentHost* components = nullptr;  // "-xdll" does nothing without it
};

// Runs the command statement at run.statement.
void RunCommandLine(RunState& run, ParsedCommand& cmd, CommandServices services);

// The command record of a run and the services it works with; usable as the interpreter's
// command handler.
class CommandRunner {
public:
    explicit CommandRunner(CommandServices services) : services_(services) {}
    void operator()(RunState& run) { RunCommandLine(run, cmd_, services_); }
    const ParsedCommand& command() const { return cmd_; }

private:
    CommandServices services_;
    ParsedCommand cmd_;
};

}  // namespace dravik
