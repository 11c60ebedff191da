#include "commands/batch_file.h"

#include <cstdio>
#include <memory>

#include "commands/process.h"
#include "engine/expand.h"
#include "engine/run_state.h"
#include "engine/text.h"

namespace dravik {

namespace {

constexpr char kNotice[] = "rem Written by the Dravik update agent for one run of script lines; deleted after the run.";
constexpr char kMarkerNotice[] = "Deleted by the last line of the batch file; left behind when the batch stops early.";

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// A path as one word for the command interpreter.
std::string quoted_if_blank(const std::string& path) {
    return path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
}

// Writes all of `text` and closes the file; false when any step failed.
bool write_and_close(FilePtr file, const std::string& text) {
    bool ok = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
    ok = std::fflush(file.get()) == 0 && ok;
    return std::fclose(file.release()) == 0 && ok;
}

bool file_holds(const std::string& path, const std::string& text) {
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) return false;
    std::string read(text.size() + 1, '\0');
    return std::fread(read.data(), 1, read.size(), file.get()) == text.size() &&
           read.compare(0, text.size(), text) == 0;
}

// Reads the run of batch lines from the reader, leaving it at the first line that ends the run.
// With `collect`, each command is logged (all but the first, which the interpreter logged) and
// returned expanded; otherwise the run is only passed over.
std::vector<std::string> read_run(RunState& run, bool collect) {
    std::vector<std::string> commands;
    ScriptReader& reader = run.reader;
    std::string line;
    for (bool first = true;; first = false) {
        int32_t start = reader.tell();
        if (!reader.read_line(line)) break;
        size_t at = skip_blanks(line);
        if (at >= line.size()) continue;
        char c = line[at];
        if (c == '[' || c == '$' || c == '-' || c == '@') {
            reader.seek(start, 0);
            break;
        }
        if (c == ';' || !collect) continue;
        if (!first) run.log.line(line.substr(at) + ", Added to batch file.\n");
        commands.push_back(expand_variables(expand_environment(line, run.services.environment), run.vars));
    }
    return commands;
}

std::string command_interpreter(RunState& run, ProcessHost& host) {
    const std::string reference = "%ComSpec%";
    std::string comspec = run.services.environment.expand_reference(reference);
    if (!comspec.empty() && comspec != reference) return comspec;
    return host.windows_directory() + (run.nt_version < 310 ? "\\command.com" : "\\cmd.exe");
}

void remove_file(const std::string& path) { std::remove(path.c_str()); }

}  // namespace

std::string batch_file_path(const std::string& temp_dir, int nt_version) {
    return temp_dir + (nt_version >= 310 ? "\\Update.cmd" : "\\Update.bat");
}

std::string marker_file_path(const std::string& temp_dir) { return temp_dir + "\\update.mrk"; }

std::string batch_file_text(const std::string& temp_dir, const std::string& update_name,
                            const std::vector<std::string>& commands) {
    std::string text;
    auto add = [&text](const std::string& line) { text += line + "\r\n"; };
    add(kNotice);
    add(std::string("rem ***Added by DravikLT.exe ") + kAgentVersion);
    add("@echo off");
    add("");
    add("rem ***SDF Commands for " + update_name);
    add("");
    for (const std::string& command : commands) add(command);
    add("");
    add("");
    add("rem ***Added by DravikLT.exe");
    // Quoted only when it must be: a temporary path with a blank would otherwise delete nothing.
    add("del " + quoted_if_blank(marker_file_path(temp_dir)));
    return text;
}

bool RunBatchFile(RunState& run, ProcessHost& host) {
    host.enter_directory(run.temp_dir);
    const std::string path = batch_file_path(run.temp_dir, run.nt_version);
    const std::string marker = marker_file_path(run.temp_dir);

    host.clear_attributes(path);
    FilePtr file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        run.log.line("Error creating batch file, " + path + "\n");
        read_run(run, false);  // the interpreter goes on after the run, not at its first line again
        return false;
    }
    std::vector<std::string> commands = read_run(run, true);
    if (commands.empty()) {
        file.reset();
        remove_file(path);
        return true;
    }
    const std::string text = batch_file_text(run.temp_dir, run.update_name, commands);
    if (!write_and_close(std::move(file), text) || !file_holds(path, text)) {
        // A batch cut short could run half of its commands: run none.
        run.log.line("Error creating batch file, " + path + "\n");
        remove_file(path);
        return false;
    }

    host.clear_attributes(marker);
    FilePtr marker_file(std::fopen(marker.c_str(), "wb"));
    std::string marker_text =
        std::string("Wait marker created by DravikLT.exe v") + kAgentVersion + "\r\n" + kMarkerNotice + "\r\n";
    if (!marker_file || !write_and_close(std::move(marker_file), marker_text)) {
        run.log.line("Error creating marker file, " + marker + "\n");
    }

    run.log.line("Executing batch file, " + path + "\n");
    std::string error;
    std::unique_ptr<Process> process =
        host.start({command_interpreter(run, host), " /c " + quoted_if_blank(path), run.temp_dir, 0}, error);
    if (process) {
        WaitForProcessOrStop(host, *process, -1);
        process.reset();
    } else {
        run.log.line("Error starting process: " + error + "\n");
    }

    bool completed = !run.services.system.file_exists(marker);
    if (completed) {
        run.log.line("Batch file completed, \"\"\n");
    } else {
        remove_file(marker);
        run.batch_incomplete = true;
        run.log.line("Not all commands completed, \"\"\n");
    }
    remove_file(path);
    return completed;
}

}  // namespace dravik
