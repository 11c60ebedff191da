#include "arguments.h"

#include "expand.h"
#include "text.h"
#include "variables.h"

namespace dravik {

bool StatementCursor::at_end() const { return skip_blanks(text, pos) >= text.size(); }

std::string ReadArgument(StatementCursor& st, bool expand, VariableStore& vars, Environment& env) {
    const std::string& t = st.text;
    size_t pos = skip_blanks(t, st.pos);
    if (pos >= t.size()) {
        st.pos = t.size();
        return std::string();
    }
    std::string raw;
    char quote = t[pos];
    if (quote == '"' || quote == '\'') {
        size_t end = t.find(quote, pos + 1);
        raw = t.substr(pos + 1, end == std::string::npos ? std::string::npos : end - pos - 1);
        st.pos = end == std::string::npos ? t.size() : end + 1;
    } else {
        size_t end = pos;
        while (end < t.size() && !is_blank(t[end])) ++end;
        raw = t.substr(pos, end - pos);
        st.pos = end;
    }
    if (raw.size() > kMaxArgument) raw.resize(kMaxArgument);
    if (expand) return expand_environment(expand_variables(raw, vars), env);
    return expand_environment(raw, env);
}

}  // namespace dravik
