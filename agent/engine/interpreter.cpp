#include "interpreter.h"

#include <string>

#include "keywords.h"
#include "text.h"

namespace dravik {

namespace {

// Drops the blocks of `section` that lie on top of the block stack.
void discard_section_blocks(RunState& run, std::string_view section) {
    while (!run.blocks.empty() && run.blocks.back().section == section) run.blocks.pop_back();
}

}  // namespace

SectionResult run_section(RunState& run, std::string_view name, bool resume, const StatementHandlers& handlers) {
    ScriptReader& reader = run.reader;
    bool found = reader.find_section(name, resume, &run.log);
    if (found && resume) reader.seek(run.calls.current().resume_position, 0);

    std::string line;
    bool section_over = !found;
    for (int32_t line_start = reader.tell(); !section_over && reader.read_line(line); line_start = reader.tell()) {
        size_t first = skip_blanks(line);
        if (first >= line.size()) continue;
        if (line[first] == '[') break;

        run.log.line(line.substr(first) + ", ");
        SectionResult outcome = section_ended;  // section_ended here means "go on"
        run.statement.reset(line);
        run.statement.pos = first + 1;

        switch (line[first]) {
            case ';':
                run.log.write("Comment ignored.\n");
                break;
            case '-':
                if (handlers.command) handlers.command(run);
                break;
            case '$':
                if (handlers.prompt && !handlers.prompt(run)) outcome = section_failed;
                break;
            case '@':
                switch (run_keyword(run, name, first)) {
                    case Flow::kNext:
                        break;
                    case Flow::kEndSection:
                        section_over = true;
                        break;
                    case Flow::kStop:
                        outcome = update_stopped;
                        break;
                    case Flow::kCalled:
                        outcome = section_called;
                        break;
                    case Flow::kFailed:
                        outcome = section_failed;
                        break;
                }
                break;
            default:
                if (handlers.batch) {
                    // The whole run of batch lines goes to the batch file, this line first.
                    run.log.write("Starting new batch file.\n");
                    reader.seek(line_start, 0);
                    handlers.batch(run);
                }
                break;
        }

        run.statement.reset(std::string());
        if (handlers.after_statement) handlers.after_statement(run);
        if (run.cancel) return update_stopped;
        if (outcome != section_ended) return outcome;
    }

    discard_section_blocks(run, name);
    return section_ended;
}

}  // namespace dravik
