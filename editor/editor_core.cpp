// The editor's platform-neutral rules (see editor_core.h).
#include "editor_core.h"

#include <algorithm>
#include <string_view>

namespace dkedit {
namespace {

const char kProgram[] = "DkEdit";

std::string lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

bool is_quote(char c) { return c == '"' || c == '\''; }

}  // namespace

std::string document_title(const std::string& path) {
    return std::string(kProgram) + " - " + (path.empty() ? std::string("New File") : path);
}

std::string modified_title(const std::string& title, const std::string& path) {
    if (path.empty() || (!title.empty() && title.back() == '*')) return title;
    return document_title(path) + "*";
}

std::string path_from_open_text(const std::string& text) {
    std::size_t blank = text.find(' ');
    if (blank == std::string::npos) return std::string();
    std::string rest = text.substr(blank + 1);
    if (!rest.empty() && is_quote(rest.front())) {
        rest.erase(0, 1);
        if (!rest.empty() && is_quote(rest.back())) rest.pop_back();
    }
    return rest;
}

std::string with_default_extension(const std::string& path) {
    std::size_t name = path.find_last_of("\\/:");
    name = name == std::string::npos ? 0 : name + 1;
    if (path.find('.', name) != std::string::npos) return path;
    return path + ".SDF";
}

std::vector<std::string> add_recent(std::vector<std::string> entries, const std::string& path) {
    if (entries.size() > kMaxRecent) entries.resize(kMaxRecent);
    const std::string needle = lower(path);
    std::optional<std::size_t> match;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (lower(entries[i]).find(needle) != std::string::npos) match = i;
    }
    if (match) {
        entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(*match));
    } else if (entries.size() == kMaxRecent) {
        entries.pop_back();
    }
    entries.insert(entries.begin(), path);
    return entries;
}

std::string recent_item_text(int i, const std::string& path) { return "&" + std::to_string(i % 10) + ") " + path; }

StoredSettings stored_settings(const WindowPlacement& p) {
    StoredSettings s;
    if (p.maximized) {
        s.maximized = 1;
        return s;
    }
    s.has_position = true;
    // Values above 4000 (a window moved far off screen, or a negative value as unsigned) start at 0.
    auto position = [](int v) { return static_cast<unsigned>(v) > 4000u ? 0u : static_cast<unsigned>(v); };
    s.x = position(p.x - 4);
    s.y = position(p.y - 42);
    s.width = static_cast<unsigned>(p.width + 8);
    s.height = static_cast<unsigned>(p.height + 46);
    return s;
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) break;
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    lines.push_back(text.substr(start));
    return lines;
}

std::string save_text(const std::vector<std::string>& lines) {
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i) out += "\r\n";
        out += lines[i];
    }
    return out;
}

std::optional<Match> find_forward(const std::string& text, std::size_t from, const std::string& needle, bool match_case,
                                  bool wrap) {
    if (needle.empty()) return std::nullopt;
    const std::string hay = match_case ? text : lower(text);
    const std::string key = match_case ? needle : lower(needle);
    std::vector<std::size_t> starts{0};
    for (std::size_t p = hay.find("\r\n"); p != std::string::npos; p = hay.find("\r\n", p + 2)) {
        starts.push_back(p + 2);
    }
    from = std::min(from, hay.size());
    auto line_of = [&](std::size_t offset) {
        return static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), offset) - starts.begin()) - 1;
    };
    auto line_end = [&](std::size_t line) { return line + 1 < starts.size() ? starts[line + 1] - 2 : hay.size(); };
    // Each line on its own: a match never spans two lines, and a miss costs only the line.
    auto search = [&](std::size_t line, std::size_t begin) -> std::optional<Match> {
        const std::size_t end = line_end(line);
        if (begin > end) return std::nullopt;  // a start inside a CR LF pair
        const std::string_view rest(hay.data() + begin, end - begin);
        const std::size_t at = rest.find(key);
        if (at == std::string_view::npos) return std::nullopt;
        return Match{begin + at, begin + at + key.size()};
    };
    const std::size_t first = line_of(from);
    if (auto m = search(first, from)) return m;
    for (std::size_t line = first + 1;; ++line) {
        if (line == starts.size()) {
            if (!wrap) return std::nullopt;
            line = 0;
        }
        if (line == first) return search(first, starts[first]);
        if (auto m = search(line, starts[line])) return m;
    }
}

bool same_text(const std::string& a, const std::string& b, bool match_case) {
    return match_case ? a == b : lower(a) == lower(b);
}

}  // namespace dkedit
