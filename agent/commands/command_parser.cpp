#include "commands/command_parser.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "engine/run_state.h"
#include "engine/text.h"

namespace dravik {

namespace {

// The parser's view of one statement: the shared statement position, the argument reader and the
// syntax-error reporting.
class Parser {
public:
    Parser(RunState& run, ParsedCommand& cmd) : run_(run), cmd_(cmd), st_(run.statement) {}

    std::string arg(bool expand = true, size_t limit = kMaxCommandText) {
        std::string a = run_.read_argument(expand);
        if (a.size() > limit) a.resize(limit);
        return a;
    }
    // An optional argument is read only when the next non-blank character is not a hyphen.
    std::string optional_arg() {
        size_t p = skip_blanks(st_.text, st_.pos);
        if (p < st_.text.size() && st_.text[p] == '-') return std::string();
        return arg();
    }
    // The character at the statement position ('\0' at the end of the line).
    char peek(size_t offset = 0) const {
        size_t p = st_.pos + offset;
        return p < st_.text.size() ? st_.text[p] : '\0';
    }
    void skip(size_t n) { st_.pos = std::min(st_.text.size(), st_.pos + n); }
    void skip_blanks_here() { st_.pos = skip_blanks(st_.text, st_.pos); }
    bool at_end() const { return st_.pos >= st_.text.size(); }
    // After blanks, does `word` follow (compared as written, or without regard to case)?
    bool follows(std::string_view word, bool ignore_case) const {
        size_t p = skip_blanks(st_.text, st_.pos);
        std::string_view rest = std::string_view(st_.text).substr(std::min(p, st_.text.size()));
        if (rest.size() < word.size()) return false;
        return ignore_case ? istarts_with(rest, word) : rest.substr(0, word.size()) == word;
    }
    // Moves to the next hyphen and returns the letter after it; without a hyphen, the last
    // character of the line stands for the letter and the position goes to the end.
    char next_hyphen_letter() {
        size_t h = st_.text.find('-', st_.pos);
        if (h == std::string::npos) {
            st_.pos = st_.text.size();
            return st_.text.empty() ? '\0' : st_.text.back();
        }
        st_.pos = h + 1;
        char letter = peek();
        skip(1);
        return letter;
    }

    bool error(std::string_view message) {
        run_.log.write(message);
        cmd_.syntaxError = true;
        return false;
    }
    // Reads a required argument; logs `message` when it is empty.
    bool required(std::string& field, std::string_view message, bool expand = true) {
        field = arg(expand);
        return !field.empty() || error(message);
    }
    // "-v name" after a sub-command: optional, "-v" in lower case exactly.
    bool optional_result_variable() {
        if (!follows("-v", false)) return true;
        skip_blanks_here();
        skip(2);
        return required(cmd_.resultVariable, "Syntax error: Missing variable name.\n", false);
    }
    // "-v name" after a get-line sub-command: required, "-v" in any case; silent when absent.
    bool required_result_variable() {
        if (!follows("-v", true)) {
            cmd_.syntaxError = true;
            return false;
        }
        skip_blanks_here();
        skip(2);
        return required(cmd_.resultVariable, "Syntax error: Missing variable name.\n", false);
    }

    StatementCursor& statement() { return st_; }

private:
    RunState& run_;
    ParsedCommand& cmd_;
    StatementCursor& st_;
};

// The second letter of a sub-command; the end of the line counts as a blank.
bool blank_or_end(char c) { return c == '\0' || is_blank(c); }

int root_key_code(std::string_view word) {
    static const char* const kWords[] = {"LM", "CU", "US", "CR", "CC", "DD", "PD"};
    for (int i = 0; i < 7; ++i) {
        if (iequals(word, kWords[i])) return i + 1;
    }
    return kNoRoot;
}

int value_type_code(std::string_view word) {
    static const char* const kWords[] = {"SZ", "BN", "DW", "NO"};
    for (int i = 0; i < 4; ++i) {
        if (iequals(word, kWords[i])) return i + 1;
    }
    return -1;
}

int32_t seconds_to_ms(std::string_view text) {
    int64_t ms = int64_t{parse_int32(text)} * 1000;
    if (ms > INT32_MAX) ms = INT32_MAX;
    if (ms < INT32_MIN) ms = INT32_MIN;
    return static_cast<int32_t>(ms);
}

bool all_digits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

void parse_file_head(Parser& p, ParsedCommand& cmd) {
    cmd.fileName.clear();
    p.required(cmd.fileName, "Syntax error: Missing filename.\n");
}

void parse_registry_head(Parser& p, ParsedCommand& cmd) {
    cmd.keyPath.clear();
    cmd.rootKey = root_key_code(p.arg());
    if (cmd.rootKey == kNoRoot) {
        p.error("Syntax error: Invalid root key.\n");
        return;
    }
    p.required(cmd.keyPath, "Syntax error: Missing key path.\n");
}

void parse_shortcut(Parser& p, ParsedCommand& cmd) {
    cmd.linkFile.clear();
    cmd.target.clear();
    cmd.arguments.clear();
    cmd.workingDirectory.clear();
    cmd.showCommand = 0;
    if (!p.required(cmd.linkFile, "Syntax error: Missing shortcut filename.\n")) return;
    if (!p.required(cmd.target, "Syntax error: Missing program to link to.\n")) return;
    cmd.arguments = p.arg();
    cmd.workingDirectory = p.arg();
    std::string mode = p.arg();
    if (iequals(mode, "normal")) cmd.showCommand = 1;
    if (iequals(mode, "min")) cmd.showCommand = 7;
    if (iequals(mode, "max")) cmd.showCommand = 3;
}

void parse_program(Parser& p, ParsedCommand& cmd) {
    cmd.program.clear();
    cmd.parameters.clear();
    cmd.waitForExit = true;
    cmd.showMode = 1;
    if (!p.required(cmd.program, "Syntax error: Missing filename.\n")) return;
    std::string wait = p.arg();
    if (!iequals(wait, "wait") && !iequals(wait, "nowait")) {
        cmd.parameters = wait;
        wait = p.arg();
    }
    if (iequals(wait, "wait")) cmd.waitForExit = true;
    if (iequals(wait, "nowait")) cmd.waitForExit = false;
    std::string show = p.arg();
    if (iequals(show, "normal")) cmd.showMode = 1;
    if (iequals(show, "min")) cmd.showMode = 2;
    if (iequals(show, "max")) cmd.showMode = 3;
}

void parse_wait(Parser& p, ParsedCommand& cmd) {
    cmd.processName.clear();
    cmd.resultVariable.clear();
    cmd.timeoutMs = -1;
    std::string first = p.arg();
    if (first.empty()) {
        p.error("Syntax error: Missing process to wait for.\n");
        return;
    }
    if (all_digits(first)) {
        cmd.timeoutMs = seconds_to_ms(first);
        cmd.processName = "DravikLT";
    } else {
        cmd.processName = first;
        p.skip_blanks_here();
        if (p.peek() >= '0' && p.peek() <= '9') cmd.timeoutMs = seconds_to_ms(p.arg());
    }
    if (p.follows("-v", true)) {
        p.skip_blanks_here();
        p.skip(2);
        p.required(cmd.resultVariable, "Syntax error: Missing variable name.\n", false);
    }
}

void parse_control(Parser& p, ParsedCommand& cmd) {
    cmd.kind = CommandKind::kRegisterControl;
    cmd.controlFile.clear();
    cmd.copySource.clear();
    cmd.alwaysCopy = false;
    cmd.deleteAfterUnregister = false;
    cmd.controlFile = p.arg(true, kMaxControlPath);
    if (cmd.controlFile.empty()) {
        p.error("Syntax error: Missing filename of the control.\n");
        return;
    }
    char letter = to_lower_ascii(p.next_hyphen_letter());
    char after = p.peek();
    if (letter == 'u') {
        cmd.kind = CommandKind::kUnregisterControl;
        cmd.deleteAfterUnregister = after == 'd' || after == 'D';
    } else if (letter == 'r') {
        if (blank_or_end(after)) {
            cmd.copySource = p.arg(true, kMaxControlPath);
        } else if (after == 'C' || after == 'c') {
            // "-rc" and "-rC" both mean "always copy", whatever an earlier statement said.
            cmd.alwaysCopy = true;
            p.skip(1);
            cmd.copySource = p.arg(true, kMaxControlPath);
        }
    }
}

void quote_if_blank(std::string& text) {
    for (char c : text) {
        if (is_blank(c)) {
            QuoteArgument(text);
            return;
        }
    }
}

// Archive messages are logged as they are found and parsing goes on.
void archive_required(Parser& p, std::string& field, std::string_view message) {
    field = p.arg();
    if (field.empty()) p.error(message);
}

void parse_archive(Parser& p, ParsedCommand& cmd) {
    // archiveOp is left alone: an operation letter the parser does not know keeps it as it was.
    cmd.archiveFile.clear();
    cmd.fileSpec.clear();
    cmd.destination.clear();
    cmd.outputFile.clear();
    cmd.containerFormat = cmd.updateNewerOnly = cmd.storePaths = cmd.relativePaths = false;
    cmd.recurse = cmd.overwrite = cmd.afterDate = false;
    cmd.afterDateText.clear();
    if (!p.required(cmd.archiveFile, "Syntax error: Missing filename of the zip file.\n")) return;

    StatementCursor& st = p.statement();
    switch (to_lower_ascii(p.next_hyphen_letter())) {
        case 'c':
            cmd.archiveOp = 0;
            archive_required(p, cmd.fileSpec, "Syntax error: Missing file spec.\n");
            quote_if_blank(cmd.fileSpec);
            while (st.text.find('-', st.pos) != std::string::npos) {
                char option = p.next_hyphen_letter();
                switch (option) {
                    case 'a':
                    case 'A':
                        cmd.afterDate = true;
                        if (is_blank(p.peek())) p.skip(1);
                        cmd.afterDateText = p.arg(false, kMaxAfterDate);
                        if (cmd.afterDateText.empty()) cmd.afterDate = false;
                        break;
                    case 'e': cmd.archiveOp = 1; break;
                    case 'E': cmd.archiveOp = 1; cmd.containerFormat = true; break;
                    case 'n':
                    case 'N': cmd.updateNewerOnly = true; break;
                    case 'P': cmd.storePaths = true; break;
                    case 'p': cmd.storePaths = cmd.relativePaths = true; break;
                    case 'r':
                    case 'R': cmd.recurse = true; break;
                    default: break;
                }
            }
            break;
        case 'u':
            cmd.archiveOp = 2;
            archive_required(p, cmd.destination, "Syntax error: Missing destination.\n");
            while (st.text.find('-', st.pos) != std::string::npos) {
                char option = p.next_hyphen_letter();
                switch (option) {
                    case 'd': cmd.archiveOp = 3; break;
                    case 'D': cmd.archiveOp = 3; cmd.containerFormat = true; break;
                    case 'f':
                    case 'F':
                        archive_required(p, cmd.fileSpec, "Syntax error: Missing file spec.\n");
                        quote_if_blank(cmd.fileSpec);
                        break;
                    case 'o':
                    case 'O': cmd.overwrite = true; break;
                    case 'p':
                    case 'P': cmd.storePaths = true; break;
                    case 'r':
                    case 'R': cmd.recurse = true; break;
                    default: break;
                }
            }
            if (cmd.fileSpec.empty()) cmd.fileSpec = "*.*";
            break;
        case 'l': {
            cmd.archiveOp = 4;
            archive_required(p, cmd.outputFile, "Syntax error: Missing output file.\n");
            size_t h = st.text.find('-', st.pos);
            for (size_t i = h == std::string::npos ? st.text.size() : h; i < st.text.size(); ++i) {
                if (st.text[i] == 'd') cmd.archiveOp = 5;
                if (st.text[i] == 'D') cmd.archiveOp = 5, cmd.containerFormat = true;
            }
            st.pos = st.text.size();
            break;
        }
        default:
            break;
    }
}

// The rest of each command word after its letter.
std::string_view word_rest(char letter) {
    switch (letter) {
        case 'f': return "ile";
        case 'r': return "eg";
        case 's': return "hortcut";
        case 'p': return "rogram";
        case 'w': return "ait";
        case 'x': return "dll";
        default: return "";
    }
}

// The archive command's own word, recognised whole before the one-letter rule.
bool is_rido_word(std::string_view after_hyphen) {
    return istarts_with(after_hyphen, "rido") && (after_hyphen.size() == 4 || is_blank(after_hyphen[4]));
}

void clear_file_subcommand(ParsedCommand& cmd) {
    cmd.fileOp = kFileOpNone;
    cmd.allOccurrences = false;
    cmd.insertPosition = kInsertNowhere;
    cmd.insertText.clear();
    cmd.insertSearch.clear();
    cmd.searchText.clear();
    cmd.replaceText.clear();
    cmd.deleteText.clear();
    cmd.resultVariable.clear();
}

void clear_registry_subcommand(ParsedCommand& cmd) {
    cmd.valueName.clear();
    cmd.valueType = kTypeNone;
    cmd.valueData.clear();
    cmd.resultVariable.clear();
    cmd.deleteValue = cmd.createKey = cmd.deleteKey = false;
}

// One file sub-command; the position stands after its first letter.
void parse_file_subcommand(Parser& p, ParsedCommand& cmd, char letter) {
    const char second = p.peek();
    switch (letter) {
        case 'i':
            if (second == 'l' || second == 'L' || second == 's' || second == 'S') {
                cmd.fileOp = (second == 'l' || second == 'L') ? kInsertLine : kInsertString;
                cmd.insertPosition = kInsertRelative;
                cmd.allOccurrences = second == 'L' || second == 'S';
                p.skip(1);
                cmd.insertText = p.arg();
                if (!p.required(cmd.insertSearch, "Syntax error: Missing search string.\n")) return;
            } else if (second == 'b' || second == 'B' || second == 'e' || second == 'E' || blank_or_end(second)) {
                cmd.fileOp = kInsertLine;
                cmd.insertPosition = (second == 'b' || second == 'B') ? kInsertAtBeginning : kInsertAtEnd;
                p.skip(1);
                cmd.insertText = p.optional_arg();
            } else {
                p.error("Syntax error: Invalid insert command.\n");
                return;
            }
            break;
        case 'r':
            if (second == 'l' || second == 'L') {
                cmd.fileOp = kReplaceLine;
                cmd.allOccurrences = second == 'L';
                p.skip(1);
                if (!p.required(cmd.replaceText, "Syntax error: Missing line to replace with.\n")) return;
            } else if (second == 's' || second == 'S' || blank_or_end(second)) {
                cmd.fileOp = kReplaceString;
                cmd.allOccurrences = second == 'S';
                p.skip(1);
                if (!p.required(cmd.replaceText, "Syntax error: Missing string to replace with.\n")) return;
            } else {
                p.error("Syntax error: Invalid replace command.\n");
                return;
            }
            if (!p.required(cmd.searchText, "Syntax error: Missing search string.\n")) return;
            break;
        case 'd':
            if (second == 'l' || second == 'L' || blank_or_end(second)) {
                cmd.fileOp = kDeleteLine;
            } else if (second == 's' || second == 'S') {
                cmd.fileOp = kDeleteString;
            } else {
                p.error("Syntax error: Invalid delete command.\n");
                return;
            }
            cmd.allOccurrences = second == 'L' || second == 'S';
            p.skip(1);
            cmd.deleteText = p.optional_arg();
            break;
        case 'f':
            cmd.fileOp = kSearch;
            cmd.allOccurrences = blank_or_end(second) || second == 'S';
            p.skip(1);
            if (!p.required(cmd.searchText, "Syntax error: Missing search string.\n")) return;
            break;
        case 'g':
            if (second == 'l' || second == 'L') {
                cmd.fileOp = kGetLineByNumber;
                p.skip(1);
                if (!p.required(cmd.searchText, "Syntax error: Missing line number.\n")) return;
            } else {
                cmd.fileOp = kGetLineBySearch;
                if (!p.required(cmd.searchText, "Syntax error: Missing search string.\n")) return;
            }
            p.required_result_variable();
            return;
        case 'v':
            cmd.fileOp = kTestExistence;
            p.required(cmd.resultVariable, "Syntax error: Missing variable name.\n", false);
            return;
        default:
            p.error("Syntax error: Invalid file command.\n");
            return;
    }
    p.optional_result_variable();
}

// One registry sub-command; the position stands after its letter.
void parse_registry_subcommand(Parser& p, ParsedCommand& cmd, char letter) {
    switch (letter) {
        case 'm':
            cmd.createKey = true;
            break;
        case 'k':
            cmd.deleteKey = true;
            break;
        case 'd':
            cmd.deleteValue = true;
            cmd.valueName = p.arg();
            break;
        case 's': {
            cmd.valueName = p.arg();
            int type = value_type_code(p.arg());
            if (type < 0) {
                p.error("Syntax error: Invalid root key.\n");
                return;
            }
            cmd.valueType = type;
            cmd.valueData = p.optional_arg();
            break;
        }
        case 'v':
            cmd.valueName = p.arg();
            cmd.resultVariable = p.arg(false);
            break;
        default:
            p.error("Syntax error: Invalid registry command.\n");
            break;
    }
}

}  // namespace

void QuoteArgument(std::string& text) {
    if (text.empty() || text.front() != '"') {
        text.insert(text.begin(), '"');
        text += '"';
    } else if (text.back() != '"') {
        text += '"';
    }
}

void ParseCommand(RunState& run, ParsedCommand& cmd) {
    Parser p(run, cmd);
    StatementCursor& st = run.statement;
    cmd.syntaxError = false;
    cmd.caseSensitive = false;
    cmd.insertAfter = false;

    size_t hyphen = st.text.find('-');
    std::string_view after = hyphen == std::string::npos ? std::string_view()
                                                         : std::string_view(st.text).substr(hyphen + 1);
    if (after.empty()) {
        st.pos = st.text.size();
        p.error("Syntax error: Invalid command.\n");
        return;
    }
    char letter = to_lower_ascii(after[0]);
    st.pos = hyphen + 2;
    if (is_rido_word(after)) {
        letter = 'z';
        st.pos = hyphen + 5;
    } else if (letter == 'z') {
        // The archive's letter: "yp" compared, three characters skipped.
        if (istarts_with(after.substr(1), "yp")) p.skip(3);
    } else {
        std::string_view rest = word_rest(letter);
        if (!rest.empty() && istarts_with(after.substr(1), rest)) p.skip(rest.size());
    }

    switch (letter) {
        case 'f': cmd.kind = CommandKind::kFile; parse_file_head(p, cmd); break;
        case 'r': cmd.kind = CommandKind::kRegistry; parse_registry_head(p, cmd); break;
        case 's': cmd.kind = CommandKind::kShortcut; parse_shortcut(p, cmd); break;
        case 'p': cmd.kind = CommandKind::kProgram; parse_program(p, cmd); break;
        case 'w': cmd.kind = CommandKind::kWait; parse_wait(p, cmd); break;
        case 'x': parse_control(p, cmd); break;
        case 'z': cmd.kind = CommandKind::kArchive; parse_archive(p, cmd); break;
        default:
            cmd.kind = CommandKind::kNone;
            p.error("Syntax error: Invalid command.\n");
            break;
    }
}

bool ParseNextSubcommand(RunState& run, ParsedCommand& cmd, bool first) {
    Parser p(run, cmd);
    StatementCursor& st = run.statement;
    const bool is_file = cmd.kind == CommandKind::kFile;
    bool passed_text = false;
    for (;;) {
        size_t h = st.pos;
        while (h < st.text.size() && st.text[h] != '-') {
            if (!is_blank(st.text[h])) passed_text = true;
            ++h;
        }
        if (h >= st.text.size()) {
            st.pos = st.text.size();
            if (first || passed_text) {
                run.log.write(is_file ? "Invalid file command.\n" : "Invalid registry command.\n");
            }
            return false;
        }
        // A hyphen at the very end of the line has no letter: an invalid sub-command.
        char letter = h + 1 < st.text.size() ? to_lower_ascii(st.text[h + 1]) : '\0';
        st.pos = std::min(h + 2, st.text.size());
        if (letter == 'c') {
            cmd.caseSensitive = true;
        } else if (letter == 'a') {
            cmd.insertAfter = true;
        } else {
            if (is_file) {
                clear_file_subcommand(cmd);
                parse_file_subcommand(p, cmd, letter);
            } else {
                clear_registry_subcommand(cmd);
                parse_registry_subcommand(p, cmd, letter);
            }
            return true;
        }
        passed_text = true;
    }
}

}  // namespace dravik
