// The statement text of the command builder: the argument quoting, the reading of arguments as the
// agent reads them, the line with its sub-operation list, Add's placement, insertion point and
// indentation, the [Update] section replacement, and Analyze of a line back into the fields.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue.h"

namespace dkedit {

// The quote rule: empty gives "", a double quote wraps in single quotes, a blank or a single quote
// in double quotes. `braces` also wraps a text holding both "{" and "}".
std::string quoted(const std::string& t);
std::string brace_quoted(const std::string& t);

struct Argument {
    std::string text;
    std::size_t begin = 0, end = 0;  // offsets in the line, quotes included
};

// Arguments from `pos`: blanks skipped; a quoted argument runs to the same quote, which is
// dropped; any other to the next blank. Arguments are kept whole.
std::vector<Argument> read_arguments(std::string_view line, std::size_t pos = 0);

// The statement of `kind` with the sub-operation entries around the part being built.
std::string build_statement(const Catalogue& catalogue, const Kind& kind, const FieldStore& store);
// The preview text (the statement, or the kind's own preview such as "[Update] ...").
std::string preview_text(const Catalogue& catalogue, const Kind& kind, const FieldStore& store);

// Offsets of the line holding `pos`: [begin, end) without its line break; `next` after the break.
struct LineSpan {
    std::size_t begin = 0, end = 0, next = 0, index = 0;
};
LineSpan line_at(const std::string& text, std::size_t pos);

// Add of a script statement: the placement check, the insertion point and the indentation.
// `check_place` is false for the comment kinds; `blank_before` is true for Add Section.
TextEdit plan_add(const AddRequest& request, bool check_place, bool blank_before);

// Add of the [Update] block: replaces the existing section or creates it with [Common] and
// [CleanUp].
TextEdit plan_update_section(const std::string& text, const std::string& block);

// Analyze: reads the line `line_index` of `text` into the store; the kind recognised, or nothing
// for an empty line.
std::optional<std::string> analyze_line(const Catalogue& catalogue, const std::string& text, std::size_t line_index,
                                        FieldStore& store);

// Reads one sub-operation entry into the fields of the family's kinds (entry 0 carries the
// command head); the kind recognised. The sub-operation list is left as it is.
std::optional<std::string> analyze_subop(const Catalogue& catalogue, Family family, const std::string& entry,
                                         bool with_head, FieldStore& store);

}  // namespace dkedit
