// The script check. Command lines go through the agent's own parser with its log captured, so the
// messages are exactly those the agent would write. Variables are unknown before a run, so every
// {name} a line refers to is given a placeholder value first: an argument that is only a variable
// is not taken for a missing one. @GOTO targets that hold a variable are not checked.
//
// Blocks are paired lexically per section, as the agent pairs them when every branch runs: @IF and
// @DO open a block, @ELSE/@ELSEIF need an @IF on top, @ENDIF closes the innermost block (and the
// agent would close a @DO with it too, which is reported), @WHILE needs a @DO on top. Blocks still
// open at the end of their section are reported at the line that opened them.
#include "script_check.h"

#include <algorithm>

#include "commands/command_parser.h"
#include "commands/parsed_command.h"
#include "engine/run_state.h"
#include "engine/text.h"

namespace dravik {
namespace {

// The services a parse touches: none of them reaches the workstation.
struct QuietClock : Clock {
    LocalTime now() override { return LocalTime{2000, 1, 1, 0, 0, 0}; }
    void sleep_ms(unsigned) override {}
};
struct VerbatimEnvironment : Environment {
    std::string expand_reference(const std::string& reference) override { return reference; }
};
struct NoLogFiles : LogFileSystem {
    std::unique_ptr<ExclusiveFile> open_exclusive(const std::string&, bool& busy) override {
        busy = false;
        return nullptr;
    }
    int64_t listed_size(const std::string&) override { return -1; }
};
struct NoUserInterface : UserInterface {
    void show_message(const std::string&, const std::string&, MessageIcon, bool) override {}
    bool ask_yes_no(const std::string&, const std::string&) override { return false; }
    void sections_starting(const std::string&, bool) override {}
    void sections_finished() override {}
    bool stop_requested() override { return false; }
};
struct NoSystem : SystemServices {
    bool file_exists(const std::string&) override { return false; }
    std::string full_path(const std::string& path) override { return path; }
    bool reboot(bool, std::string&) override { return false; }
};

struct Line {
    int number;
    std::string text;
};

// Physical lines; each keeps at most the statement length and ends at a NUL, as the reader does.
std::vector<Line> split_lines(std::string_view bytes) {
    std::vector<Line> lines;
    size_t i = 0;
    int number = 1;
    while (i < bytes.size()) {
        size_t end = i;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') ++end;
        std::string text(bytes.substr(i, end - i));
        text = text.substr(0, std::min(text.find('\0'), kMaxStatementLine));
        lines.push_back(Line{number++, std::move(text)});
        if (end < bytes.size() && bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') ++end;
        i = end + 1;
    }
    return lines;
}

class Checker {
  public:
    explicit Checker(std::string_view bytes) : run_(Services{clock_, environment_, log_files_, ui_, system_}) {
        sections_.load_bytes(bytes);
        run_.log.capture_into(&captured_);
        run_.log.enable();
    }

    std::vector<CheckFinding> run(const std::vector<Line>& lines) {
        bool in_statements = false;
        for (const Line& line : lines) {
            size_t first = skip_blanks(line.text);
            if (first >= line.text.size()) continue;
            if (line.text[first] == '[') {
                close_section();
                size_t close = line.text.find(']', first);
                section_ =
                    line.text.substr(first + 1, close == std::string::npos ? std::string::npos : close - first - 1);
                in_statements = !iequals(section_, "Update");
                continue;
            }
            if (!in_statements) continue;
            if (line.text[first] == '-') check_command(line, first);
            if (line.text[first] == '@') check_keyword(line, first);
        }
        close_section();
        std::stable_sort(findings_.begin(), findings_.end(),
                         [](const CheckFinding& a, const CheckFinding& b) { return a.line < b.line; });
        return findings_;
    }

  private:
    struct Open {
        char kind;  // 'I' for @IF, 'D' for @DO
        int line;
    };

    void report(int line, std::string message) { findings_.push_back(CheckFinding{line, std::move(message)}); }

    void give_placeholders(const std::string& text) {
        for (size_t open = text.find('{'); open != std::string::npos; open = text.find('{', open + 1)) {
            if (open + 1 < text.size() && text[open + 1] == '{') {
                ++open;
                continue;
            }
            size_t close = text.find('}', open + 1);
            if (close == std::string::npos) return;
            std::string name = text.substr(open + 1, close - open - 1);
            if (!name.empty() && !run_.vars.find(name)) run_.vars.set_variable(name, "value");
        }
    }

    void check_command(const Line& line, size_t first) {
        give_placeholders(line.text);
        captured_.clear();
        ParsedCommand cmd;
        run_.statement.reset(line.text);
        run_.statement.pos = first + 1;
        ParseCommand(run_, cmd);
        if (!cmd.syntaxError && (cmd.kind == CommandKind::kFile || cmd.kind == CommandKind::kRegistry)) {
            for (bool found = ParseNextSubcommand(run_, cmd, true); found && !cmd.syntaxError;
                 found = ParseNextSubcommand(run_, cmd, false)) {
                if (cmd.kind == CommandKind::kRegistry && cmd.deleteKey) break;
            }
        }
        size_t start = 0;
        bool reported = false;
        while (start < captured_.size()) {
            size_t end = captured_.find('\n', start);
            if (end == std::string::npos) end = captured_.size();
            std::string_view message = trim_right_blanks(std::string_view(captured_).substr(start, end - start));
            if (!message.empty()) {
                report(line.number, std::string(message));
                reported = true;
            }
            start = end + 1;
        }
        // "-g" and "-gl" without "-v": the agent skips the statement without a word.
        if (cmd.syntaxError && !reported) report(line.number, "Syntax error: \"-v\" and a variable name are required.");
    }

    void check_keyword(const Line& line, size_t first) {
        const std::string_view rest = std::string_view(line.text).substr(first + 1);
        if (istarts_with(rest, "GOTO")) {
            run_.statement.reset(line.text);
            run_.statement.pos = first + 5;
            std::string target = ReadArgument(run_.statement, false, run_.vars, environment_);
            if (target.find('{') != std::string::npos || target.find('%') != std::string::npos) return;
            if (!sections_.find_section(target, false, nullptr)) {
                report(line.number, "@GOTO to a section that does not exist: [" + target + "]");
            }
            return;
        }
        if (iequals(rest, "END") || iequals(rest, "RETURN") || istarts_with(rest, "SET")) return;
        if (istarts_with(rest, "IF")) {
            blocks_.push_back(Open{'I', line.number});
        } else if (istarts_with(rest, "ELSE")) {
            if (blocks_.empty() || blocks_.back().kind != 'I') {
                report(line.number,
                       std::string(istarts_with(rest, "ELSEIF") ? "@ELSEIF" : "@ELSE") + " without a matching @IF.");
            }
        } else if (istarts_with(rest, "ENDIF")) {
            if (blocks_.empty()) {
                report(line.number, "@ENDIF without a matching @IF.");
                return;
            }
            if (blocks_.back().kind == 'D') {
                report(line.number, "@ENDIF closes the @DO block of line " + std::to_string(blocks_.back().line) + ".");
            }
            blocks_.pop_back();
        } else if (istarts_with(rest, "DO")) {
            blocks_.push_back(Open{'D', line.number});
        } else if (istarts_with(rest, "WHILE")) {
            if (blocks_.empty() || blocks_.back().kind != 'D') {
                report(line.number, "@WHILE without a matching @DO.");
                return;
            }
            blocks_.pop_back();
        }
    }

    void close_section() {
        for (const Open& open : blocks_) {
            report(open.line, open.kind == 'I' ? "@IF without a matching @ENDIF in section [" + section_ + "]."
                                               : "@DO without a matching @WHILE in section [" + section_ + "].");
        }
        blocks_.clear();
    }

    QuietClock clock_;
    VerbatimEnvironment environment_;
    NoLogFiles log_files_;
    NoUserInterface ui_;
    NoSystem system_;
    RunState run_;
    ScriptReader sections_;
    std::string captured_;
    std::string section_;
    std::vector<Open> blocks_;
    std::vector<CheckFinding> findings_;
};

}  // namespace

std::vector<CheckFinding> check_script(std::string_view bytes) { return Checker(bytes).run(split_lines(bytes)); }

std::string format_findings(std::string_view file, const std::vector<CheckFinding>& findings) {
    std::string out;
    for (const CheckFinding& f : findings) {
        out += std::string(file) + "(" + std::to_string(f.line) + "): " + f.message + "\n";
    }
    return out;
}

}  // namespace dravik
