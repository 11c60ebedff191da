// Runs of batch lines: the interpreter hands over the first line of a run; the run is written to a
// batch file in the agent's temporary directory and run hidden by the system's command interpreter
// while the agent waits.
//
// Batch file layout (CR LF after every line): a notice line, "rem ***Added by DravikLT.exe 2.0",
// "@echo off", an empty line, "rem ***SDF Commands for <update>", an empty line, the commands (each
// expanded: %NAME% first, then {name}), two empty lines, "rem ***Added by DravikLT.exe" and the
// "del" of the wait marker "update.mrk". The marker is written before the batch runs; when it is
// still there afterwards, the batch stopped before its last line.
#pragma once

#include <string>
#include <vector>

namespace dravik {

class ProcessHost;
struct RunState;

constexpr char kAgentVersion[] = "2.0";

// "<temp>\Update.cmd" from NT version code 310 on, "<temp>\Update.bat" below.
std::string batch_file_path(const std::string& temp_dir, int nt_version);
std::string marker_file_path(const std::string& temp_dir);

// The whole batch file for these (already expanded) command lines.
std::string batch_file_text(const std::string& temp_dir, const std::string& update_name,
                            const std::vector<std::string>& commands);

// With the reader at the start of the run's first line: writes, runs and deletes the batch file,
// leaving the reader at the first line that is not part of the run. False when the batch did not
// run to its end or could not be created.
bool RunBatchFile(RunState& run, ProcessHost& host);

}  // namespace dravik
