// The "-file" command's executor: runs one parsed file sub-command through the text-file
// operations, logs its outcome and stores its result variable.
#pragma once

#include "commands/parsed_command.h"
#include "commands/text_file.h"

namespace dravik {

struct RunState;

void ExecuteFileSubcommand(RunState& run, const ParsedCommand& cmd, TextFileSystem& fs);

}  // namespace dravik
