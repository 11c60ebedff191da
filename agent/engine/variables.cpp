#include "variables.h"

#include <cstdio>

#include "text.h"

namespace dravik {

std::string date_stamp(const LocalTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%u%02u%02u", t.year, t.month, t.day);
    return buf;
}

std::string time_stamp(const LocalTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2u:%.2u:%.2u", t.hour, t.minute, t.second);
    return buf;
}

VariableStore::Variable* VariableStore::lookup(std::string_view name) {
    for (auto& v : vars_) {
        if (iequals(v.name, name)) return &v;
    }
    return nullptr;
}

const std::string* VariableStore::find(std::string_view name) const {
    for (const auto& v : vars_) {
        if (iequals(v.name, name)) return &v.value;
    }
    return nullptr;
}

std::string VariableStore::value_or_empty(std::string_view name) const {
    const std::string* v = find(name);
    return v ? *v : std::string();
}

void VariableStore::set_variable(std::string_view name, std::string_view value, char op) {
    if (!name.empty() && name.front() == '{') name = name.size() >= 2 ? name.substr(1, name.size() - 2) : "";
    if (name.size() > kMaxVariableText) name = name.substr(0, kMaxVariableText);
    if (value.size() > kMaxVariableText) value = value.substr(0, kMaxVariableText);

    Variable* var = lookup(name);
    if (!var) {
        vars_.push_back({std::string(name), std::string()});
        var = &vars_.back();
    }
    if (iequals(name, "DateStamp")) {
        var->value = date_stamp(clock_.now());
        return;
    }
    if (iequals(name, "TimeStamp")) {
        var->value = time_stamp(clock_.now());
        return;
    }
    if (op == '=') {
        var->value = std::string(value);
        return;
    }
    int64_t a = parse_int32(var->value);
    int64_t b = parse_int32(value);
    int64_t r = a;
    switch (op) {
        case '+':
            r = a + b;
            break;
        case '-':
            r = a - b;
            break;
        case '*':
            r = a * b;
            break;
        case '/':
            if (b == 0) return;  // no defined quotient: keep the value
            r = a / b;
            break;
        default:
            return;
    }
    // 32-bit arithmetic wraps as the workstation's integers do.
    var->value = format_int32(static_cast<int32_t>(static_cast<uint32_t>(r)));
}

void VariableStore::refresh_stamps(std::string_view text) {
    if (icontains(text, "datestamp")) set_variable("DateStamp", "");
    if (icontains(text, "timestamp")) set_variable("TimeStamp", "");
}

}  // namespace dravik
