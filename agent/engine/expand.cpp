#include "expand.h"

#include "variables.h"

namespace dravik {

namespace {

void cut(std::string& s) {
    if (s.size() > kMaxVariableText) s.resize(kMaxVariableText);
}

// Replaces references to known variables inside an appended value until none is left (or the
// replacement bound is reached), then turns "{{" into "{" and "}}" into "}".
std::string rescan_value(std::string part, const VariableStore& vars) {
    for (int replacements = 0; replacements < kMaxRescanReplacements; ++replacements) {
        bool replaced = false;
        size_t j = 0;
        while (j < part.size()) {
            if (part[j] != '{') {
                ++j;
                continue;
            }
            if (j + 1 < part.size() && part[j + 1] == '{') {  // "{{...}" is passed over
                size_t close = part.find('}', j + 2);
                j = close == std::string::npos ? part.size() : close + 1;
                continue;
            }
            size_t close = part.find('}', j + 1);
            if (close == std::string::npos) break;
            const std::string* value = vars.find(std::string_view(part).substr(j + 1, close - j - 1));
            if (!value) {
                j = close + 1;
                continue;
            }
            part.replace(j, close - j + 1, *value);
            cut(part);
            replaced = true;
            break;
        }
        if (!replaced) break;
    }
    std::string out;
    out.reserve(part.size());
    for (size_t i = 0; i < part.size(); ++i) {
        if ((part[i] == '{' || part[i] == '}') && i + 1 < part.size() && part[i + 1] == part[i]) ++i;
        out += part[i];
    }
    return out;
}

}  // namespace

std::string expand_variables(std::string_view text, VariableStore& vars) {
    vars.refresh_stamps(text);
    std::string out;
    size_t i = 0;
    while (i < text.size() && out.size() < kMaxVariableText) {
        char c = text[i];
        if ((c == '{' || c == '}') && i + 1 < text.size() && text[i + 1] == c) {
            out += c;
            i += 2;
            continue;
        }
        if (c != '{') {
            out += c;
            ++i;
            continue;
        }
        size_t close = text.find('}', i + 1);
        std::string_view name =
            text.substr(i + 1, close == std::string_view::npos ? std::string_view::npos : close - i - 1);
        i = close == std::string_view::npos ? text.size() : close + 1;
        if (const std::string* value = vars.find(name)) out += rescan_value(*value, vars);
    }
    cut(out);
    return out;
}

std::string expand_environment(std::string_view text, Environment& env) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '%') {
            out += text[i++];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '%') {
            size_t close = text.find("%%", i + 2);
            if (close == std::string_view::npos) {
                out += "%%";
                i += 2;
            } else {
                out.append(text.substr(i + 1, close + 1 - (i + 1)));
                i = close + 2;
            }
            continue;
        }
        size_t close = text.find('%', i + 1);
        if (close == std::string_view::npos) {
            out += '%';
            ++i;
            continue;
        }
        std::string expanded = env.expand_reference(std::string(text.substr(i, close - i + 1)));
        if (expanded.empty()) {
            std::string whole(text);
            cut(whole);
            return whole;
        }
        out += expanded;
        i = close + 1;
    }
    cut(out);
    return out;
}

}  // namespace dravik
