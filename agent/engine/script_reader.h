// The script reader: the whole script file in memory with a byte position, read line by line.
//
// Line rules: a line ends at CR or LF; after it, one more CR or LF is consumed as part of the same
// line end (so CR LF, LF CR, CR CR and LF LF each end one line). A line keeps at most 2047
// characters (the rest up to its end is skipped) and a NUL ends its text. A file that starts with
// FF FE is UTF-16LE and is narrowed by keeping the bytes at even offsets of every 1000-byte block.
//
// Two ways of finding a section: the option reader (for [Update]: the header must be the first
// thing on its line and the whole name must match) and the interpreter's section search (the
// lower-cased "[name]" anywhere in a lower-cased line).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dravik {

class UpdateLog;

constexpr size_t kMaxStatementLine = 2047;

class ScriptReader {
  public:
    // Reads the whole file. A file that cannot be opened, or memory that cannot be had, leaves the
    // reader empty.
    void load(const std::string& path);
    // For tests and for callers that already hold the bytes; the same narrowing rule applies.
    void load_bytes(std::string_view bytes);

    // False at the end of the content; otherwise the next line and the position moves past it.
    bool read_line(std::string& line);
    int32_t tell() const { return position_; }
    // origin 0: from the start, 1: from the current position, 2: from the end. Returns the new
    // position; with no content or a target outside 0..size the position is kept and 0 returned.
    int32_t seek(int32_t offset, int origin);
    int32_t size() const { return static_cast<int32_t>(content_.size()); }
    const std::string& path() const { return path_; }

    // The option reader: the value of `key` in the first section named `section`; empty when absent.
    std::string read_option(std::string_view section, std::string_view key);

    // The section search. Logs "Searching for section, [%s]\n" and, when found, "Section found,
    // Reading commands.\n" or (resume) "Section found, Resuming execution.\n" (the caller then moves
    // to the resume position). Returns false when no line holds the header.
    bool find_section(std::string_view name, bool resume, UpdateLog* log);

  private:
    void append_block(const char* data, size_t n, bool narrow);

    std::string path_;
    std::string content_;
    int32_t position_ = 0;
};

}  // namespace dravik
