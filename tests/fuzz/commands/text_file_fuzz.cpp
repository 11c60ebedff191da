// Fuzz target: hostile bytes as a text file (8-bit or UTF-16LE with its mark, no line ends, lone
// carriage returns, odd byte counts, lines over the limit) under one text-file operation.
//
// Input: byte 0 picks the operation and its switches, bytes 1 and 2 the lengths of the search text
// and the new text that follow; the rest is the file. Each operation's outcome is checked against a
// small model of the line reader: the file split at line feeds (units 000A for UTF-16LE), a carriage
// return dropped before a line feed, every line written back with CR LF. Checked: the count is -1
// or not negative, -1 exactly when a line is over the limit and then the file is unchanged; an edit
// that changes nothing gives the model's normal form; line counts move by the count; no temporary
// file is left.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "commands/text_file.h"
#include "engine/fakes.h"

namespace {

using namespace dravik;

constexpr size_t kLineLimit = 64;

struct Model {
    bool wide = false;
    std::vector<std::u16string> lines;
    bool too_long = false;
};

Model parse(const std::string& bytes) {
    Model m;
    std::u16string units;
    size_t start = 0;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        m.wide = true;
        start = 2;
    }
    if (m.wide) {
        // An odd last byte is a unit of its own.
        for (size_t i = start; i < bytes.size(); i += 2) {
            unsigned low = static_cast<unsigned char>(bytes[i]);
            unsigned high = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
            units.push_back(static_cast<char16_t>(low | (high << 8)));
        }
    } else {
        for (char c : bytes) units.push_back(static_cast<unsigned char>(c));
    }
    size_t from = 0;
    while (from < units.size()) {
        size_t lf = units.find(u'\n', from);
        std::u16string line = units.substr(from, lf == std::u16string::npos ? std::u16string::npos : lf - from);
        if (lf != std::u16string::npos && !line.empty() && line.back() == u'\r') line.pop_back();
        if (line.size() > kLineLimit) m.too_long = true;
        m.lines.push_back(line);
        if (lf == std::u16string::npos) break;
        from = lf + 1;
    }
    return m;
}

std::string serialise(const Model& m) {
    std::string out = m.wide ? "\xFF\xFE" : "";
    for (const std::u16string& line : m.lines) {
        for (char16_t u : line) {
            out += static_cast<char>(u & 0xFF);
            if (m.wide) out += static_cast<char>(u >> 8);
        }
        out += m.wide ? std::string("\r\0\n\0", 4) : std::string("\r\n");
    }
    return out;
}

std::u16string widen(const std::string& text) {
    std::u16string out;
    for (char c : text) out += static_cast<char16_t>(static_cast<unsigned char>(c));
    return out;
}

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const unsigned op = data[0] % 10;
    const bool case_sensitive = data[0] & 0x10;
    const bool all = data[0] & 0x20;
    const bool after = data[0] & 0x40;
    size_t pos = 3;
    // Script arguments never hold a line feed: one would split the line it is written into.
    auto take_argument = [&](size_t n) {
        n = std::min<size_t>(n, size - pos);
        std::string s(reinterpret_cast<const char*>(data) + pos, n);
        pos += n;
        for (char& c : s) {
            if (c == '\n') c = ' ';
        }
        return s;
    };
    const std::string search = take_argument(data[1] % 8);
    const std::string text = take_argument(data[2] % 8);
    const std::string before(reinterpret_cast<const char*>(data) + pos, size - pos);

    static test::TempDir dir;
    static HostFileSystem fs;
    static const std::string path = dir.file("f.txt");
    test::write_file(path, before);
    TextFile file{fs, path, kLineLimit};

    const Model model = parse(before);
    int count = 0;
    bool read_only = false;
    long line_change = 0;  // the lines the edit adds, per count
    switch (op) {
        case 0: count = ReplaceLines(file, search, text, case_sensitive, all); break;
        case 1: count = ReplaceStrings(file, search, text, case_sensitive, all); break;
        case 2: count = DeleteLines(file, search, case_sensitive, all); line_change = -1; break;
        case 3: count = DeleteStrings(file, search, case_sensitive, all); break;
        case 4: count = InsertLineRelative(file, text, search, case_sensitive, all, after); line_change = 1; break;
        case 5: count = InsertStringRelative(file, text, search, case_sensitive, all, after); break;
        case 6: count = AppendLine(file, text); line_change = 1; break;
        case 7: count = InsertFirstLine(file, text); line_change = 1; break;
        case 8: count = SearchFile(file, search, case_sensitive, all); read_only = true; break;
        default: {
            const bool by_number = data[0] & 0x80;
            auto line = GetLine(file, search, case_sensitive, by_number);
            check(!line || line->size() <= kLineLimit);
            if (line && !by_number && case_sensitive) check(line->find(search) != std::string::npos);
            read_only = true;
            break;
        }
    }
    const std::string after_bytes = test::read_file(path);
    check(!fs.exists(path + "@"));
    check(count >= -1);
    // An empty search string removes nothing and leaves the file as it is, unread.
    const bool unread = (op == 1 || op == 3) && search.empty();
    // A search for the first match stops there, before any line over the limit after it.
    const bool stops_early = op == 8 && !all && count == 1;
    if (op != 9 && !unread && !stops_early) check((count == -1) == model.too_long);
    const bool untouched = read_only || count == -1 || unread;
    if (untouched) {
        check(after_bytes == before);
        return 0;
    }
    if (!all && op <= 5) check(count <= 1);

    // An 8-bit file whose first line now begins with the bytes FF FE reads as UTF-16LE next time:
    // the format decides by the first two bytes.
    if (!model.wide && after_bytes.size() >= 2 && after_bytes.compare(0, 2, "\xFF\xFE") == 0) return 0;
    const Model result = parse(after_bytes);
    check(result.wide == model.wide);
    check(serialise(result) == after_bytes);  // every line ends in CR LF, the mark kept
    check(static_cast<long>(result.lines.size()) == static_cast<long>(model.lines.size()) + line_change * count);
    if (count == 0) check(after_bytes == serialise(model));
    if (op == 6) check(result.lines.back() == widen(text));
    if (op == 7) check(result.lines.front() == widen(text));
    return 0;
}
