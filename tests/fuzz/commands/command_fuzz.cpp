// Fuzz target: arbitrary bytes as one command statement, parsed head and sub-commands as the
// interpreter hands it over, and the file and registry sub-commands executed against a fake registry
// and a file in a temporary folder. Whatever file the statement names, the one file in that folder
// is edited instead, so nothing outside it is touched; archive commands are parsed only.
//
// Checked for each sub-command: a result variable holds what its kind may store ("TRUE"/"FALSE",
// "ERROR" or a count that is not negative, or a line of the file), and no temporary file is left.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "commands/command_parser.h"
#include "commands/file_commands.h"
#include "commands/registry.h"
#include "engine/fakes.h"
#include "fake_registry.h"

namespace {

using namespace dravik;

constexpr char kSeedFile[] = "[Paths]\r\nPATH=c:\\old\r\nx=1\r\n\r\nkey=value;more\r\n";

bool is_count(const std::string& text) {
    if (text.empty() || text.size() > 10) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

void check_result(const ParsedCommand& cmd, const RunState& run) {
    if (cmd.resultVariable.empty() || cmd.kind != CommandKind::kFile) return;
    // A name the store rewrites on the way in ("{name}") is looked for under another name: skipped.
    const std::string* value = run.vars.find(cmd.resultVariable);
    if (!value) return;
    switch (cmd.fileOp) {
        case kTestExistence:
            if (*value != "TRUE" && *value != "FALSE") std::abort();
            break;
        case kGetLineBySearch:
        case kGetLineByNumber:
            if (value->find('\n') != std::string::npos) std::abort();
            break;
        default:
            if (*value != "ERROR" && !is_count(*value)) std::abort();
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string line(reinterpret_cast<const char*>(data), size);
    // One statement line as the script reader gives it: up to its line end, at most 2047 characters.
    line = line.substr(0, line.find_first_of("\r\n")).substr(0, 2047);
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] != '-') return 0;

    static test::TestRun t;  // one folder and run for the whole session; the file is reset per input
    static test::FakeRegistry registry;
    static HostFileSystem files;
    static const std::string target = t.dir.file("a.ini");
    static bool log_on = [] {
        t.run.log.set_path(t.log_path());
        t.run.log.enable();
        return true;
    }();
    (void)log_on;
    registry = test::FakeRegistry();
    test::write_file(target, kSeedFile);
    std::remove(t.log_path().c_str());

    ParsedCommand cmd;
    t.run.statement.reset(line);
    t.run.statement.pos = first + 1;
    ParseCommand(t.run, cmd);
    if (cmd.syntaxError || (cmd.kind != CommandKind::kFile && cmd.kind != CommandKind::kRegistry)) return 0;
    if (cmd.kind == CommandKind::kFile) cmd.fileName = target;

    for (bool found = ParseNextSubcommand(t.run, cmd, true); found; found = ParseNextSubcommand(t.run, cmd, false)) {
        if (cmd.syntaxError) break;
        if (cmd.kind == CommandKind::kFile) {
            ExecuteFileSubcommand(t.run, cmd, files);
            check_result(cmd, t.run);
            if (files.exists(target + "@")) std::abort();
        } else {
            ExecuteRegistrySubcommand(t.run, cmd, registry);
            if (cmd.deleteKey) break;
        }
    }
    return 0;
}
