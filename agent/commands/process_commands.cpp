#include "commands/process.h"
#include "engine/run_state.h"
#include "engine/text.h"

namespace dravik {

int WaitForProcessOrStop(ProcessHost& host, Process& process, int32_t timeout_ms) {
    WaitEnd end = host.wait(process, timeout_ms);
    return end == WaitEnd::kEnded || end == WaitEnd::kStopped ? 1 : 0;
}

void ExecuteProgram(RunState& run, const ParsedCommand& cmd, ProcessHost& host) {
    std::string error;
    std::unique_ptr<Process> process = host.start({cmd.program, cmd.parameters, run.temp_dir, cmd.showMode}, error);
    if (!process) {
        run.log.write("Error starting process: " + error + "\n");
        return;
    }
    run.log.write("Process executed.\n");
    if (!cmd.waitForExit) return;
    WaitForProcessOrStop(host, *process, -1);  // ended or stopping: either way the wait is over
    run.log.line("-Program Wait, Process completed.\n");
}

void WaitForNamedProcess(RunState& run, const ParsedCommand& cmd, ProcessHost& host) {
    auto set_result = [&](const char* value) {
        if (!cmd.resultVariable.empty()) run.vars.set_variable(cmd.resultVariable, value);
    };
    std::unique_ptr<Process> match;
    switch (host.find(to_lower_ascii(cmd.processName), match)) {
        case ProcessSearch::kNotWin32:
            set_result("FALSE");
            run.log.write("Must be 32bit Windows environment to wait for processes.\n");
            return;
        case ProcessSearch::kNoProcessList:
            run.log.write("Running processes cannot be listed on this system.\n");
            return;
        case ProcessSearch::kNotFound:
            set_result("FALSE");
            run.log.write("Process not currently running.\n");
            return;
        case ProcessSearch::kFound:
            break;
    }
    set_result("TRUE");  // before the wait, which may last long
    bool over = WaitForProcessOrStop(host, *match, cmd.timeoutMs) != 0;
    run.log.write(over ? "Process completed.\n" : "Wait timed out.\n");
}

}  // namespace dravik
