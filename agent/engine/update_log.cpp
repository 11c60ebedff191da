#include "update_log.h"

#include <cstdio>
#include <vector>

namespace dravik {

namespace {

constexpr size_t kMaxLogPath = 259;
constexpr int kOpenTries = 60;
constexpr unsigned kTryIntervalMs = 1000;
constexpr unsigned kMaxKeepKb = 20;
constexpr char kRunMarker[] = "Running DravikLT from";

}  // namespace

std::string time_prefix(const LocalTime& t) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%u/%u/%u %.2u:%.2u:%.2u, ", t.month, t.day, t.year, t.hour, t.minute, t.second);
    return buf;
}

void UpdateLog::set_path(std::string path) {
    if (path.size() > kMaxLogPath) path.resize(kMaxLogPath);
    path_ = std::move(path);
}

void UpdateLog::log_write(std::string_view text, bool prefix, bool truncate) {
    if (sink_) {
        sink_->append(text);
        return;
    }
    std::FILE* f = std::fopen(path_.c_str(), truncate ? "wb" : "ab");
    if (!f) return;
    std::string out;
    if (prefix) out = time_prefix(clock_.now());
    out.reserve(out.size() + text.size() + 8);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    std::fwrite(out.data(), 1, out.size(), f);
    std::fclose(f);
}

std::unique_ptr<ExclusiveFile> log_open_wait(LogFileSystem& fs, Clock& clock, const std::string& path) {
    int tries = 1;
    int64_t last_size = 0;
    for (;;) {
        bool busy = false;
        if (auto file = fs.open_exclusive(path, busy)) return file;
        if (!busy) return nullptr;
        int64_t size = fs.listed_size(path);
        if (size != last_size) tries = 0;  // the holder is still writing: start the wait over
        last_size = size;
        clock.sleep_ms(kTryIntervalMs);
        if (++tries >= kOpenTries) return nullptr;
    }
}

namespace {

// Reads the whole remainder of the file from `from`.
bool read_from(ExclusiveFile& file, int64_t from, int64_t size, std::string& out) {
    if (from >= size) return true;
    if (!file.seek(from)) return false;
    out.resize(static_cast<size_t>(size - from));
    int64_t got = 0;
    while (got < static_cast<int64_t>(out.size())) {
        int64_t n = file.read(out.data() + got, static_cast<int64_t>(out.size()) - got);
        if (n <= 0) return false;
        got += n;
    }
    return true;
}

// Offset just past the line that starts at `pos` in `text` (a line ends at LF, CR or CR LF).
size_t next_line_start(const std::string& text, size_t pos) {
    while (pos < text.size() && text[pos] != '\n' && text[pos] != '\r') ++pos;
    if (pos < text.size()) {
        if (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ++pos;
        ++pos;
    }
    return pos;
}

}  // namespace

void trim_open_log(ExclusiveFile& file, unsigned max_kb) {
    const int64_t size = file.size();
    if (size < 0) return;
    if (static_cast<uint64_t>(size / 1024) < max_kb) return;

    unsigned keep_kb = static_cast<unsigned>(max_kb * 0.15);
    if (keep_kb > kMaxKeepKb) keep_kb = kMaxKeepKb;
    int64_t tail_start = size - int64_t{keep_kb} * 1024;
    if (tail_start < 0) tail_start = 0;

    std::string tail;
    if (read_from(file, tail_start, size, tail)) {
        // The first line of the tail that holds the marker; else the first whole line of the tail
        // (what comes before it is normally the broken end of an older line).
        size_t first_line_end = next_line_start(tail, 0);
        size_t cut_in_tail = first_line_end;
        for (size_t pos = 0; pos < tail.size();) {
            size_t end = next_line_start(tail, pos);
            if (std::string_view(tail).substr(pos, end - pos).find(kRunMarker) != std::string_view::npos) {
                cut_in_tail = pos;
                break;
            }
            pos = end;
        }
        tail.erase(0, cut_in_tail);
    } else {
        tail.clear();  // could not read what to keep: the file is emptied
    }

    if (!file.seek(0)) return;
    if (!tail.empty() && !file.write(tail.data(), static_cast<int64_t>(tail.size()))) {
        file.seek(0);
    }
    file.truncate_here();
}

void UpdateLog::log_trim(unsigned max_kb) {
    auto file = log_open_wait(fs_, clock_, path_);
    if (!file) return;
    trim_open_log(*file, max_kb);
}

}  // namespace dravik
