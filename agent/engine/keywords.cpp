// Keyword statements: dispatch by keyword, section calls, @IF/@ELSEIF/@ELSE/@ENDIF blocks and
// @DO/@WHILE loops.
//
// Blocks of both kinds share one stack and are not told apart by @ENDIF; only the innermost block is
// ever consulted, and only when it belongs to the running section (names compared exactly). A false
// @IF skips lines counting nested @IF/@ENDIF pairs; a branch that was taken skips its @ELSE/@ELSEIF
// branches the same way.
#include "keywords.h"

#include <new>
#include <stdexcept>

#include "text.h"

namespace dravik {

namespace {

Block* innermost_of(RunState& run, std::string_view section) {
    if (run.blocks.empty() || run.blocks.back().section != section) return nullptr;
    return &run.blocks.back();
}

// Points the statement cursor at `line`, just after its first `skip` significant characters.
void aim_statement(RunState& run, const std::string& line, size_t skip) {
    run.statement.reset(line);
    run.statement.pos = skip_blanks(line) + skip;
}

// The line's text from its first significant character; empty for a blank line.
std::string_view significant(const std::string& line) { return std::string_view(line).substr(skip_blanks(line)); }

Flow run_goto(RunState& run, std::string_view section) {
    std::string name = run.read_argument(true);
    if (iequals(name, section)) {
        run.log.write("GOTO ignored.  Cannot call the current section.\n");
        return Flow::kNext;
    }
    try {
        CallFrame& caller = run.calls.current();
        const bool caller_is_root = run.calls.empty();
        caller.resume_position = run.reader.tell();
        if (!caller_is_root) caller.resume = true;
        run.calls.frames.push_back(CallFrame{0, name, false});
    } catch (const std::bad_alloc&) {
        run.log.line("Error allocating memory, Program terminated.\n");
        return Flow::kFailed;
    } catch (const std::exception& e) {
        run.log.line(std::string("Error handling GOTO statement, ") + e.what() + "\n");
        return Flow::kFailed;
    }
    run.log.write("Calling the " + name + " section.\n");
    return Flow::kCalled;
}

// While lines are skipped: counts nested @IF/@ENDIF pairs, and at the @ENDIF of the skipped block
// itself logs it and closes the block. True when that @ENDIF was reached.
bool at_skipped_endif(RunState& run, std::string_view section, std::string_view t, int& depth) {
    if (istarts_with(t, "@IF")) {
        ++depth;
        return false;
    }
    if (!istarts_with(t, "@ENDIF")) return false;
    if (depth > 0) {
        --depth;
        return false;
    }
    run.log.line(std::string(t) + ", Found end of IF block.\n");
    if (innermost_of(run, section)) run.blocks.pop_back();
    return true;
}

// Skips the lines of a false @IF up to its @ELSEIF that holds, its @ELSE or its @ENDIF.
Flow skip_false_branch(RunState& run, std::string_view section) {
    std::string line;
    int depth = 0;
    while (run.reader.read_line(line)) {
        std::string_view t = significant(line);
        if (t.empty()) continue;
        if (t[0] == '[') return Flow::kEndSection;
        if (istarts_with(t, "@IF") || istarts_with(t, "@ENDIF")) {
            if (at_skipped_endif(run, section, t, depth)) return Flow::kNext;
        } else if (istarts_with(t, "@ELSEIF")) {
            if (depth > 0) continue;
            aim_statement(run, line, 7);
            if (evaluate_condition(run)) {
                run.log.line(std::string(t) + ", Evaluated as TRUE.\n");
                if (Block* b = innermost_of(run, section)) b->state = true;
                return Flow::kNext;
            }
            run.log.line(std::string(t) + ".");
            run.log.write(" Evaluated as FALSE.\n");
        } else if (istarts_with(t, "@ELSE")) {
            if (depth > 0) continue;
            run.log.line(std::string(t) + ", Executing commands in ELSE block.\n");
            if (Block* b = innermost_of(run, section)) b->state = true;
            return Flow::kNext;
        }
    }
    return Flow::kEndSection;
}

// Skips the @ELSE/@ELSEIF branches after a branch that ran, up to the block's @ENDIF.
Flow skip_to_endif(RunState& run, std::string_view section) {
    std::string line;
    int depth = 0;
    while (run.reader.read_line(line)) {
        std::string_view t = significant(line);
        if (t.empty()) continue;
        if (t[0] == '[') {
            run.log.line(std::string(t) + ", End of section found before end of the ELSE block.\n");
            return Flow::kEndSection;
        }
        if (at_skipped_endif(run, section, t, depth)) return Flow::kNext;
    }
    return Flow::kEndSection;
}

Flow run_if(RunState& run, std::string_view section) {
    try {
        run.blocks.push_back(Block{false, std::string(section), -1});
    } catch (const std::bad_alloc&) {
        run.log.write("\"\"\n");
        run.log.line("Error allocating memory, Program terminated.\n");
        return Flow::kFailed;
    }
    if (evaluate_condition(run)) {
        run.blocks.back().state = true;
        run.log.write("Evaluated as TRUE.\n");
        return Flow::kNext;
    }
    run.log.write(" Evaluated as FALSE.\n");
    return skip_false_branch(run, section);
}

Flow run_else(RunState& run, std::string_view section, std::string_view rest) {
    if (!innermost_of(run, section)) {
        run.log.write("ELSE ignored.  No matching IF statement.\n");
        return Flow::kNext;
    }
    run.log.write(istarts_with(rest, "ELSEIF") ? "Skipping ELSEIF block.\n" : "Skipping ELSE block.\n");
    return skip_to_endif(run, section);
}

Flow run_endif(RunState& run, std::string_view section) {
    if (!innermost_of(run, section)) {
        run.log.write("ENDIF ignored.  No matching IF statement.\n");
        return Flow::kNext;
    }
    run.blocks.pop_back();
    run.log.write("Found end of IF block.\n");
    return Flow::kNext;
}

Flow run_do(RunState& run, std::string_view section) {
    try {
        run.blocks.push_back(Block{false, std::string(section), run.reader.tell()});
    } catch (const std::bad_alloc&) {
        return Flow::kNext;  // the loop is not opened; its @WHILE will find no matching @DO
    }
    run.log.write("Starting DO-WHILE block.\n");
    return Flow::kNext;
}

Flow run_while(RunState& run, std::string_view section) {
    Block* block = innermost_of(run, section);
    if (!block || block->loop_position < 0) {  // no block, or an @IF block: nowhere to loop to
        run.log.write("WHILE ignored.  No matching DO statement.\n");
        return Flow::kNext;
    }
    block->state = evaluate_condition(run);
    if (block->state) {
        run.log.write("Evaluated as TRUE.\n");
        run.reader.seek(block->loop_position, 0);
    } else {
        run.log.write("Finished processing DO-WHILE block.\n");
        run.blocks.pop_back();
    }
    return Flow::kNext;
}

}  // namespace

bool evaluate_condition(RunState& run) {
    const std::string left = run.read_argument(true);
    const std::string op = run.read_argument(true);
    const std::string right = run.read_argument(true);
    if (op == "!=" || op == "<>") return !iequals(left, right);
    if (op == "<" || op == "<=" || op == ">" || op == ">=") {
        const int32_t a = parse_int32(left), b = parse_int32(right);
        if (op == "<") return a < b;
        if (op == "<=") return a <= b;
        if (op == ">") return a > b;
        return a >= b;
    }
    return iequals(left, right);
}

Flow run_keyword(RunState& run, std::string_view section, size_t at) {
    const std::string_view rest = std::string_view(run.statement.text).substr(at + 1);
    auto after = [&](size_t keyword_length) { run.statement.pos = at + 1 + keyword_length; };

    if (istarts_with(rest, "GOTO")) {
        after(4);
        return run_goto(run, section);
    }
    if (iequals(rest, "END")) {
        run.blocks.clear();
        run.log.write("Stopping the update.\n");
        return Flow::kStop;
    }
    if (iequals(rest, "RETURN")) {
        run.log.write("Finished this section.\n");
        return Flow::kEndSection;
    }
    if (istarts_with(rest, "SET")) {
        after(3);
        run_set(run);
        return Flow::kNext;
    }
    if (istarts_with(rest, "IF")) {
        after(2);
        return run_if(run, section);
    }
    if (istarts_with(rest, "ELSE")) return run_else(run, section, rest);
    if (istarts_with(rest, "ENDIF")) return run_endif(run, section);
    if (istarts_with(rest, "DO")) return run_do(run, section);
    if (istarts_with(rest, "WHILE")) {
        after(5);
        return run_while(run, section);
    }
    if (istarts_with(rest, "MID")) {
        after(3);
        run_mid(run);
    }
    return Flow::kNext;
}

}  // namespace dravik
