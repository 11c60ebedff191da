// Analyze: a statement line read back into the fields of its kind. The command word is matched
// as the agent matches it (the letter, then the rest of the word skipped when present); the
// arguments are read as the agent reads them. Lines the editor writes analyse back to their kind.
#include <cctype>
#include <cstring>

#include "editor_core.h"
#include "script_catalogue.h"
#include "statement.h"

namespace dkedit {

namespace {

bool blank(char c) { return c == ' ' || c == '\t'; }

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool istarts(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && lower(s.substr(0, prefix.size())) == lower(prefix);
}

bool iequals(std::string_view a, std::string_view b) { return a.size() == b.size() && istarts(a, b); }

std::size_t skip_blanks(std::string_view s, std::size_t i) {
    while (i < s.size() && blank(s[i])) ++i;
    return i;
}

// Position after "-<letter>" and, when present, the rest of the command word.
std::size_t after_word(std::string_view line, std::size_t hyphen, std::string_view rest) {
    std::size_t pos = hyphen + 2;
    if (istarts(line.substr(pos), rest)) pos += rest.size();
    return pos;
}

struct Analysis {
    const Catalogue& catalogue;
    FieldStore& store;
    std::string_view full_text;

    const Kind& kind(const std::string& id) const { return *catalogue.find(id); }
    void reset(const std::string& id) {
        const Kind& k = kind(id);
        for (const Field& f : k.fields) store.set(FieldStore::key(k, f), f.initial);
    }
    void set(const std::string& id, const std::string& label, std::string v) {
        store.set_value(kind(id), label, std::move(v));
    }
};

// Index of `word` in `words` (without regard to case), or -1.
int word_index(const std::string& word, std::initializer_list<const char*> words) {
    int i = 0;
    for (const char* w : words) {
        if (iequals(word, w)) return i;
        ++i;
    }
    return -1;
}

std::string arg(const std::vector<Argument>& args, std::size_t i) { return i < args.size() ? args[i].text : ""; }

void read_condition(Analysis& a, const std::string& id, const std::vector<Argument>& args) {
    a.set(id, "First Value", arg(args, 0));
    static const char* const kChoices[] = {
        "Equal", "Not Equal", "Greater Than", "Less Than", "Greater Than Or Equal", "Less Than Or Equal"};
    const int op = word_index(arg(args, 1), {"=", "<>", ">", "<", ">=", "<=", "!="});
    if (op >= 0) a.set(id, "Comparison Method", kChoices[op == 6 ? 1 : op]);
    a.set(id, "Second Value", arg(args, 2));
}

// A sub-operation found on a file or registry line: its kind and where it starts.
struct Subop {
    std::string id;
    std::size_t begin = 0;
    bool has_variable = false;
};

// Reads the sub-operations of a file command from args[first]; the first one into the fields.
std::vector<Subop> read_file_subops(Analysis& a, const std::vector<Argument>& args, std::size_t first) {
    std::vector<Subop> subops;
    bool after = false;
    const auto target = [&]() -> bool { return subops.size() == 1; };
    for (std::size_t i = first; i < args.size(); ++i) {
        const std::string& w = args[i].text;
        if (w.size() < 2 || w[0] != '-') continue;  // an unrecognised part is ignored
        const char op = static_cast<char>(std::tolower(static_cast<unsigned char>(w[1])));
        const char mod = w.size() > 2 ? w[2] : '\0';
        const bool all = std::isupper(static_cast<unsigned char>(mod)) != 0;
        const bool line = std::tolower(static_cast<unsigned char>(mod)) == 'l';
        if (iequals(w, "-c")) {
            a.store.set(slot::kFileCase, "On");
        } else if (iequals(w, "-a")) {
            after = true;
        } else if (op == 'v') {
            if (!subops.empty() && subops.back().id != "file.find" && !subops.back().has_variable) {
                subops.back().has_variable = true;
                if (target()) {
                    const std::string& id = subops.back().id;
                    a.set(id, id == "file.getline" ? "Store Line in Variable" : "Store Result to Variable",
                          arg(args, i + 1));
                }
            } else {
                subops.push_back({"file.find", args[i].begin, true});
                if (target()) a.set("file.find", "Result Variable", arg(args, i + 1));
            }
            ++i;
        } else if (op == 'i' || op == 'r' || op == 'd' || op == 'f' || op == 'g') {
            static const char* const kIds[] = {"file.insert", "file.replace", "file.delete", "file.search",
                                               "file.getline"};
            const std::string id = kIds[std::strchr("irdfg", op) - "irdfg"];
            subops.push_back({id, args[i].begin, false});
            const bool at_search = op == 'i' && mod != 'b' && mod != 'e' && mod != 'B' && mod != 'E';
            const std::size_t count = op == 'r' || at_search ? 2 : 1;
            if (target()) {
                a.reset(id);
                if (op == 'i') {
                    a.set(id, "Insert Location",
                          mod == 'b' || mod == 'B'   ? "Beginning"
                          : mod == 'e' || mod == 'E' ? "End"
                                                     : "At Search String");
                    a.set(id, "Insert Text", arg(args, i + 1));
                    if (at_search) a.set(id, "Search Text", arg(args, i + 2));
                } else if (op == 'r') {
                    a.set(id, "New Text", arg(args, i + 1));
                    a.set(id, "Search Text", arg(args, i + 2));
                } else if (op == 'd') {
                    a.set(id, "Search Text", arg(args, i + 1));
                } else if (op == 'f') {
                    a.set(id, "Search String", arg(args, i + 1));
                    a.set(id, "Search Entire File",
                          std::tolower(static_cast<unsigned char>(mod)) == 's' ? "No" : "Yes");
                } else {
                    a.set(id, "Search String", arg(args, i + 1));
                    a.set(id, "Search Line Number", line ? "Yes" : "No");
                }
                if (op == 'i' || op == 'r' || op == 'd') {
                    a.set(id, "All Instances", all ? "Yes" : "No");
                    a.set(id, "Scope of Operations", line ? "Line" : "String");
                }
            }
            i += count;
        }
    }
    // A line-wide modifier, wherever it stands.
    if (after) a.set("file.insert", "Insert Mode", "Insert After Search String");
    return subops;
}

std::vector<Subop> read_registry_subops(Analysis& a, const std::vector<Argument>& args, std::size_t first) {
    std::vector<Subop> subops;
    for (std::size_t i = first; i < args.size(); ++i) {
        const std::string w = lower(args[i].text);
        if (w == "-m" || w == "-k") {
            a.store.set(slot::kRegAction, w == "-m" ? "Create Key" : "Delete Key");
        } else if (w == "-s" || w == "-d" || w == "-v") {
            const std::string id = w == "-s" ? "reg.set" : w == "-d" ? "reg.delete" : "reg.get";
            subops.push_back({id, args[i].begin, false});
            if (subops.size() == 1) {
                a.reset(id);
                a.set(id, "Value Name", arg(args, i + 1));
                if (w == "-s") {
                    const int t = word_index(arg(args, i + 2), {"SZ", "DW", "BN"});
                    if (t >= 0) a.set(id, "Value Type", t == 0 ? "String" : t == 1 ? "Dword" : "Binary");
                    a.set(id, "Value Data", arg(args, i + 3));
                }
                if (w == "-v") a.set(id, "Variable Name", arg(args, i + 2));
            }
            i += w == "-s" ? 3 : w == "-v" ? 2 : 1;
        }
    }
    return subops;
}

std::string trimmed(std::string_view s) {
    std::size_t n = s.size();
    while (n > 0 && blank(s[n - 1])) --n;
    return std::string(s.substr(0, n));
}

// A file or registry line: head, then sub-operations; the list holds the parts when there are several.
std::string read_family(Analysis& a, Family family, std::string_view line, std::size_t pos, bool with_head) {
    const std::vector<Argument> args = read_arguments(line, pos);
    std::size_t first = 0;
    if (with_head) {
        if (family == Family::File) {
            a.reset("file");
            a.reset("file.insert");
            a.store.set(slot::kFileName, arg(args, 0));
            first = 1;
        } else {
            a.reset("registry");
            const int root = word_index(arg(args, 0), {"LM", "US", "CU", "CR", "CC", "PD", "DD"});
            static const char* const kRoots[] = {"Local Machine", "Users",          "Current User",
                                                 "Classes Root",  "Current Config", "Performance Data",
                                                 "Dynamic Data"};
            if (root >= 0) a.store.set(slot::kRegRoot, kRoots[root]);
            a.store.set(slot::kRegPath, arg(args, 1));
            first = 2;
        }
    }
    const std::vector<Subop> subops =
        family == Family::File ? read_file_subops(a, args, first) : read_registry_subops(a, args, first);
    if (with_head) {
        a.store.subops.clear();
        a.store.subop_index = 0;
        if (subops.size() > 1) {
            a.store.subops.push_back(trimmed(line.substr(0, subops[1].begin)));
            for (std::size_t i = 1; i < subops.size(); ++i) {
                const std::size_t end = i + 1 < subops.size() ? subops[i + 1].begin : line.size();
                a.store.subops.push_back(" " + trimmed(line.substr(subops[i].begin, end - subops[i].begin)));
            }
        }
    }
    if (subops.empty()) return family == Family::File ? "file" : "registry";
    return subops.front().id;
}

void read_update_section(Analysis& a, const std::string& text) {
    a.reset("update_section");
    static const std::pair<const char*, const char*> kKeys[] = {{"update", "Update Name"},
                                                                {"message", "Message"},
                                                                {"effectivedate", "Effective Date"},
                                                                {"log", "Log File"},
                                                                {"pauseoncompletion", "Pause on Completion"},
                                                                {"quietly", "Quietly"},
                                                                {"showprogress", "Show Progress"},
                                                                {"waitfordate", "Wait for Date"},
                                                                {"reboot", "Reboot"},
                                                                {"runfromdkagent", "Run From DkAgent"}};
    bool inside = false;
    std::size_t begin = 0;
    while (begin <= text.size()) {
        std::size_t lf = text.find('\n', begin);
        std::string_view l = std::string_view(text).substr(begin, (lf == std::string::npos ? text.size() : lf) - begin);
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
        l = l.substr(skip_blanks(l, 0));
        if (!l.empty() && l[0] == '[') {
            inside = istarts(l, "[update]");
        } else if (inside) {
            const std::size_t eq = l.find('=');
            if (eq != std::string_view::npos) {
                const std::string key = lower(trimmed(l.substr(0, eq)));
                const std::string value = trimmed(l.substr(skip_blanks(l, eq + 1)));
                for (const auto& [k, label] : kKeys) {
                    if (key != k || value.empty()) continue;
                    const Field* f = nullptr;
                    for (const Field& x : a.kind("update_section").fields) {
                        if (x.label == label) f = &x;
                    }
                    std::string v = value;
                    if (f->edit == EditCode::Toggle) v = value[0] == 'y' || value[0] == 'Y' ? "Yes" : "No";
                    a.set("update_section", label, v);
                }
            }
        }
        if (lf == std::string::npos) break;
        begin = lf + 1;
    }
}

std::optional<std::string> read_statement(Analysis& a, std::string_view line) {
    const std::size_t start = skip_blanks(line, 0);
    std::string_view t = line.substr(start);
    const std::string first = lower(t.substr(0, std::min(t.find_first_of(" \t"), t.size())));
    if (t[0] == ';') {
        a.set("script.comment", "Comment", std::string(t.substr(1)));
        return "script.comment";
    }
    if (t[0] == '[') {
        if (istarts(t.substr(1), "update")) {
            read_update_section(a, std::string(a.full_text));
            return "update_section";
        }
        const std::size_t close = t.find(']');
        a.set("add_section", "Section Name",
              std::string(t.substr(1, close == std::string_view::npos ? t.size() - 1 : close - 1)));
        return "add_section";
    }
    if (t[0] == '@') {
        static const char* const kWords[] = {"@if",  "@elseif", "@else", "@endif", "@goto", "@return",
                                             "@end", "@set",    "@mid",  "@do",    "@while"};
        static const char* const kIds[] = {"if",  "else", "else", "endif", "goto", "return",
                                           "end", "set",  "mid",  "do",    "while"};
        for (std::size_t w = 0; w < std::size(kWords); ++w) {
            if (first != kWords[w]) continue;
            const std::string id = kIds[w];
            const std::vector<Argument> args = read_arguments(t, first.size());
            a.reset(id);
            if (id == "if" || id == "while" || (id == "else" && w == 1)) read_condition(a, id, args);
            if (id == "else") a.set(id, "Test Condition", w == 1 ? "Yes" : "No");
            if (id == "goto") a.set(id, "Go To Section", arg(args, 0));
            if (id == "set") {
                a.set(id, "Variable Name", arg(args, 0));
                const int op = args.size() >= 3 ? word_index(arg(args, 1), {"+", "-", "*", "/"}) : -1;
                static const char* const kOps[] = {"Plus", "Minus", "Multiply By", "Divide By"};
                if (op >= 0) a.set(id, "Operand", kOps[op]);
                a.set(id, "Value", arg(args, op >= 0 ? 2 : 1));
            }
            if (id == "mid") {
                a.set(id, "Variable Name", arg(args, 0));
                a.set(id, "Result Variable", arg(args, 1));
                a.set(id, "Start Position", arg(args, 2));
                a.set(id, "Mid Length", arg(args, 3));
            }
            return id;
        }
        return std::nullopt;
    }
    if (t[0] == '$') {
        static const char* const kWords[] = {"$?",   "$edit", "$pwd",  "$cbox", "$file",
                                             "$dir", "$text", "$stop", "$list", "$opts"};
        static const char* const kTypes[] = {
            "Yes|No Message Box",  "Edit Box",     "Password Box", "Check Box", "File Selection",
            "Directory Selection", "Static Label", "Enable Stop",  "List Box",  "Option Buttons"};
        a.reset("ui");
        a.store.items.clear();
        std::size_t w = 0;
        while (w < std::size(kWords) && !istarts(t, kWords[w])) ++w;
        const std::string type = w < std::size(kWords) ? kTypes[w] : "Standard Message Box";
        const std::vector<Argument> args = read_arguments(t, w < std::size(kWords) ? std::strlen(kWords[w]) : 1);
        a.set("ui", "Message Type", type);
        if (w == 0 || w == 6 || w == std::size(kWords)) {
            a.set("ui", "Message", arg(args, 0));
        } else if (w != 7) {
            a.set("ui", "Response Variable", arg(args, 0));
            a.set("ui", "Message", arg(args, 1));
            if (w >= 8) {
                // The editor writes an empty default before the items; older lines have none.
                std::size_t i = args.size() > 2 && args[2].text.empty() ? 3 : 2;
                for (; i < args.size() && !args[i].text.empty(); ++i) a.store.items.push_back(args[i].text);
            }
        }
        return "ui";
    }
    if (t[0] == '-' && t.size() >= 2) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(t[1])));
        const bool rido = istarts(t.substr(1), "rido") && (t.size() == 5 || blank(t[5]));
        if (rido || c == 'z') {
            const std::size_t pos = rido ? 5 : after_word(t, 0, "ypt");
            const std::vector<Argument> args = read_arguments(t, pos);
            const std::string op = args.size() > 1 ? lower(args[1].text) : "";
            const std::string id = op == "-u" ? "unzip" : op == "-l" ? "list" : op == "-x" ? "encrypt" : "zip";
            a.reset(id);
            if (id == "encrypt") {
                a.set(id, "Clear File", arg(args, 0));
                a.set(id, "Output Script File", arg(args, 2));
                return id;
            }
            a.set(id, "Rido File", arg(args, 0));
            a.set(id, id == "zip" ? "File Spec" : id == "unzip" ? "Target Path" : "List File", arg(args, 2));
            for (std::size_t i = 3; i < args.size(); ++i) {
                const std::string& o = args[i].text;
                if (id == "zip") {
                    if (o == "-p") a.set(id, "Store Path Info", "Relative Path Info");
                    if (o == "-P") a.set(id, "Store Path Info", "Full Path Info");
                    if (o == "-e") a.set(id, "Encryption", "Zip Encryption");
                    if (o == "-E") a.set(id, "Encryption", "Dravik and Zip Encryption");
                    if (iequals(o, "-r")) a.set(id, "Recursive", "Yes");
                    if (iequals(o, "-n")) a.set(id, "Update Newer Only", "Yes");
                    if (iequals(o, "-a")) a.set(id, "After Date", arg(args, ++i));
                } else if (id == "unzip") {
                    if (iequals(o, "-f")) a.set(id, "File Specification", arg(args, ++i));
                    if (iequals(o, "-p")) a.set(id, "Use Path Info", "Yes");
                    if (o == "-d") a.set(id, "Decryption", "Zip Decryption");
                    if (o == "-D") a.set(id, "Decryption", "Dravik and Zip Decryption");
                    if (iequals(o, "-r")) a.set(id, "Recursive", "Yes");
                    if (iequals(o, "-o")) a.set(id, "Overwrite", "Yes");
                } else if (o == "-D") {
                    a.set(id, "Use Dravik Decryption", "Yes");
                }
            }
            return id;
        }
        if (c == 'r') return read_family(a, Family::Registry, t, after_word(t, 0, "eg"), true);
        if (c == 'f') return read_family(a, Family::File, t, after_word(t, 0, "ile"), true);
        if (c == 'p') {
            const std::vector<Argument> args = read_arguments(t, after_word(t, 0, "rogram"));
            a.reset("program");
            a.set("program", "File Name", arg(args, 0));
            a.set("program", "Arguments", arg(args, 1));
            for (std::size_t i = 2; i < args.size(); ++i) {
                if (iequals(args[i].text, "nowait")) a.set("program", "Wait to Finish", "No");
                const int mode = word_index(args[i].text, {"normal", "max", "min"});
                if (mode >= 0) a.set("program", "Run Mode", mode == 0 ? "Normal" : mode == 1 ? "Maximize" : "Minimize");
            }
            return "program";
        }
        if (c == 'w') {
            std::vector<Argument> args = read_arguments(t, after_word(t, 0, "ait"));
            a.reset("wait");
            for (std::size_t i = 0; i < args.size(); ++i) {
                if (iequals(args[i].text, "-v")) {
                    a.set("wait", "Store Result to Variable", arg(args, i + 1));
                    args.resize(i);
                }
            }
            const bool number =
                !args.empty() && args.size() == 1 && args[0].text.find_first_not_of("0123456789") == std::string::npos;
            if (!args.empty() && !number) a.set("wait", "Program Name", args[0].text);
            if (args.size() >= 2 || number) a.set("wait", "Timeout Value", args[number ? 0 : 1].text);
            return "wait";
        }
        if (c == 'x') {
            const std::vector<Argument> args = read_arguments(t, after_word(t, 0, "dll"));
            a.reset("activex");
            a.set("activex", "File Name", arg(args, 0));
            const std::string op = lower(arg(args, 1));
            if (op == "-u" || op == "-ud") {
                a.set("activex", "Registration", "Unregister");
                a.set("activex", "Delete File", op == "-ud" ? "Yes" : "No");
            } else {
                if (op == "-rc") a.set("activex", "Copy Mode", "Always copy file");
                a.set("activex", "Copy From", arg(args, 2));
            }
            return "activex";
        }
        if (c == 's') {
            const std::vector<Argument> args = read_arguments(t, after_word(t, 0, "hortcut"));
            a.reset("shortcut");
            const char* const kLabels[] = {"Shortcut File Name", "Program", "Arguments", "Working Directory"};
            for (std::size_t i = 0; i < 4; ++i) a.set("shortcut", kLabels[i], arg(args, i));
            const int mode = word_index(arg(args, 4), {"normal", "max", "min"});
            if (mode > 0) a.set("shortcut", "Run Mode", mode == 1 ? "Maximize" : "Minimize");
            return "shortcut";
        }
    }
    return std::nullopt;
}

bool update_key(std::string_view t) {
    if (istarts(t, "[update]")) return true;
    for (const char* k : {"update", "pauseoncompletion", "message", "effectivedate", "quietly", "showprogress",
                          "multistep", "waitfordate", "reboot", "log", "runfromdkagent"}) {
        if (istarts(t, k)) return true;
    }
    return false;
}

}  // namespace

std::optional<std::string> analyze_line(const Catalogue& catalogue, const std::string& text, std::size_t line_index,
                                        FieldStore& store) {
    const std::vector<std::string> lines = split_lines(text);
    if (line_index >= lines.size()) return std::nullopt;
    const std::string& line = lines[line_index];
    const std::size_t start = skip_blanks(line, 0);
    if (start == line.size()) return std::nullopt;
    std::string_view t = std::string_view(line).substr(start);
    Analysis a{catalogue, store, text};
    // Audit option lines and the message and agent lines under [DkAudit] are not the script's keys.
    for (const CatalogueRoot& root : catalogue.roots()) {
        if (!root.analyze_first) continue;
        if (std::optional<std::string> id = root.analyze_first(text, line_index, store)) return id;
    }
    if (update_key(t)) {
        read_update_section(a, text);
        return "update_section";
    }
    if (std::optional<std::string> id = read_statement(a, t)) return id;
    for (const CatalogueRoot& root : catalogue.roots()) {
        if (!root.analyze) continue;
        if (std::optional<std::string> id = root.analyze(text, line_index, store)) return id;
    }
    a.set("batch", "Batch Command", std::string(t));
    return "batch";
}

std::optional<std::string> analyze_subop(const Catalogue& catalogue, Family family, const std::string& entry,
                                         bool with_head, FieldStore& store) {
    Analysis a{catalogue, store, {}};
    std::string_view t = entry;
    t = t.substr(skip_blanks(t, 0));
    if (with_head) {
        if (t.size() < 2) return std::nullopt;
        const std::size_t pos = family == Family::File ? after_word(t, 0, "ile") : after_word(t, 0, "eg");
        const std::vector<std::string> saved = store.subops;
        const std::size_t index = store.subop_index;
        std::string id = read_family(a, family, t, pos, true);
        store.subops = saved;
        store.subop_index = index;
        return id;
    }
    const std::vector<Argument> args = read_arguments(t, 0);
    const std::vector<Subop> subops =
        family == Family::File ? read_file_subops(a, args, 0) : read_registry_subops(a, args, 0);
    if (subops.empty()) return std::nullopt;
    return subops.front().id;
}

}  // namespace dkedit
