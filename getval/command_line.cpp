// Command-line parsing of the value-queue tool (see command_line.h for the forms).
#include "command_line.h"

#include <cctype>

namespace dkgetval {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// Reads blank-separated or quoted tokens one after the other. A quoted token runs to the matching
// quote or to the end of the text; an unquoted one to the next blank.
class TokenReader {
  public:
    explicit TokenReader(std::string_view text) : text_(text) {}

    bool next(std::string& token) {
        while (pos_ < text_.size() && is_blank(text_[pos_])) ++pos_;
        if (pos_ >= text_.size()) return false;
        const char first = text_[pos_];
        std::size_t end;
        if (first == '"' || first == '\'') {
            ++pos_;
            end = text_.find(first, pos_);
            if (end == std::string_view::npos) end = text_.size();
            token.assign(text_.substr(pos_, end - pos_));
            pos_ = end < text_.size() ? end + 1 : end;
        } else {
            end = pos_;
            while (end < text_.size() && !is_blank(text_[end])) ++end;
            token.assign(text_.substr(pos_, end - pos_));
            pos_ = end;
        }
        if (token.size() > kMaxToken) overlong_ = true;
        return true;
    }

    bool overlong() const { return overlong_; }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
    bool overlong_ = false;
};

// An optional sign and decimal digits; anything else ends the number, no digits give 0. Kept
// within a day's worth of rounds so that the counter cannot overflow.
int read_number(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        if (value < 86400) value = value * 10 + (text[i] - '0');
    }
    if (value > 86400) value = 86400;
    return static_cast<int>(negative ? -value : value);
}

bool is_option(std::string_view token, char letter) {
    return token.size() >= 2 && (token[0] == '/' || token[0] == '-') && lower(token[1]) == letter;
}

Settings entry_mode(std::string_view prompt_text) {
    Settings s;
    TokenReader reader(prompt_text);
    std::string token;
    while (reader.next(token)) s.prompts.push_back(token);
    if (reader.overlong()) return Settings{};
    s.mode = Mode::entry;
    return s;
}

Settings file_mode(std::string name, int rounds) {
    Settings s;
    if (name.empty() || name.size() > kMaxToken || name.back() == '@') return s;
    s.mode = Mode::file;
    s.queue_file = std::move(name);
    s.rounds = rounds;
    return s;
}

Settings explicit_file_mode(std::string_view after_option) {
    TokenReader reader(after_option);
    std::string name;
    if (!reader.next(name)) return Settings{};
    int rounds = kDefaultRounds;
    bool wait_seen = false;
    std::string token;
    while (reader.next(token)) {
        if (!wait_seen && is_option(token, 'w')) {
            rounds = read_number(std::string_view(token).substr(2));
            wait_seen = true;
        }
    }
    if (reader.overlong()) return Settings{};
    return file_mode(std::move(name), rounds);
}

}  // namespace

Settings parse_command_line(std::string_view line) {
    std::size_t start = 0;
    while (start < line.size() && is_blank(line[start])) ++start;
    std::string_view rest = line.substr(start);
    if (rest.empty()) return Settings{};

    if (is_option(rest, 'e')) return entry_mode(rest.substr(2));
    if (is_option(rest, 'f')) return explicit_file_mode(rest.substr(2));

    if (rest[0] == '"' || rest[0] == '\'') {
        TokenReader reader(rest);
        std::string name;
        reader.next(name);
        if (reader.overlong()) return Settings{};
        return file_mode(std::move(name), kDefaultRounds);
    }
    // The whole line is the name, inner blanks included. Trailing blanks are dropped: Windows
    // ignores them in file names, and the lock file's name must come from the name's real last
    // character.
    std::size_t end = rest.size();
    while (end > 0 && is_blank(rest[end - 1])) --end;
    return file_mode(std::string(rest.substr(0, end)), kDefaultRounds);
}

std::string lock_file_name(const std::string& queue_file) {
    std::string lock = queue_file;
    if (!lock.empty()) lock.back() = '@';
    return lock;
}

}  // namespace dkgetval
