// The editor's platform-neutral rules: window titles, the path handed to Open, the default
// extension of Save As, the recent files list, the stored window settings, the line splitting of
// Save and the forward search of Find and Replace.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace dkedit {

constexpr int kMaxRecent = 10;

// "DkEdit - <path>", or "DkEdit - New File" without a path.
std::string document_title(const std::string& path);

// The title after a change of the text: "*" once, and only for a document with a path.
std::string modified_title(const std::string& title, const std::string& path);

// The path in an Open request such as "&1) C:\x.sdf": the text after the first blank, without
// enclosing quotes. An empty text gives an empty path (the open dialog is shown).
std::string path_from_open_text(const std::string& text);

// A chosen save name whose file name has no dot gets ".SDF"; dots in folder names do not count.
std::string with_default_extension(const std::string& path);

// The list after adding a path: a substring match (without regard to case) moves to the top as
// the path, otherwise the path is put first and the tenth entry dropped.
std::vector<std::string> add_recent(std::vector<std::string> entries, const std::string& path);

// The Recent Files item of entry i (1 to 10): "&1) path" ... "&9) path", "&0) path".
std::string recent_item_text(int i, const std::string& path);

struct WindowPlacement {
    bool maximized = false;
    int x = 50, y = 15, width = 640, height = 455;
};

// The values written when the window closes: the client values turned into outer ones, with the
// 4000 rule for X and Y. A maximized window writes only Maximized.
struct StoredSettings {
    unsigned maximized = 0;
    bool has_position = false;
    unsigned x = 0, y = 0, width = 0, height = 0;
};
StoredSettings stored_settings(const WindowPlacement& p);

// The text pane's lines (CR LF separated) and the bytes Save writes: every line whole, CR LF
// between lines, none after the last.
std::vector<std::string> split_lines(const std::string& text);
std::string save_text(const std::vector<std::string>& lines);

struct Match {
    std::size_t start = 0, end = 0;  // offsets in the text
};

// Searches forward from `from` (an offset in text), line by line; a match never spans two lines.
// With `wrap` the search goes on at line 0 after the last line and, back at the start line, searches
// it once more from its beginning.
std::optional<Match> find_forward(const std::string& text, std::size_t from, const std::string& needle, bool match_case,
                                  bool wrap);

// Whether a selected text equals the search text (with or without regard to case).
bool same_text(const std::string& a, const std::string& b, bool match_case);

}  // namespace dkedit
