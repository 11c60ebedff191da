// @SET and @MID: the statements that write variables.
#include <new>
#include <stdexcept>

#include "expand.h"
#include "keywords.h"
#include "text.h"

namespace dravik {

namespace {

constexpr size_t kMaxMidSource = 499;

bool is_operator(char c) { return c == '=' || c == '+' || c == '-' || c == '*' || c == '/'; }

}  // namespace

void run_set(RunState& run) {
    StatementCursor& st = run.statement;
    std::string name = run.read_argument(false);
    size_t pos = skip_blanks(st.text, st.pos);
    char op = '=';
    if (pos + 1 < st.text.size() && is_operator(st.text[pos]) && is_blank(st.text[pos + 1])) {
        op = st.text[pos];
        ++pos;
    }
    st.pos = pos;
    std::string value = run.read_argument(true);
    try {
        run.vars.set_variable(name, value, op);
    } catch (const std::bad_alloc&) {
        run.log.line("Error allocating memory, Program terminated.\n");
    } catch (const std::exception& e) {
        run.log.line(std::string("Error while setting new variable, ") + e.what() + "\n");
    }
    run.log.write("Variable set.\n");
}

void run_mid(RunState& run) {
    std::string source = run.read_argument(false);
    std::string destination = run.read_argument(false);
    std::string start_text = run.read_argument(true);
    std::string length_text = run.read_argument(true);
    if (source.empty()) return run.log.write("Missing source variable.\n");
    if (destination.empty()) return run.log.write("Missing destination variable.\n");
    if (start_text.empty()) return run.log.write("Missing start position.\n");
    if (length_text.empty()) return run.log.write("Missing length.\n");

    const int32_t start = parse_int32(start_text);
    const int32_t length = parse_int32(length_text);
    std::string text = expand_variables(source, run.vars);
    if (text.size() > kMaxMidSource) text.resize(kMaxMidSource);
    if (start >= 1 && static_cast<size_t>(start) <= text.size() && length >= 1) {
        run.vars.set_variable(destination, text.substr(static_cast<size_t>(start) - 1, static_cast<size_t>(length)));
    }
    run.log.write("MID successful.\n");
}

}  // namespace dravik
