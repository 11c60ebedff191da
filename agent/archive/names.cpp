// Name handling for the archive engine.
#include "names.h"

#include <cctype>

namespace dravik::archive {
namespace {

char fold(char c) {
    if (c == '\\') return '/';
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::vector<std::string> components(const std::string& name) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : name) {
        if (c == '/' || c == '\\') {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    parts.push_back(cur);
    return parts;
}

// Windows opens a device for these names in any folder, whatever their case, extension and
// trailing blanks or dots. COM and LPT take the digits 0 to 9 and the superscripts 1 to 3 of
// the ANSI code page (bytes B9, B2, B3), which Windows maps to the same ports.
bool is_device_name(std::string part) {
    size_t dot = part.find('.');
    if (dot != std::string::npos) part.resize(dot);
    while (!part.empty() && part.back() == ' ') part.pop_back();
    for (auto& c : part)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"})
        if (part == device) return true;
    if (part.size() == 4 && (part.compare(0, 3, "COM") == 0 || part.compare(0, 3, "LPT") == 0)) {
        const unsigned char n = static_cast<unsigned char>(part[3]);
        return (n >= '0' && n <= '9') || n == 0xB9 || n == 0xB2 || n == 0xB3;
    }
    return false;
}

}  // namespace

std::vector<std::string> split_item_list(const std::string& list, bool& balanced) {
    std::vector<std::string> items;
    balanced = true;
    size_t i = 0;
    while (i < list.size()) {
        while (i < list.size() && (list[i] == ' ' || list[i] == '\t')) ++i;
        if (i >= list.size()) break;
        std::string item;
        if (list[i] == '"') {
            size_t close = list.find('"', i + 1);
            if (close == std::string::npos) {
                balanced = false;
                item = list.substr(i + 1);
                i = list.size();
            } else {
                item = list.substr(i + 1, close - i - 1);
                i = close + 1;
            }
        } else {
            while (i < list.size() && list[i] != ' ' && list[i] != '\t') item += list[i++];
        }
        if (!item.empty()) items.push_back(item);
    }
    return items;
}

bool has_wildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

bool wildcard_match(const std::string& pattern, const std::string& name, bool cross_dirs) {
    // Iterative matcher with one backtracking point for the last '*'.
    size_t p = 0, n = 0, star = std::string::npos, mark = 0;
    while (n < name.size()) {
        char pc = p < pattern.size() ? fold(pattern[p]) : '\0';
        char nc = fold(name[n]);
        if (p < pattern.size() && pc == '?' && (cross_dirs || nc != '/')) {
            ++p, ++n;
        } else if (p < pattern.size() && pc == '*') {
            star = p++;
            mark = n;
        } else if (p < pattern.size() && pc == nc) {
            ++p, ++n;
        } else if (star != std::string::npos && (cross_dirs || fold(name[mark]) != '/')) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::string stored_name(const std::string& path, const std::string& relative_to, bool no_dirs) {
    std::string s = path;
    for (auto& c : s)
        if (c == '\\') c = '/';
    std::string base = relative_to;
    for (auto& c : base)
        if (c == '\\') c = '/';
    while (!base.empty() && base.back() == '/') base.pop_back();
    if (!base.empty() && s.size() > base.size() && s[base.size()] == '/') {
        bool same = true;
        for (size_t i = 0; i < base.size() && same; ++i) same = fold(s[i]) == fold(base[i]);
        if (same) s = s.substr(base.size() + 1);
    }
    if (s.size() >= 2 && s[1] == ':' && std::isalpha(static_cast<unsigned char>(s[0]))) s = s.substr(2);
    if (s.compare(0, 2, "//") == 0) {  // \\server\share\...
        size_t server_end = s.find('/', 2);
        size_t share_end = server_end == std::string::npos ? std::string::npos : s.find('/', server_end + 1);
        s = share_end == std::string::npos ? std::string() : s.substr(share_end);
    }
    std::string out;
    for (const std::string& part : components(s)) {
        if (part.empty() || part == "." || part == "..") continue;
        if (no_dirs) out.clear();
        if (!out.empty()) out += '/';
        out += part;
    }
    return out;
}

const char* unsafe_name_reason(const std::string& name) {
    if (name.empty()) return "empty name";
    if (name[0] == '/' || name[0] == '\\') return "absolute path";
    if (name.size() >= 2 && name[1] == ':') return "drive letter";
    if (name.find(':') != std::string::npos) return "colon in name";
    // A NUL ends the name for the system ("NUL\0x.txt" opens the NUL device); other control
    // characters are not valid in Windows file names.
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20) return "control character";
    for (const std::string& part : components(name)) {
        if (part == "..") return "parent directory reference";
        if (!part.empty() && is_device_name(part)) return "device name";
    }
    return nullptr;
}

}  // namespace dravik::archive
