// The worker thread: everything the agent does besides running its status window. It makes the
// prompt window, reads the command line, starts the progress thread, sets the built-in variables,
// runs the update, and finally closes the status window, which ends the program.
//
// The close request is posted, not sent: the worker then ends on its own, and the main entry, which
// waits for it after the message loop, never has to end it in the middle of a call.
#include <windows.h>

#include "agent_app.h"
#include "prompt_window.h"
#include "commands/batch_file.h"
#include "commands/command_runner.h"
#include "commands/control_win32.h"
#include "commands/process_win32.h"
#include "commands/shortcut_win32.h"
#include "engine/command_line.h"
#include "engine/update_run.h"

namespace dravik {

namespace {

void set_builtin_variables(AgentApp& app) {
    VariableStore& vars = app.run.vars;
    vars.set_variable("DravikPath", executable_directory());
    vars.set_variable("Datestamp", "");
    vars.set_variable("Timestamp", "");
    std::string version = windows_version_name();
    if (!version.empty()) vars.set_variable("WinVer", version);
}

}  // namespace

DWORD WINAPI worker_thread(LPVOID param) {
    AgentApp& app = *static_cast<AgentApp*>(param);
    app.prompt_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);

    if (!create_prompt_window(app)) {
        PostMessageA(app.status, WM_CLOSE, 0, 0);
        return 0;
    }
    app.run.is_nt = is_nt_platform();
    app.run.nt_version = nt_version_code();

    CommandLine cl = parse_command_line(command_line_arguments(GetCommandLineA()), app.run);
    if (cl.help) show_help_dialog(app);
    if (cl.help && cl.script_path.empty()) {
        PostMessageA(app.status, WM_CLOSE, 0, 0);
        return 0;
    }

    app.progress = CreateThread(nullptr, 0, progress_thread, &app, 0, nullptr);

    set_builtin_variables(app);
    app.run.temp_dir = temporary_directory();

    HostFileSystem files;
    Win32ProcessHost processes(app.status, app.stop_event, app.closing);
    StatementHandlers handlers;
    Win32ShortcutHost shortcuts;
    Win32ComponentHost components;
    handlers.command = CommandRunner(CommandServices{files, app.registry, &processes, &shortcuts, &components});
    handlers.batch = [&processes](RunState& run) { RunBatchFile(run, processes); };
    PromptState& prompts = *app.prompt_state;
    handlers.prompt = [&prompts](RunState& run) { return run_prompt_statement(run, prompts, prompts.session); };
    run_update(app.run, cl.script_path, handlers);
    close_prompt_window(app);

    PostMessageA(app.status, WM_CLOSE, 0, 0);
    return 0;
}

}  // namespace dravik
