#include "commands/file_commands.h"

#include <new>
#include <optional>
#include <string>

#include "engine/run_state.h"
#include "engine/text.h"

namespace dravik {

namespace {

constexpr char kCannotOpen[] = "The file could not be opened or the temporary file could not be created.\n";
constexpr char kNotFound[] = "The search string was not found.\n";

// The message for a count: -1 and 0 have fixed texts, 1 its own, n the plural format.
struct CountMessages {
    const char* failed;
    const char* one;
    const char* many;  // "%d" stands for the count; null: `one` for every count
};

std::string count_message(int count, const CountMessages& m) {
    if (count < 0) return m.failed;
    if (count == 0) return kNotFound;
    if (count == 1 || !m.many) return m.one;
    std::string text = m.many;
    text.replace(text.find("%d"), 2, std::to_string(count));
    return text;
}

// Runs the operation of a changing or searching sub-command: its count and the messages for it.
int run_operation(const ParsedCommand& cmd, TextFile& file, TextFileSystem& fs, CountMessages& messages) {
    const bool cs = cmd.caseSensitive;
    const bool all = cmd.allOccurrences;
    switch (cmd.fileOp) {
        case kReplaceLine:
            messages = {kCannotOpen, "1 line replaced.\n", "%d lines replaced.\n"};
            return ReplaceLines(file, cmd.searchText, cmd.replaceText, cs, all);
        case kReplaceString:
            messages = {kCannotOpen, "1 occurrence replaced.\n", "%d occurrences replaced.\n"};
            return ReplaceStrings(file, cmd.searchText, cmd.replaceText, cs, all);
        case kInsertLine:
            if (cmd.insertPosition == kInsertRelative) {
                messages = {kCannotOpen, "Line inserted at 1 location.\n", "Line inserted at %d locations.\n"};
                return InsertLineRelative(file, cmd.insertText, cmd.insertSearch, cs, all, cmd.insertAfter);
            }
            if (cmd.insertPosition == kInsertAtBeginning) {
                messages = {kCannotOpen, "Line inserted at the beginning of the file.\n", nullptr};
                return fs.exists(cmd.fileName) ? InsertFirstLine(file, cmd.insertText)
                                               : AppendLine(file, cmd.insertText);
            }
            messages = {kCannotOpen, "Line appended to the end of the file.\n", nullptr};
            return AppendLine(file, cmd.insertText);
        case kInsertString:
            messages = {kCannotOpen, "String inserted at 1 location.\n", "String inserted at %d locations.\n"};
            return InsertStringRelative(file, cmd.insertText, cmd.insertSearch, cs, all, cmd.insertAfter);
        case kDeleteLine:
            messages = {kCannotOpen, "1 line deleted.\n", "%d lines deleted.\n"};
            return DeleteLines(file, cmd.deleteText, cs, all);
        case kDeleteString:
            messages = {kCannotOpen, "1 string deleted.\n", "%d strings deleted.\n"};
            return DeleteStrings(file, cmd.deleteText, cs, all);
        case kSearch:
            messages = {"The file could not be opened.\n", "Search string found.\n",
                        "Search string found at %d locations.\n"};
            return SearchFile(file, cmd.searchText, cs, all);
        default:
            return -1;
    }
}

}  // namespace

// A pass that runs out of memory (a huge file without line breaks, say) fails like a file that
// cannot be opened: the operations leave the file as it was, and the run goes on.
void ExecuteFileSubcommand(RunState& run, const ParsedCommand& cmd, TextFileSystem& fs) {
    TextFile file{fs, cmd.fileName};

    if (cmd.fileOp == kTestExistence) {
        bool exists = fs.exists(cmd.fileName);
        run.log.write(exists ? "File exists.\n" : "File does not exist.\n");
        if (!cmd.resultVariable.empty()) run.vars.set_variable(cmd.resultVariable, exists ? "TRUE" : "FALSE");
        return;
    }
    if (cmd.fileOp == kGetLineBySearch || cmd.fileOp == kGetLineByNumber) {
        std::optional<std::string> line;
        try {
            line = GetLine(file, cmd.searchText, cmd.caseSensitive, cmd.fileOp == kGetLineByNumber);
        } catch (const std::bad_alloc&) {
            line.reset();
        }
        // The line completes the statement's log entry as it is, without a line end.
        run.log.write(line ? *line : std::string(kNotFound));
        if (!cmd.resultVariable.empty()) run.vars.set_variable(cmd.resultVariable, line ? *line : std::string());
        return;
    }
    if (cmd.fileOp < kInsertLine || cmd.fileOp > kSearch) return;

    CountMessages messages{kCannotOpen, nullptr, nullptr};
    int count = -1;
    try {
        count = run_operation(cmd, file, fs, messages);
    } catch (const std::bad_alloc&) {
        count = -1;
    }
    run.log.write(count_message(count, messages));
    if (!cmd.resultVariable.empty()) {
        run.vars.set_variable(cmd.resultVariable, count < 0 ? std::string("ERROR") : format_int32(count));
    }
}

}  // namespace dravik
