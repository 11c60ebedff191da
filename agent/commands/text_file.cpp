#include "commands/text_file.h"

#include <cstring>
#include <functional>
#include <memory>

#include "engine/text.h"

namespace dravik {

namespace {

constexpr size_t kReadBuffer = 1 << 16;
constexpr size_t kWriteBuffer = 1 << 16;

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// The temporary file of a rewrite: deleted unless it took the file's place, also when an exception
// leaves the pass. Declared before the stream that writes it, so the stream is closed first.
class TempFile {
public:
    explicit TempFile(std::string path) : path_(std::move(path)) {}
    ~TempFile() {
        if (created_) std::remove(path_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return path_; }
    void created() { created_ = true; }
    void placed() { created_ = false; }

private:
    std::string path_;
    bool created_ = false;
};

// The search key as the comparison sees it, and the comparison copy of each line.
class Matcher {
public:
    Matcher(std::string_view search, bool case_sensitive)
        : case_sensitive_(case_sensitive), key_(case_sensitive ? std::string(search) : to_lower_ascii(search)) {}

    const std::string& key() const { return key_; }
    // The text to search in: the line itself, or its lower-case copy.
    const std::string& haystack(const TextLine& line) {
        if (case_sensitive_) return line.text;
        lowered_.resize(line.text.size());
        for (size_t i = 0; i < line.text.size(); ++i) lowered_[i] = to_lower_ascii(line.text[i]);
        return lowered_;
    }
    bool matches(const TextLine& line) { return haystack(line).find(key_) != std::string::npos; }

private:
    bool case_sensitive_;
    std::string key_;
    std::string lowered_;
};

TextLine make_line(std::string_view text, bool wide) {
    TextLine line;
    line.append_text(text, wide);
    return line;
}

// One pass that rewrites the file: the body copies lines from the reader to the writer and returns
// its count. The temporary file takes the original's place only when everything was written.
int rewrite(TextFile& file, bool create_missing, const std::function<int(LineReader&, LineWriter&)>& body) {
    TempFile temp(file.name + "@");
    FilePtr in(std::fopen(file.name.c_str(), "rb"));
    if (!in && !(create_missing && !file.fs.exists(file.name))) return -1;
    FilePtr out(std::fopen(temp.path().c_str(), "wb"));
    if (!out) return -1;
    temp.created();

    LineReader reader(in.get(), file.max_line);
    LineWriter writer(out.get(), reader.utf16());
    int count = body(reader, writer);
    bool ok = !reader.error() && writer.finish();
    in.reset();
    ok = ok && std::fflush(out.get()) == 0 && file.fs.flush_to_disk(out.get());
    ok = std::fclose(out.release()) == 0 && ok;
    if (!ok || !file.fs.replace(temp.path(), file.name)) return -1;
    temp.placed();
    return count;
}

void copy_rest(LineReader& reader, LineWriter& writer, TextLine& line) {
    while (ReadTextLine(reader, line)) WriteTextLine(writer, line, true);
}

// Replaces (or, with an empty replacement, removes) occurrences; also the string insertion. `insert`
// keeps each occurrence and puts the new text before it, or after it with `after`.
int edit_strings(TextFile& file, std::string_view search, std::string_view text, bool case_sensitive, bool all,
                 bool insert, bool after) {
    Matcher matcher(search, case_sensitive);
    const std::string& key = matcher.key();
    return rewrite(file, false, [&](LineReader& reader, LineWriter& writer) {
        int count = 0;
        TextLine line, out;
        const bool wide = reader.utf16();
        while (ReadTextLine(reader, line)) {
            const std::string& hay = matcher.haystack(line);
            size_t start = 0;
            size_t found = hay.find(key);
            if (found == std::string::npos || !(all || count == 0)) {
                WriteTextLine(writer, line, true);
                continue;
            }
            out.clear();
            while (found != std::string::npos && (all || count == 0)) {
                size_t end = found + key.size();
                if (!insert) {
                    out.append_original(line, start, found);
                    out.append_text(text, wide);
                } else if (after) {
                    out.append_original(line, start, end);
                    out.append_text(text, wide);
                } else {
                    out.append_original(line, start, found);
                    out.append_text(text, wide);
                    out.append_original(line, found, end);
                }
                start = end;
                ++count;
                // An empty key matches once per line, at its first position.
                if (key.empty()) break;
                found = hay.find(key, start);
            }
            out.append_original(line, start, line.text.size());
            WriteTextLine(writer, out, true);
        }
        return count;
    });
}

}  // namespace

void TextLine::append_original(const TextLine& from, size_t begin, size_t end) {
    if (end <= begin) return;
    text.append(from.text, begin, end - begin);
    if (!from.units.empty()) units.append(from.units, begin, end - begin);
}

void TextLine::append_text(std::string_view s, bool wide) {
    text.append(s);
    if (wide) {
        for (char c : s) units.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    }
}

LineReader::LineReader(std::FILE* stream, size_t max_line)
    : stream_(stream), max_line_(max_line), buffer_(kReadBuffer) {
    // The encoding is settled by the first two bytes; the mark itself is not part of any line.
    while (end_ < 2 && fill()) {
    }
    if (end_ >= 2 && static_cast<unsigned char>(buffer_[0]) == 0xFF && static_cast<unsigned char>(buffer_[1]) == 0xFE) {
        utf16_ = true;
        pos_ = 2;
    }
}

// Appends what the stream gives to the buffered bytes; false at the end or on an error.
bool LineReader::fill() {
    if (!stream_) return false;
    if (pos_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + pos_, end_ - pos_);
        end_ -= pos_;
        pos_ = 0;
    }
    size_t n = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, stream_);
    if (n == 0) {
        if (std::ferror(stream_)) error_ = true;
        return false;
    }
    end_ += n;
    return true;
}

// The one check of a line's length against the limit: true when a line of `have` characters may take
// `more`; otherwise the reading stops as failed. One character over the limit is let in for the
// carriage return of a CR LF line end, and checked again when the line is complete.
bool LineReader::room_for(size_t have, size_t more) {
    if (more > max_line_ + 1 - have) {
        error_ = true;
        return false;
    }
    return true;
}

bool LineReader::finish_line(const TextLine& line) {
    if (line.text.size() > max_line_) {
        error_ = true;
        return false;
    }
    return true;
}

int LineReader::next_byte() {
    if (pos_ >= end_ && !fill()) return -1;
    return static_cast<unsigned char>(buffer_[pos_++]);
}

bool ReadTextLine(LineReader& r, TextLine& line) {
    line.clear();
    if (r.error_ || (r.pos_ >= r.end_ && !r.fill())) return false;
    if (!r.utf16_) {
        // Up to the next line feed; a line longer than the buffer is carried over whole, up to the
        // limit (one more character for the carriage return the line end may begin with).
        for (;;) {
            const char* start = r.buffer_.data() + r.pos_;
            const void* lf = std::memchr(start, '\n', r.end_ - r.pos_);
            size_t n = lf ? static_cast<size_t>(static_cast<const char*>(lf) - start) : r.end_ - r.pos_;
            if (!r.room_for(line.text.size(), n)) return false;
            line.text.append(start, n);
            r.pos_ += n;
            if (lf) {
                ++r.pos_;
                if (!line.text.empty() && line.text.back() == '\r') line.text.pop_back();
                return r.finish_line(line);
            }
            if (!r.fill()) return r.finish_line(line);  // the last line has no line end
        }
    }
    // UTF-16LE: units up to the unit 000A; a carriage return before it is dropped.
    for (;;) {
        int low = r.next_byte();
        if (low < 0) break;
        int high = r.next_byte();
        char16_t unit = static_cast<char16_t>(low | ((high < 0 ? 0 : high) << 8));
        if (unit == u'\n') {
            if (!line.units.empty() && line.units.back() == u'\r') {
                line.units.pop_back();
                line.text.pop_back();
            }
            return r.finish_line(line);
        }
        if (!r.room_for(line.units.size(), 1)) return false;
        line.units.push_back(unit);
        line.text.push_back(static_cast<char>(unit & 0xFF));
        if (high < 0) break;
    }
    return r.finish_line(line);
}

void LineWriter::put(const char* data, size_t n) {
    buffer_.append(data, n);
    if (buffer_.size() >= kWriteBuffer) {
        if (std::fwrite(buffer_.data(), 1, buffer_.size(), stream_) != buffer_.size()) error_ = true;
        buffer_.clear();
    }
}

bool WriteTextLine(LineWriter& w, const TextLine& line, bool with_line_end) {
    if (!w.utf16_) {
        w.put(line.text.data(), line.text.size());
        if (with_line_end) w.put("\r\n", 2);
        return !w.error_;
    }
    if (w.bom_pending_) {
        w.put("\xFF\xFE", 2);
        w.bom_pending_ = false;
    }
    char pair[2];
    for (size_t i = 0; i < line.text.size(); ++i) {
        char16_t unit = line.units.empty() ? static_cast<unsigned char>(line.text[i]) : line.units[i];
        pair[0] = static_cast<char>(unit & 0xFF);
        pair[1] = static_cast<char>(unit >> 8);
        w.put(pair, 2);
    }
    if (with_line_end) w.put("\r\0\n\0", 4);
    return !w.error_;
}

bool LineWriter::finish() {
    if (utf16_ && bom_pending_) {
        // A UTF-16LE file that got no line still keeps its mark.
        put("\xFF\xFE", 2);
        bom_pending_ = false;
    }
    if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), stream_) != buffer_.size()) error_ = true;
    buffer_.clear();
    return !error_;
}

int ReplaceLines(TextFile& file, std::string_view search, std::string_view replacement, bool case_sensitive,
                 bool all) {
    Matcher matcher(search, case_sensitive);
    return rewrite(file, false, [&](LineReader& reader, LineWriter& writer) {
        int count = 0;
        TextLine line;
        const TextLine new_line = make_line(replacement, reader.utf16());
        while (ReadTextLine(reader, line)) {
            if ((all || count == 0) && matcher.matches(line)) {
                WriteTextLine(writer, new_line, true);
                ++count;
            } else {
                WriteTextLine(writer, line, true);
            }
        }
        return count;
    });
}

int ReplaceStrings(TextFile& file, std::string_view search, std::string_view replacement, bool case_sensitive,
                   bool all) {
    // Nothing to look for: nothing to replace, and the file is left alone; but a file that cannot be
    // read fails as it does for every other edit.
    if (search.empty()) return FilePtr(std::fopen(file.name.c_str(), "rb")) ? 0 : -1;
    return edit_strings(file, search, replacement, case_sensitive, all, false, false);
}

int DeleteLines(TextFile& file, std::string_view search, bool case_sensitive, bool all) {
    Matcher matcher(search, case_sensitive);
    return rewrite(file, false, [&](LineReader& reader, LineWriter& writer) {
        int count = 0;
        TextLine line;
        while (ReadTextLine(reader, line)) {
            if ((all || count == 0) && matcher.matches(line)) {
                ++count;
            } else {
                WriteTextLine(writer, line, true);
            }
        }
        return count;
    });
}

int DeleteStrings(TextFile& file, std::string_view search, bool case_sensitive, bool all) {
    return ReplaceStrings(file, search, std::string_view(), case_sensitive, all);
}

int InsertLineRelative(TextFile& file, std::string_view new_text, std::string_view search, bool case_sensitive,
                       bool all, bool after) {
    Matcher matcher(search, case_sensitive);
    return rewrite(file, false, [&](LineReader& reader, LineWriter& writer) {
        int count = 0;
        TextLine line;
        const TextLine new_line = make_line(new_text, reader.utf16());
        while (ReadTextLine(reader, line)) {
            bool here = (all || count == 0) && matcher.matches(line);
            if (here && !after) WriteTextLine(writer, new_line, true);
            WriteTextLine(writer, line, true);
            if (here && after) WriteTextLine(writer, new_line, true);
            if (here) ++count;
        }
        return count;
    });
}

int InsertStringRelative(TextFile& file, std::string_view text, std::string_view search, bool case_sensitive,
                         bool all, bool after) {
    return edit_strings(file, search, text, case_sensitive, all, true, after);
}

int AppendLine(TextFile& file, std::string_view new_text) {
    return rewrite(file, true, [&](LineReader& reader, LineWriter& writer) {
        TextLine line;
        copy_rest(reader, writer, line);
        WriteTextLine(writer, make_line(new_text, reader.utf16()), true);
        return 1;
    });
}

int InsertFirstLine(TextFile& file, std::string_view new_text) {
    return rewrite(file, false, [&](LineReader& reader, LineWriter& writer) {
        TextLine line;
        WriteTextLine(writer, make_line(new_text, reader.utf16()), true);
        copy_rest(reader, writer, line);
        return 1;
    });
}

int SearchFile(TextFile& file, std::string_view search, bool case_sensitive, bool all) {
    FilePtr in(std::fopen(file.name.c_str(), "rb"));
    if (!in) return -1;
    LineReader reader(in.get(), file.max_line);
    Matcher matcher(search, case_sensitive);
    const std::string& key = matcher.key();
    TextLine line;
    int count = 0;
    while (ReadTextLine(reader, line)) {
        const std::string& hay = matcher.haystack(line);
        if (!all) {
            if (hay.find(key) != std::string::npos) return 1;
            continue;
        }
        for (size_t p = hay.find(key); p != std::string::npos; p = hay.find(key, p + key.size())) {
            ++count;
            if (key.empty()) break;
        }
    }
    return reader.error() ? -1 : count;
}

std::optional<std::string> GetLine(TextFile& file, std::string_view key, bool case_sensitive, bool by_number) {
    FilePtr in(std::fopen(file.name.c_str(), "rb"));
    if (!in) return std::nullopt;
    LineReader reader(in.get(), file.max_line);
    TextLine line;
    if (by_number) {
        int32_t n = parse_int32(key);
        for (int32_t i = 1; ReadTextLine(reader, line); ++i) {
            if (n >= 1 ? i == n : !line.text.empty()) return line.text;
        }
        return std::nullopt;
    }
    Matcher matcher(key, case_sensitive);
    while (ReadTextLine(reader, line)) {
        if (matcher.matches(line)) return line.text;
    }
    return std::nullopt;
}

}  // namespace dravik
