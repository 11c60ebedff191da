#include "commands/file_commands.h"

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
    const char* many;  // "%d" stands for the count
};

std::string count_message(int count, const CountMessages& m) {
    if (count < 0) return m.failed;
    if (count == 0) return kNotFound;
    if (count == 1) return m.one;
    std::string text = m.many;
    text.replace(text.find("%d"), 2, std::to_string(count));
    return text;
}

}  // namespace

void ExecuteFileSubcommand(RunState& run, const ParsedCommand& cmd, TextFileSystem& fs) {
    TextFile file{fs, cmd.fileName};
    const bool cs = cmd.caseSensitive;
    const bool all = cmd.allOccurrences;

    if (cmd.fileOp == kTestExistence) {
        bool exists = fs.exists(cmd.fileName);
        run.log.write(exists ? "File exists.\n" : "File does not exist.\n");
        if (!cmd.resultVariable.empty()) run.vars.set_variable(cmd.resultVariable, exists ? "TRUE" : "FALSE");
        return;
    }
    if (cmd.fileOp == kGetLineBySearch || cmd.fileOp == kGetLineByNumber) {
        auto line = GetLine(file, cmd.searchText, cs, cmd.fileOp == kGetLineByNumber);
        // The line completes the statement's log entry as it is, without a line end.
        run.log.write(line ? *line : std::string(kNotFound));
        if (!cmd.resultVariable.empty()) run.vars.set_variable(cmd.resultVariable, line ? *line : std::string());
        return;
    }

    int count = -1;
    std::string message;
    switch (cmd.fileOp) {
        case kReplaceLine:
            count = ReplaceLines(file, cmd.searchText, cmd.replaceText, cs, all);
            message = count_message(count, {kCannotOpen, "1 line replaced.\n", "%d lines replaced.\n"});
            break;
        case kReplaceString:
            count = ReplaceStrings(file, cmd.searchText, cmd.replaceText, cs, all);
            message = count_message(count, {kCannotOpen, "1 occurrence replaced.\n", "%d occurrences replaced.\n"});
            break;
        case kInsertLine:
            if (cmd.insertPosition == kInsertRelative) {
                count = InsertLineRelative(file, cmd.insertText, cmd.insertSearch, cs, all, cmd.insertAfter);
                message = count_message(
                    count, {kCannotOpen, "Line inserted at 1 location.\n", "Line inserted at %d locations.\n"});
            } else if (cmd.insertPosition == kInsertAtBeginning) {
                count = fs.exists(cmd.fileName) ? InsertFirstLine(file, cmd.insertText)
                                                : AppendLine(file, cmd.insertText);
                message = count < 0 ? kCannotOpen : "Line inserted at the beginning of the file.\n";
            } else {
                count = AppendLine(file, cmd.insertText);
                message = count < 0 ? kCannotOpen : "Line appended to the end of the file.\n";
            }
            break;
        case kInsertString:
            count = InsertStringRelative(file, cmd.insertText, cmd.insertSearch, cs, all, cmd.insertAfter);
            message = count_message(
                count, {kCannotOpen, "String inserted at 1 location.\n", "String inserted at %d locations.\n"});
            break;
        case kDeleteLine:
            count = DeleteLines(file, cmd.deleteText, cs, all);
            message = count_message(count, {kCannotOpen, "1 line deleted.\n", "%d lines deleted.\n"});
            break;
        case kDeleteString:
            count = DeleteStrings(file, cmd.deleteText, cs, all);
            message = count_message(count, {kCannotOpen, "1 string deleted.\n", "%d strings deleted.\n"});
            break;
        case kSearch:
            count = SearchFile(file, cmd.searchText, cs, all);
            message = count_message(count, {"The file could not be opened.\n", "Search string found.\n",
                                            "Search string found at %d locations.\n"});
            break;
        default:
            return;
    }
    run.log.write(message);
    if (!cmd.resultVariable.empty()) {
        run.vars.set_variable(cmd.resultVariable, count < 0 ? std::string("ERROR") : format_int32(count));
    }
}

}  // namespace dravik
