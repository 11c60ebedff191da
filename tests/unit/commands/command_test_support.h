// Shared helpers of the command tests: a run whose log is open, a command line placed in the
// statement as the interpreter places it, and a compact text form of the command record.
#pragma once

#include <string>
#include <vector>

#include "commands/command_parser.h"
#include "commands/command_runner.h"
#include "commands/parsed_command.h"
#include "engine/fakes.h"

namespace dravik::test {

class CommandTestRun : public TestRun {
public:
    CommandTestRun() {
        run.log.set_path(log_path());
        run.log.enable();
    }
    // Puts a command line in the statement with the position after its first significant
    // character, as the interpreter hands it over.
    void set_statement(const std::string& line) {
        run.statement.reset(line);
        run.statement.pos = line.find_first_not_of(" \t") + 1;
    }
};

// Runs the lines as the section Common through the interpreter with the command handler, and returns
// the log from the first statement to the end of Common.
inline std::string run_commands(CommandTestRun& t, const std::string& lines, CommandServices services) {
    StatementHandlers handlers;
    handlers.command = CommandRunner(services);
    t.run_script("[Common]\r\n" + lines + "\r\n", handlers);
    std::string log = t.log();
    const std::string start = "Section found, Reading commands.\n";
    size_t from = log.find(start);
    size_t to = log.find("Searching for section, [Cleanup]");
    if (from == std::string::npos || to == std::string::npos) return "unexpected log: " + log;
    return log.substr(from + start.size(), to - from - start.size());
}

// The head's fields of the command's kind, as "name=value" words (empty texts left out).
std::string describe_head(const ParsedCommand& cmd);
// The current sub-command's fields.
std::string describe_sub(const ParsedCommand& cmd);

}  // namespace dravik::test
