// Statement text: quoting, the line built from the sub-operation list, Add's placement and
// insertion rules, and the [Update] section replacement. Analyze lives in analyze.cpp.
#include "statement.h"

#include <cctype>

#include "script_catalogue.h"

namespace dkedit {

namespace {

bool contains(const std::string& t, char c) { return t.find(c) != std::string::npos; }

std::string quote_rule(const std::string& t, bool braces) {
    if (t.empty()) return "\"\"";
    const bool single = contains(t, '\''), dbl = contains(t, '"');
    if (!single) {
        if (dbl) return "'" + t + "'";
        if (contains(t, ' ')) return "\"" + t + "\"";
    } else if (!dbl) {
        return "\"" + t + "\"";
    }
    if (braces && contains(t, '{') && contains(t, '}')) return "\"" + t + "\"";
    return t;
}

bool blank(char c) { return c == ' ' || c == '\t'; }

bool istarts(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(s[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

std::string_view trim_left(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && blank(s[i])) ++i;
    return s.substr(i);
}

std::string_view trim_right(std::string_view s) {
    std::size_t n = s.size();
    while (n > 0 && blank(s[n - 1])) --n;
    return s.substr(0, n);
}

std::vector<LineSpan> lines_of(const std::string& text) {
    std::vector<LineSpan> out;
    std::size_t begin = 0;
    for (;;) {
        std::size_t lf = text.find('\n', begin);
        LineSpan span;
        span.begin = begin;
        span.index = out.size();
        if (lf == std::string::npos) {
            span.end = span.next = text.size();
            out.push_back(span);
            return out;
        }
        span.end = lf > begin && text[lf - 1] == '\r' ? lf - 1 : lf;
        span.next = lf + 1;
        out.push_back(span);
        begin = lf + 1;
    }
}

std::string_view line_text(const std::string& text, const LineSpan& l) {
    return std::string_view(text).substr(l.begin, l.end - l.begin);
}

// The nearest header at or above `from`, or below it when none lies above, decides the place.
bool place_refused(const std::string& text, const std::vector<LineSpan>& lines, long above, std::size_t caret_line) {
    for (long i = above; i >= 0; --i) {
        std::string_view t = trim_left(line_text(text, lines[static_cast<std::size_t>(i)]));
        if (t.empty() || t[0] != '[') continue;
        t.remove_prefix(1);
        return istarts(t, "update") || istarts(t, "dkaudit") || istarts(t, "dkconvert");
    }
    for (std::size_t i = caret_line; i < lines.size(); ++i) {
        std::string_view t = trim_left(line_text(text, lines[i]));
        if (t.empty() || t[0] != '[') continue;
        t = trim_right(t.substr(1));
        if ((t.size() == 7 && istarts(t, "update]")) || (t.size() == 8 && istarts(t, "dkaudit]"))) return true;
    }
    return false;
}

int indentation(std::string_view above, const std::string& statement) {
    if (above.empty()) return 0;
    int n = 0;
    std::size_t i = 0;
    while (i < above.size() && blank(above[i])) ++n, ++i;
    std::string_view rest = above.substr(i);
    if (istarts(rest, "@IF") || istarts(rest, "@ELSE") || istarts(rest, "@DO")) n += 4;
    if (istarts(statement, "@ENDIF") || istarts(statement, "@ELSE") || istarts(statement, "@WHILE")) n -= 4;
    return n;
}

}  // namespace

std::string quoted(const std::string& t) { return quote_rule(t, false); }
std::string brace_quoted(const std::string& t) { return quote_rule(t, true); }

std::vector<Argument> read_arguments(std::string_view line, std::size_t pos) {
    std::vector<Argument> out;
    while (pos < line.size()) {
        while (pos < line.size() && blank(line[pos])) ++pos;
        if (pos >= line.size()) break;
        Argument a;
        a.begin = pos;
        const char q = line[pos];
        if (q == '"' || q == '\'') {
            std::size_t close = line.find(q, pos + 1);
            if (close == std::string_view::npos) close = line.size();
            a.text = std::string(line.substr(pos + 1, close - pos - 1));
            pos = close < line.size() ? close + 1 : close;
        } else {
            std::size_t e = pos;
            while (e < line.size() && !blank(line[e])) ++e;
            a.text = std::string(line.substr(pos, e - pos));
            pos = e;
        }
        a.end = pos;
        out.push_back(std::move(a));
    }
    return out;
}

std::string build_statement(const Catalogue&, const Kind& kind, const FieldStore& store) {
    if (kind.family == Family::None) return kind.compose(kind, store);
    const std::size_t index = store.subop_index;
    std::string out;
    for (std::size_t i = 0; i < index && i < store.subops.size(); ++i) out += store.subops[i];
    if (kind.head) {
        if (index == 0) out += kind.compose(kind, store);
    } else {
        const std::string part = kind.compose(kind, store);
        out += index == 0 ? family_head(kind.family, kind, store) + " " + part : " " + part;
    }
    for (std::size_t i = index + 1; i < store.subops.size(); ++i) out += store.subops[i];
    return out;
}

std::string preview_text(const Catalogue& catalogue, const Kind& kind, const FieldStore& store) {
    return kind.preview ? kind.preview(kind, store) : build_statement(catalogue, kind, store);
}

LineSpan line_at(const std::string& text, std::size_t pos) {
    std::vector<LineSpan> lines = lines_of(text);
    for (const LineSpan& l : lines) {
        if (pos <= l.end || pos < l.next) return l;
    }
    return lines.back();
}

TextEdit plan_add(const AddRequest& r, bool check_place, bool blank_before) {
    TextEdit edit;
    const std::vector<LineSpan> lines = lines_of(r.text);
    const LineSpan caret = line_at(r.text, r.sel_start);
    const long above = static_cast<long>(caret.index) - (r.update_mode ? 1 : 0);
    if (check_place && place_refused(r.text, lines, above, caret.index)) {
        edit.refused = true;
        edit.caption = "Invalid location for this command";
        edit.message = r.update_mode
                           ? "Please move the command in the file window and then analyze and update the command again."
                           : "Please relocate the cursor in the file window and add the command again.";
        return edit;
    }
    std::string breaks;
    std::string_view line_above;
    const bool next_line = !r.update_mode && caret.end > caret.begin && r.sel_start != caret.begin;
    if (next_line) {
        const bool last = caret.index + 1 == lines.size();
        edit.start = edit.end = last ? r.text.size() : caret.next;
        if (last) breaks = "\r\n";
        if (blank_before) breaks += "\r\n";
        line_above = blank_before ? std::string_view() : line_text(r.text, caret);
    } else {
        edit.start = r.sel_start;
        edit.end = r.sel_end;
        if (caret.index > 0) line_above = line_text(r.text, lines[caret.index - 1]);
    }
    const int n = indentation(line_above, r.statement);
    const std::string indent(n > 0 ? static_cast<std::size_t>(n) : 0, ' ');
    edit.insert = breaks + indent + r.statement + "\r\n";
    edit.caret = edit.start + breaks.size() + indent.size() + r.statement.size();
    return edit;
}

TextEdit plan_update_section(const std::string& text, const std::string& block) {
    TextEdit edit;
    const std::vector<LineSpan> lines = lines_of(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view t = trim_left(line_text(text, lines[i]));
        if (!(t.size() == 8 && istarts(t, "[update]"))) continue;
        // Up to the next header; blank lines stay, after the block.
        std::size_t j = i + 1;
        std::string kept;
        while (j < lines.size()) {
            std::string_view u = trim_left(line_text(text, lines[j]));
            if (!u.empty() && u[0] == '[') break;
            if (u.empty() && lines[j].next > lines[j].end) kept += "\r\n";
            ++j;
        }
        edit.start = lines[i].begin;
        edit.end = j < lines.size() ? lines[j].begin : text.size();
        edit.insert = block + kept;
        edit.caret = edit.start + block.size();
        return edit;
    }
    edit.insert = block + "\r\n[Common]\r\n\r\n[CleanUp]\r\n";
    edit.caret = block.size();
    return edit;
}

}  // namespace dkedit
