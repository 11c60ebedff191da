// Text-file editing for the "-file" command: line-by-line passes over 8-bit or UTF-16LE text files.
//
// A file is UTF-16LE when it begins with the byte-order mark FF FE, 8-bit text otherwise (also when
// empty or new); the encoding holds for the whole pass. Line ends are read as LF or CR LF and always
// written as CR LF; the carriage-return handling is done here over binary streams, so the code
// behaves alike on every platform. A UTF-16LE file keeps its byte-order mark.
//
// Matching: a line matches when it contains the search string; unless the match is case-sensitive,
// both are compared in lower case (A to Z only). Text is always written as it was read. For a
// UTF-16LE file the matching sees each 16-bit unit reduced to its low byte, while the units
// themselves are kept, so characters above 255 and lines of any length pass through unchanged.
//
// Files are never changed in place: the new content goes to a temporary file (the name plus "@"),
// which is flushed to disk and then takes the file's place in one step. Whenever the process stops,
// either the old or the new file is there under its name. Files are streamed; only the current line
// is held in memory, and a line longer than the file's line limit (a binary file, a log without line
// ends) ends the pass as a read failure instead of growing without bound.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dravik {

// What the rewrite needs from the file system beyond the C library's streams.
class TextFileSystem {
public:
    virtual ~TextFileSystem() = default;
    virtual bool exists(const std::string& path) = 0;
    // Makes what has been written to the (already flushed) stream durable.
    virtual bool flush_to_disk(std::FILE* stream) = 0;
    // Puts the file `from` in the place of `to` in one step, replacing `to` when it exists.
    virtual bool replace(const std::string& from, const std::string& to) = 0;
};

// The workstation's file system (one implementation per platform).
class HostFileSystem : public TextFileSystem {
public:
    bool exists(const std::string& path) override;
    bool flush_to_disk(std::FILE* stream) override;
    bool replace(const std::string& from, const std::string& to) override;
};

// One line as read. For a UTF-16LE file `units` holds the 16-bit units and `text` their low bytes
// (the same length); for an 8-bit file `units` is empty.
struct TextLine {
    std::string text;
    std::u16string units;

    void clear() {
        text.clear();
        units.clear();
    }
    // Appends part of another line, keeping its units when it has them.
    void append_original(const TextLine& from, size_t begin, size_t end);
    // Appends 8-bit text; on a UTF-16LE line each character becomes one unit.
    void append_text(std::string_view s, bool wide);
};

// The longest line a pass holds in memory, in characters (a UTF-16LE line takes three bytes a
// character, and an edit holds about three copies of it).
constexpr size_t kMaxLineLength = size_t{16} << 20;

// Buffered line reader over a binary stream (null reads as an empty file).
class LineReader {
public:
    explicit LineReader(std::FILE* stream, size_t max_line = kMaxLineLength);
    bool utf16() const { return utf16_; }
    // The stream failed, or a line was longer than the limit; the reading stopped there.
    bool error() const { return error_; }

private:
    friend bool ReadTextLine(LineReader& reader, TextLine& line);
    bool fill();
    int next_byte();
    bool room_for(size_t have, size_t more);
    bool finish_line(const TextLine& line);

    std::FILE* stream_;
    size_t max_line_;
    std::vector<char> buffer_;
    size_t pos_ = 0, end_ = 0;
    bool utf16_ = false;
    bool error_ = false;
};

// Buffered line writer; the encoding is the one the reader found.
class LineWriter {
public:
    LineWriter(std::FILE* stream, bool utf16) : stream_(stream), utf16_(utf16) {}
    // Writes what is buffered (and the byte-order mark of a UTF-16LE file that got no line);
    // false when anything could not be written.
    bool finish();

private:
    friend bool WriteTextLine(LineWriter& writer, const TextLine& line, bool with_line_end);
    void put(const char* data, size_t n);

    std::FILE* stream_;
    bool utf16_;
    bool bom_pending_ = true;
    bool error_ = false;
    std::string buffer_;
};

// Reads the next line without its line end; false at the end of the file.
bool ReadTextLine(LineReader& reader, TextLine& line);
// Writes a line (with CR LF when asked) in the writer's encoding.
bool WriteTextLine(LineWriter& writer, const TextLine& line, bool with_line_end);

// The file an operation works on.
struct TextFile {
    TextFileSystem& fs;
    std::string name;
    size_t max_line = kMaxLineLength;
};

// The operations. Each is one complete pass; the result is a count, or -1 when the file or the
// temporary file could not be opened, the file could not be read whole (or the new file could not
// be put in place). They may throw std::bad_alloc; the file is then unchanged and no temporary file
// is left.
int ReplaceLines(TextFile& file, std::string_view search, std::string_view replacement, bool case_sensitive,
                 bool all);
int ReplaceStrings(TextFile& file, std::string_view search, std::string_view replacement, bool case_sensitive,
                   bool all);
int DeleteLines(TextFile& file, std::string_view search, bool case_sensitive, bool all);
int DeleteStrings(TextFile& file, std::string_view search, bool case_sensitive, bool all);
int InsertLineRelative(TextFile& file, std::string_view line, std::string_view search, bool case_sensitive,
                       bool all, bool after);
int InsertStringRelative(TextFile& file, std::string_view text, std::string_view search, bool case_sensitive,
                         bool all, bool after);
int AppendLine(TextFile& file, std::string_view line);
int InsertFirstLine(TextFile& file, std::string_view line);
int SearchFile(TextFile& file, std::string_view search, bool case_sensitive, bool all);
// By number: line n (n >= 1), or for 0 and non-numbers the first line that is not empty. By search:
// the first line containing the key. Nothing when the file cannot be read or no line qualifies.
std::optional<std::string> GetLine(TextFile& file, std::string_view key, bool case_sensitive, bool by_number);

}  // namespace dravik
