// The command parser: reads a command statement (a line whose first significant character is '-')
// into the command record.
//
// The letter after the first hyphen selects the command; when the characters after that letter
// spell the rest of the command word ("-file", "-reg", ...) they are skipped, otherwise the
// arguments begin right after the letter ("-fil" names the file "il"). The whole word "-rido" names
// the archive command before that rule is applied, since its first letter is also the registry's.
// File and registry commands carry sub-commands, which ParseNextSubcommand reads one at a time so
// each can run before the next is read. Every syntax error completes the statement's log line with
// its message and sets syntaxError.
#pragma once

#include <string>

#include "commands/parsed_command.h"

namespace dravik {

struct RunState;

// Parses the command head at run.statement into cmd; sets cmd.syntaxError on failure.
void ParseCommand(RunState& run, ParsedCommand& cmd);

// For file and registry commands: parses the next sub-command from the statement position. True
// when one was found (also when it had a syntax error, which it flags), false at the end of the line.
bool ParseNextSubcommand(RunState& run, ParsedCommand& cmd, bool first);

// Wraps text in double quotes in place (see the archive command's file specifications).
void QuoteArgument(std::string& text);

}  // namespace dravik
