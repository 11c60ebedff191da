#include "script_reader.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "text.h"
#include "update_log.h"

namespace dravik {

namespace {

constexpr size_t kLoadBlock = 1000;
constexpr size_t kMaxSectionName = 80;
constexpr size_t kMaxOptionKey = 79;

}  // namespace

void ScriptReader::append_block(const char* data, size_t n, bool narrow) {
    if (!narrow) {
        content_.append(data, n);
        return;
    }
    for (size_t i = 0; i < n; i += 2) content_ += data[i];
}

void ScriptReader::load(const std::string& path) {
    path_ = path;
    content_.clear();
    position_ = 0;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return;
    try {
        char block[kLoadBlock];
        bool first = true;
        bool narrow = false;
        for (;;) {
            size_t n = std::fread(block, 1, sizeof block, f);
            if (n == 0) break;
            if (first) {
                narrow = n >= 2 && static_cast<unsigned char>(block[0]) == 0xFF &&
                         static_cast<unsigned char>(block[1]) == 0xFE;
                first = false;
            }
            append_block(block, n, narrow);
            if (n < sizeof block) break;
        }
    } catch (const std::bad_alloc&) {
        content_.clear();
    }
    std::fclose(f);
    position_ = 0;
}

void ScriptReader::load_bytes(std::string_view bytes) {
    content_.clear();
    position_ = 0;
    bool narrow = bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
                  static_cast<unsigned char>(bytes[1]) == 0xFE;
    for (size_t at = 0; at < bytes.size(); at += kLoadBlock) {
        size_t n = std::min(kLoadBlock, bytes.size() - at);
        append_block(bytes.data() + at, n, narrow);
    }
}

bool ScriptReader::read_line(std::string& line) {
    line.clear();
    const size_t size = content_.size();
    size_t pos = static_cast<size_t>(position_);
    if (pos >= size) return false;

    bool ended_by_nul = false;
    while (pos < size && content_[pos] != '\r' && content_[pos] != '\n') {
        char c = content_[pos];
        if (c == '\0') ended_by_nul = true;
        if (!ended_by_nul && line.size() < kMaxStatementLine) line += c;
        ++pos;
    }
    if (pos < size) {
        ++pos;  // the line end
        if (pos < size && (content_[pos] == '\r' || content_[pos] == '\n')) ++pos;
    }
    position_ = static_cast<int32_t>(pos);
    return true;
}

int32_t ScriptReader::seek(int32_t offset, int origin) {
    if (content_.empty()) return 0;
    int64_t base = 0;
    if (origin == 1) base = position_;
    if (origin == 2) base = size();
    int64_t target = base + offset;
    if (target < 0 || target > size()) return 0;
    position_ = static_cast<int32_t>(target);
    return position_;
}

std::string ScriptReader::read_option(std::string_view section, std::string_view key) {
    if (key.size() > kMaxOptionKey) key = key.substr(0, kMaxOptionKey);
    position_ = 0;
    std::string line;
    bool in_section = false;
    while (read_line(line)) {
        size_t first = skip_blanks(line);
        if (!in_section) {
            if (first < line.size() && line[first] == '[') {
                std::string_view rest = std::string_view(line).substr(first + 1);
                size_t close = rest.find(']');
                std::string_view name = rest.substr(0, close);
                if (name.size() > kMaxSectionName) name = name.substr(0, kMaxSectionName);
                in_section = iequals(name, section);
            }
            continue;
        }
        if (first >= line.size()) continue;            // empty or all blank
        if (line[first] == '[') return std::string();  // the section ended without the key
        if (line[first] == ';') continue;              // comment
        std::string_view text = std::string_view(line).substr(first);
        if (!istarts_with(text, key)) continue;
        if (text.size() > key.size() && !is_blank(text[key.size()]) && text[key.size()] != '=') continue;
        if (text.size() == key.size()) continue;  // nothing after the key: neither blank nor '='
        size_t eq = text.find('=', key.size());
        if (eq == std::string_view::npos) return std::string();
        size_t value_start = skip_blanks(text, eq + 1);
        return std::string(trim_right_blanks(text.substr(value_start)));
    }
    return std::string();
}

bool ScriptReader::find_section(std::string_view name, bool resume, UpdateLog* log) {
    if (log && log->enabled()) log->line("Searching for section, [" + std::string(name) + "]\n");
    position_ = 0;
    const std::string header = to_lower_ascii("[" + std::string(name) + "]");
    std::string line;
    while (read_line(line)) {
        if (to_lower_ascii(line).find(header) == std::string::npos) continue;
        if (log && log->enabled()) {
            log->line(resume ? "Section found, Resuming execution.\n" : "Section found, Reading commands.\n");
        }
        return true;
    }
    return false;
}

}  // namespace dravik
