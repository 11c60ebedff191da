#include "command_line.h"

#include "text.h"

namespace dravik {

namespace {

bool is_switch(char c) { return c == '-' || c == '/'; }

// name=value ... up to the next switch word.
void read_assignments(RunState& run) {
    StatementCursor& st = run.statement;
    const std::string& t = st.text;
    for (;;) {
        size_t pos = skip_blanks(t, st.pos);
        st.pos = pos;
        if (pos >= t.size() || is_switch(t[pos])) return;
        size_t name_end = pos;
        while (name_end < t.size() && t[name_end] != '=' && !is_blank(t[name_end])) ++name_end;
        std::string name = t.substr(pos, name_end - pos);
        size_t value_pos = name_end;
        while (value_pos < t.size() && (is_blank(t[value_pos]) || t[value_pos] == '=')) ++value_pos;
        st.pos = value_pos;
        std::string value = run.read_argument(false);
        run.vars.set_variable(name, value, '=');
    }
}

}  // namespace

CommandLine parse_command_line(const std::string& text, RunState& run) {
    CommandLine result;
    StatementCursor& st = run.statement;
    st.reset(text);
    std::string script;
    bool have_script = false;
    for (;;) {
        size_t pos = skip_blanks(st.text, st.pos);
        if (pos >= st.text.size()) break;
        if (!is_switch(st.text[pos])) {
            st.pos = pos;
            if (!have_script) {
                script = run.read_argument(true);
                have_script = true;
            } else {
                read_assignments(run);
            }
            continue;
        }
        char letter = pos + 1 < st.text.size() ? to_lower_ascii(st.text[pos + 1]) : '\0';
        st.pos = pos + (letter ? 2 : 1);
        switch (letter) {
            case 'f':
                script = run.read_argument(true);
                have_script = true;
                break;
            case 'p':
                run.vars.set_variable("DkKey", run.read_argument(true), '=');
                break;
            case 'v':
                read_assignments(run);
                break;
            case '?':
                result.help = true;
                break;
            default:  // any other switch: skip its word
                while (st.pos < st.text.size() && !is_blank(st.text[st.pos])) ++st.pos;
                break;
        }
    }
    st.reset(std::string());
    if (have_script && !script.empty()) result.script_path = run.services.system.full_path(script);
    return result;
}

std::string command_line_arguments(const std::string& full) {
    size_t pos = skip_blanks(full);
    if (pos < full.size() && full[pos] == '"') {
        size_t close = full.find('"', pos + 1);
        pos = close == std::string::npos ? full.size() : close + 1;
    } else {
        while (pos < full.size() && !is_blank(full[pos])) ++pos;
    }
    return full.substr(pos);
}

}  // namespace dravik
