// Splitting a queue line into values (rules in values.h).
#include "values.h"

namespace dkgetval {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> split_values(std::string_view line) {
    std::vector<std::string> values;
    std::size_t pos = 0;
    // Each pass handles one field; the loop ends after the field that reaches the line's end.
    for (;;) {
        if (values.size() >= kMaxValues) break;
        while (pos < line.size() && is_blank(line[pos])) ++pos;
        std::string_view value;
        if (pos < line.size() && line[pos] == '"') {
            std::size_t close = line.find('"', pos + 1);
            if (close == std::string_view::npos) close = line.size();
            value = line.substr(pos + 1, close - pos - 1);
            pos = close;
        } else {
            std::size_t comma = line.find(',', pos);
            if (comma == std::string_view::npos) comma = line.size();
            std::size_t end = comma;
            while (end > pos && is_blank(line[end - 1])) --end;
            value = line.substr(pos, end - pos);
            pos = end;
        }
        if (!value.empty()) values.emplace_back(value.substr(0, kMaxValueLength));
        std::size_t comma = line.find(',', pos);
        if (comma == std::string_view::npos) break;
        pos = comma + 1;
    }
    return values;
}

}  // namespace dkgetval
