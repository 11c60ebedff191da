// Audit INI lines: composition, placement and analysis. Arguments are written and read as the
// script commands' are (brace-quoted: double quotes around a text with a blank, or with both
// braces; single quotes around one with a double quote).
#include "audit_text.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>

#include "statement.h"

namespace dkedit::audit {

const char* const kPlaceCaption = "Invalid location for this command";
const char* const kPlaceMessage = "This command must go under the [DkAudit] section.";
const char* const kPlaceUpdateMessage =
    "Please move the command in the file window under the [DkAudit] section and then analyze and update the command "
    "again.";

namespace {

const char* const kAuditHeader = "[DkAudit]";
const char* const kConvertHeader = "[DkConvert]";
const char* const kHardwareWords[] = {"DiskDrives", "IPAddress", "System"};
const char* const kScopeWords[] = {"All", "Current", "Default"};
const char* const kRootCodes[] = {"LM", "US", "CU", "CR", "CC", "PD", "DD", ""};
const char* const kTypeWords[] = {"AppPaths",  "ComputerName", "Desktop",   "IPAddress",     "NetworkDrives",
                                  "Printers",  "QueryINI",     "QueryFile", "Registry",      "ShellFolders",
                                  "Shortcuts", "StartMenu",    "StartUp",   "UninstallApps", ""};

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}
bool same(const std::string& a, const std::string& b) { return lower(a) == lower(b); }
bool begins(const std::string& s, const std::string& prefix) {
    return s.size() >= prefix.size() && same(s.substr(0, prefix.size()), prefix);
}
bool blank(char c) { return c == ' ' || c == '\t'; }
std::string ltrim(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size() && blank(s[i])) ++i;
    return s.substr(i);
}
std::string trim(const std::string& s) {
    std::string t = ltrim(s);
    while (!t.empty() && blank(t.back())) t.pop_back();
    return t;
}

// The text's CR LF lines as offsets; `end` excludes the line break.
struct Span {
    std::size_t start, end;
};
struct Lines {
    const std::string& text;
    std::vector<Span> spans;
    explicit Lines(const std::string& t) : text(t) {
        std::size_t start = 0, end;
        while ((end = t.find("\r\n", start)) != std::string::npos) {
            spans.push_back({start, end});
            start = end + 2;
        }
        spans.push_back({start, t.size()});
    }
    std::size_t size() const { return spans.size(); }
    std::string at(std::size_t i) const { return text.substr(spans[i].start, spans[i].end - spans[i].start); }
    bool is_header(std::size_t i) const { return ltrim(at(i)).compare(0, 1, "[") == 0; }
    bool is_empty(std::size_t i) const { return trim(at(i)).empty(); }
    std::size_t line_of(std::size_t offset) const {
        std::size_t i = 0;
        while (i + 1 < spans.size() && spans[i + 1].start <= offset) ++i;
        return i;
    }
    // The nearest header at or above line i.
    std::optional<std::size_t> header_above(std::size_t i) const {
        for (std::size_t k = i + 1; k-- > 0;)
            if (is_header(k)) return k;
        return std::nullopt;
    }
    // A header line names a section when, after leading blanks, it is the name and nothing else.
    bool names(std::size_t i, const char* header) const { return same(ltrim(at(i)), header); }
    std::optional<std::size_t> find_header(const char* header) const {
        for (std::size_t i = 0; i < spans.size(); ++i)
            if (names(i, header)) return i;
        return std::nullopt;
    }
    // The section's last line (before the next header, or the text's last line).
    std::size_t section_end(std::size_t header) const {
        std::size_t k = header;
        while (k + 1 < spans.size() && !is_header(k + 1)) ++k;
        return k;
    }
};

// The section a line belongs to when it is `header`: the caret's own, else the first in the text.
std::optional<std::size_t> section_for(const Lines& lines, std::optional<std::size_t> from, const char* header) {
    if (from) {
        auto h = lines.header_above(*from);
        if (h && lines.names(*h, header)) return h;
    }
    return lines.find_header(header);
}

// The word before "=" (or the whole line) and the text after "=".
std::string line_word(const std::string& line) { return trim(line.substr(0, line.find('='))); }
std::string after_equals(const std::string& line) {
    std::size_t eq = line.find('=');
    return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

template <class E, std::size_t N>
std::optional<E> by_word(const char* const (&words)[N], const std::string& w) {
    for (std::size_t i = 0; i < N; ++i)
        if (same(words[i], w)) return static_cast<E>(i);
    return std::nullopt;
}

struct SoftwareWord {
    const char* word;
    bool SoftwareSet::*toggle;
    Scope SoftwareSet::*scope;
};
const SoftwareWord kSoftwareWords[] = {
    {"AppPaths", &SoftwareSet::app_paths, nullptr},
    {"Desktop", nullptr, &SoftwareSet::desktop},
    {"NetworkDrives", nullptr, &SoftwareSet::network_drives},
    {"Printers", &SoftwareSet::printers, nullptr},
    {"ShellFolders", nullptr, &SoftwareSet::shell_folders},
    {"StartMenu", nullptr, &SoftwareSet::start_menu},
    {"Startup", nullptr, &SoftwareSet::startup},
    {"UninstallApps", &SoftwareSet::uninstall_apps, nullptr},
    {"UserName", &SoftwareSet::user_name, nullptr},
    {"Version", &SoftwareSet::version, nullptr},
};
const SoftwareWord* software_word(const std::string& w) {
    for (const SoftwareWord& s : kSoftwareWords)
        if (same(s.word, w)) return &s;
    return nullptr;
}
bool hardware_word(const std::string& w) { return by_word<int>(kHardwareWords, w).has_value(); }

std::string join(const std::vector<std::string>& parts, const char* sep) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) out += (i ? sep : "") + parts[i];
    return out;
}

void read_options(const Lines& lines, std::size_t line, AuditOptions& o) {
    o = AuditOptions{};
    auto h = section_for(lines, line, kAuditHeader);
    if (!h) return;
    for (std::size_t i = *h + 1; i <= lines.section_end(*h); ++i) {
        std::string key = line_word(lines.at(i)), value = trim(after_equals(lines.at(i)));
        if (same(key, "Results")) {
            o.results_file = value;
        } else if (same(key, "Action")) {
            for (auto a : {ResultsAction::Append, ResultsAction::Refresh, ResultsAction::Clear})
                if (same(value, action_word(a))) o.action = a;
        } else if (same(key, "Convert") && !value.empty()) {
            o.convert = begins(value, "y");
        } else if (same(key, "Hardware") || same(key, "Software")) {
            CommandSet& set = same(key, "Hardware") ? o.hardware : o.software;
            if (same(value, "Yes")) set = CommandSet::All;
            if (same(value, "No")) set = CommandSet::None;
            if (same(value, "Defined")) set = CommandSet::Defined;
        } else if (same(key, "RunFromDkAgent") && !value.empty()) {
            o.run_from_agent = !begins(value, "n");
        }
    }
}

void read_sets(const Lines& lines, std::size_t line, AuditFields& f) {
    f.hardware = HardwareSet{};
    f.software = SoftwareSet{};
    auto h = section_for(lines, line, kAuditHeader);
    if (!h) return;
    for (std::size_t i = *h + 1; i <= lines.section_end(*h); ++i) {
        std::string word = line_word(lines.at(i));
        if (auto hw = by_word<std::size_t>(kHardwareWords, word)) f.hardware[*hw] = true;
        if (const SoftwareWord* sw = software_word(word)) {
            if (sw->toggle) f.software.*(sw->toggle) = true;
            std::string scope = trim(after_equals(lines.at(i)));
            if (sw->scope) f.software.*(sw->scope) = by_word<Scope>(kScopeWords, scope).value_or(Scope::Off);
        }
    }
}

// The arguments after "=" of a command, with its "-x" switches apart.
struct CommandArgs {
    std::vector<std::string> values;
    std::vector<std::string> switches;  // lower case
};
CommandArgs command_args(const std::string& line) {
    CommandArgs out;
    const std::string rest = after_equals(line);
    for (const Argument& a : read_arguments(rest)) {
        bool quoted = rest[a.begin] == '"' || rest[a.begin] == '\'';
        if (!quoted && a.text.size() > 1 && a.text[0] == '-')
            out.switches.push_back(lower(a.text));
        else
            out.values.push_back(a.text);
    }
    out.values.resize(std::max<std::size_t>(out.values.size(), 4));
    return out;
}
bool has_switch(const CommandArgs& a, std::initializer_list<const char*> names) {
    for (const std::string& s : a.switches)
        for (const char* n : names)
            if (s == n) return true;
    return false;
}

AuditKind read_command(const Lines& lines, std::size_t line, AuditFields& f) {
    std::string text = lines.at(line), word = line_word(text);
    if (hardware_word(word)) {
        read_sets(lines, line, f);
        return AuditKind::Hardware;
    }
    if (software_word(word)) {
        read_sets(lines, line, f);
        return AuditKind::Software;
    }
    CommandArgs a = command_args(text);
    const std::vector<std::string>& v = a.values;
    if (same(word, "Find")) {
        f.find = {v[0], has_switch(a, {"-ver", "-version"}), has_switch(a, {"-recurse"})};
        return AuditKind::FindFile;
    }
    if (same(word, "QueryINI")) {
        f.query_ini = {v[0], v[1], v[2]};
        return AuditKind::QueryIni;
    }
    if (same(word, "QueryFile")) {
        f.query_text_file = {v[0], v[1], false};
        return AuditKind::QueryTextFile;
    }
    if (same(word, "QueryShortcuts")) {
        f.query_shortcuts = {v[0], "", has_switch(a, {"-recurse"})};
        return AuditKind::QueryShortcuts;
    }
    if (same(word, "QueryProcess")) {
        f.query_process = v[0];
        return AuditKind::QueryProcess;
    }
    if (same(word, "QueryRegKey")) {
        RegistryRoot root = by_word<RegistryRoot>(kRootCodes, v[0]).value_or(RegistryRoot::All);
        f.query_registry = {root, v[1], v[2], v[3], has_switch(a, {"-recurse"})};
        return AuditKind::QueryRegistry;
    }
    if (same(word, "Message")) {
        f.message = {v[0], v[1]};
        return AuditKind::Message;
    }
    return AuditKind::Unmatched;
}

// A conversion flag at pos: "-C", "-U", "-A", "-G" or "-H" standing alone ("-H" may carry its
// continuation characters in double quotes). Returns the flag letter in upper case, or 0.
char conversion_flag(const std::string& s, std::size_t pos) {
    if (pos + 1 >= s.size() || s[pos] != '-') return 0;
    char c = static_cast<char>(std::toupper(static_cast<unsigned char>(s[pos + 1])));
    if (std::string("CUAHG").find(c) == std::string::npos) return 0;
    if (pos + 2 == s.size() || blank(s[pos + 2]) || (c == 'H' && s[pos + 2] == '"')) return c;
    return 0;
}

void read_conversion(const std::string& line, Conversion& c) {
    c = Conversion{};
    std::size_t pos = 0;
    for (;;) {
        while (pos < line.size() && blank(line[pos])) ++pos;
        const char flag = conversion_flag(line, pos);
        if (!flag) break;
        pos += 2;
        if (flag == 'C') c.case_sensitive = true;
        if (flag == 'U') c.mode = MatchMode::Full;
        if (flag == 'A') c.mode = MatchMode::Partial;
        if (flag == 'G') c.exchange = true;
        if (flag == 'H') {
            c.whole_word = true;
            if (pos < line.size() && line[pos] == '"') {
                std::size_t close = std::min(line.find('"', pos + 1), line.size());
                c.continuation = line.substr(pos + 1, close - pos - 1);
                pos = std::min(close + 1, line.size());
            }
        }
    }
    std::vector<std::string> a;
    for (const Argument& arg : read_arguments(line, pos)) a.push_back(arg.text);
    const std::size_t given = a.size();
    a.resize(std::max<std::size_t>(given, 6));
    c.replacement = a[0];
    c.search = a[1];
    if (given < 3) return;
    c.type = by_word<ConversionType>(kTypeWords, a[2]).value_or(ConversionType::None);
    if (given < 4) return;
    switch (subtype_edit(c.type)) {
        case SubtypeEdit::Text:
        case SubtypeEdit::File:
            c.subtype = a[3];
            break;
        case SubtypeEdit::Choice:
            for (const SubtypeChoice& choice : subtype_choices(c.type))
                if (!choice.word.empty() && same(choice.word, a[3])) c.subtype = choice.word;
            break;
        case SubtypeEdit::Registry:
            for (const SubtypeChoice& choice : subtype_choices(c.type))
                if (same(choice.word, a[3]))
                    c.subtype = registry_subtype(*by_word<RegistryRoot>(kRootCodes, choice.word), a[4]);
            break;
        case SubtypeEdit::QueryIni:
            c.subtype = query_ini_subtype(a[3], a[4], a[5]);
            break;
        case SubtypeEdit::None:
            break;
    }
}

// Inserts `block` (lines without the last line break) into the section under `header`: at the
// start of its last empty line, else after its last line.
TextEdit into_section(const Lines& lines, std::size_t header, const std::string& block) {
    std::size_t last = lines.section_end(header);
    TextEdit e;
    for (std::size_t k = last; k > header; --k) {
        if (lines.is_empty(k)) {
            e.start = e.end = lines.spans[k].start;
            e.insert = block + "\r\n";
            e.caret = e.start + block.size();
            return e;
        }
    }
    if (last + 1 < lines.size()) {
        e.start = e.end = lines.spans[last + 1].start;
        e.insert = block + "\r\n";
        e.caret = e.start + block.size();
    } else {
        e.start = e.end = lines.text.size();
        e.insert = "\r\n" + block + "\r\n";
        e.caret = e.start + 2 + block.size();
    }
    return e;
}

Placement refuse(bool update_mode) {
    Placement p;
    p.edit.refused = true;
    p.edit.caption = kPlaceCaption;
    p.edit.message = update_mode ? kPlaceUpdateMessage : kPlaceMessage;
    return p;
}

// The line the caret's section is looked for from: the caret's, or the one above in update mode.
std::optional<std::size_t> start_line(const Lines& lines, std::size_t caret, bool update_mode) {
    std::size_t l = lines.line_of(caret);
    if (!update_mode) return l;
    if (l == 0) return std::nullopt;
    return l - 1;
}

}  // namespace

const char* action_word(ResultsAction a) {
    static const char* const words[] = {"Append", "Refresh", "Clear"};
    return words[static_cast<int>(a)];
}
const char* root_code(RegistryRoot root) { return kRootCodes[static_cast<int>(root)]; }

bool whole_word_applicable(const Conversion& c) { return c.mode != MatchMode::Full; }
bool continuation_applicable(const Conversion& c) { return c.whole_word && whole_word_applicable(c); }
bool exchange_applicable(const Conversion& c) { return c.mode != MatchMode::Partial; }
bool subtype_applicable(ConversionType t) {
    return t != ConversionType::ComputerName && t != ConversionType::ShellFolders && t != ConversionType::None;
}

SubtypeEdit subtype_edit(ConversionType t) {
    switch (t) {
        case ConversionType::AppPaths:
            return SubtypeEdit::Text;
        case ConversionType::QueryFile:
            return SubtypeEdit::File;
        case ConversionType::Registry:
            return SubtypeEdit::Registry;
        case ConversionType::QueryIni:
            return SubtypeEdit::QueryIni;
        default:
            return subtype_applicable(t) ? SubtypeEdit::Choice : SubtypeEdit::None;
    }
}

const std::vector<SubtypeChoice>& subtype_choices(ConversionType t) {
    static const std::vector<SubtypeChoice> none;
    static const std::vector<SubtypeChoice> shortcut = {{"Shortcut Name", "LinkName"}, {"Target File", "FilePath"},
                                                        {"Arguments", "Arguments"},    {"Start Path", "StartIn"},
                                                        {"Show Mode", "ShowMode"},     {"None", ""}};
    static const std::vector<SubtypeChoice> startup = [] {
        std::vector<SubtypeChoice> v = {{"Run", "Run"}, {"Run Services", "RunServices"}};
        v.insert(v.end(), shortcut.begin(), shortcut.end());
        return v;
    }();
    static const std::vector<SubtypeChoice> ip = {
        {"Address", "Address"}, {"Subnet Mask", "SubnetMask"}, {"DHCP Server", "DHCPServer"}, {"None", ""}};
    static const std::vector<SubtypeChoice> drives = {
        {"Drive Letter", "Letter"}, {"Path", "Path"}, {"User", "User"}, {"Provider", "Provider"}, {"None", ""}};
    static const std::vector<SubtypeChoice> printers = {{"Name", "Name"},
                                                        {"Description", "Description"},
                                                        {"Location", "Location"},
                                                        {"Share Name", "Share"},
                                                        {"Data Type", "DataType"},
                                                        {"Port", "Port"},
                                                        {"Print Processor", "Processor"},
                                                        {"Driver", "Driver"},
                                                        {"Default Printer", "Default"},
                                                        {"None", ""}};
    static const std::vector<SubtypeChoice> uninstall = {
        {"Display Name", "Display"}, {"Uninstall String", "UninstallString"}, {"None", ""}};
    static const std::vector<SubtypeChoice> roots = {{"Local Machine", "LM"},    {"Users", "US"},
                                                     {"Current User", "CU"},     {"Current Config", "CC"},
                                                     {"Performance Data", "PD"}, {"Dynamic Data", "DD"}};
    switch (t) {
        case ConversionType::Desktop:
        case ConversionType::Shortcuts:
        case ConversionType::StartMenu:
            return shortcut;
        case ConversionType::StartUp:
            return startup;
        case ConversionType::IpAddresses:
            return ip;
        case ConversionType::NetworkDrives:
            return drives;
        case ConversionType::Printers:
            return printers;
        case ConversionType::UninstallApps:
            return uninstall;
        case ConversionType::Registry:
            return roots;
        default:
            return none;
    }
}

std::string subtype_description(ConversionType t) {
    switch (t) {
        case ConversionType::AppPaths:
            return "Limit the conversion by specifying a search string for the application name";
        case ConversionType::Desktop:
        case ConversionType::Shortcuts:
        case ConversionType::StartMenu:
            return "Limit the conversion to a particular shortcut parameter.";
        case ConversionType::StartUp:
            return "Limit the conversion to the run key, run services, or startup shortcuts.";
        case ConversionType::IpAddresses:
            return "Limit the conversion to a specific value of IP addresses.";
        case ConversionType::NetworkDrives:
            return "Limit the conversion to a specific value of the network drive.";
        case ConversionType::Printers:
            return "Limit the conversion to a specific printer parameter.";
        case ConversionType::UninstallApps:
            return "Limit the conversion to a specific uninstall parameter of applications.";
        case ConversionType::Registry:
            return "Limit the conversion to a specific registry root key.";
        case ConversionType::QueryFile:
            return "Limit the conversion to a specific path and filename";
        default:
            return "";
    }
}

std::string registry_subtype(RegistryRoot root, const std::string& key_path) {
    return std::string(root_code(root)) + " " + brace_quoted(key_path);
}

std::string query_ini_subtype(const std::string& file, const std::string& section, const std::string& value) {
    std::string s = brace_quoted(file) + " " + brace_quoted(section);
    if (!value.empty()) s += " " + brace_quoted(value);
    return s;
}

std::string subtype_display(ConversionType t, const std::string& stored) {
    if (subtype_edit(t) == SubtypeEdit::Choice)
        for (const SubtypeChoice& c : subtype_choices(t))
            if (!c.word.empty() && c.word == stored) return c.label;
    return stored;
}

std::string options_block(const AuditOptions& o) {
    static const char* const sets[] = {"Defined", "Yes", "No"};
    std::string b = std::string(kAuditHeader) + "\r\n";
    b += "Results= " + o.results_file + "\r\n";
    b += std::string("Action= ") + action_word(o.action) + "\r\n";
    b += std::string("Convert= ") + (o.convert ? "Yes" : "No") + "\r\n";
    b += std::string("Hardware= ") + sets[static_cast<int>(o.hardware)] + "\r\n";
    b += std::string("Software= ") + sets[static_cast<int>(o.software)] + "\r\n";
    if (!o.run_from_agent) b += "RunFromDkAgent= No\r\n";
    return b;
}

std::vector<std::string> hardware_lines(const HardwareSet& h) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < h.size(); ++i)
        if (h[i]) out.push_back(kHardwareWords[i]);
    return out;
}

std::vector<std::string> software_lines(const SoftwareSet& s) {
    std::vector<std::string> out;
    for (const SoftwareWord& w : kSoftwareWords) {
        if (w.toggle && s.*(w.toggle)) out.push_back(w.word);
        if (w.scope && s.*(w.scope) != Scope::Off)
            out.push_back(std::string(w.word) + " = " + kScopeWords[static_cast<int>(s.*(w.scope))]);
    }
    return out;
}

std::string find_line(const FindFile& f) {
    return "Find = " + brace_quoted(f.path) + (f.versions ? " -Version" : "") + (f.recurse ? " -Recurse" : "");
}

std::string query_ini_line(const QueryIni& q) { return "QueryINI = " + query_ini_subtype(q.file, q.section, q.value); }

std::string query_process_line(const std::string& search) {
    return search.empty() ? "QueryProcess" : "QueryProcess = " + brace_quoted(search);
}

std::string query_registry_line(const QueryRegistry& q) {
    std::string s = "QueryRegKey = ";
    s += q.root == RegistryRoot::All ? "\"\" \"\"" : registry_subtype(q.root, q.key_path);
    if (!q.value_name.empty() || !q.search.empty()) s += " " + brace_quoted(q.value_name);
    if (!q.search.empty()) s += " " + brace_quoted(q.search);
    return s + (q.recurse ? " -Recurse" : "");
}

std::string query_shortcuts_line(const PathSearch& q) {
    return "QueryShortcuts = " + brace_quoted(q.path) + (q.recurse ? " -Recurse" : "");
}

std::string query_text_file_line(const PathSearch& q) {
    std::string s = "QueryFile = " + brace_quoted(q.path);
    return q.search.empty() ? s : s + " " + brace_quoted(q.search);
}

std::string message_line(const AuditMessage& m) {
    return "Message = " + brace_quoted(m.field) + " " + brace_quoted(m.data);
}

std::string conversion_line(const Conversion& c) {
    std::vector<std::string> parts;
    if (c.case_sensitive) parts.push_back("-C");
    if (c.mode == MatchMode::Full) parts.push_back("-U");
    if (c.mode == MatchMode::Partial) parts.push_back("-A");
    if (c.whole_word && whole_word_applicable(c))
        parts.push_back(c.continuation.empty() ? "-H" : "-H\"" + c.continuation + "\"");
    if (c.exchange && exchange_applicable(c)) parts.push_back("-G");
    parts.push_back(brace_quoted(c.replacement));
    parts.push_back(brace_quoted(c.search));
    if (c.type != ConversionType::None) parts.push_back(kTypeWords[static_cast<int>(c.type)]);
    if (subtype_applicable(c.type) && !c.subtype.empty()) {
        SubtypeEdit e = subtype_edit(c.type);
        parts.push_back(e == SubtypeEdit::Text || e == SubtypeEdit::File ? brace_quoted(c.subtype) : c.subtype);
    }
    return join(parts, " ");
}

std::optional<AuditKind> analyze_option_line(const std::string& text, std::size_t line, AuditFields& f) {
    Lines lines(text);
    if (line >= lines.size()) return std::nullopt;
    std::string t = ltrim(lines.at(line));
    if (begins(t, "message") || begins(t, "runfromdkagent")) {
        // The same header forms as placement accepts: leading blanks, nothing after the bracket.
        auto h = lines.header_above(line);
        if (!h || !lines.names(*h, kAuditHeader)) return std::nullopt;
        if (begins(t, "message")) return read_command(lines, line, f);
    } else {
        bool option = false;
        for (const char* key : {"[dkaudit", "results", "action", "convert", "hardware", "software"})
            option = option || begins(t, key);
        if (!option) return std::nullopt;
    }
    read_options(lines, line, f.options);
    return AuditKind::Options;
}

std::optional<AuditKind> analyze_command_line(const std::string& text, std::size_t line, AuditFields& f) {
    static const char* const words[] = {"DiskDrives",    "IPAddress",   "System",       "AppPaths",      "Desktop",
                                        "NetworkDrives", "Printers",    "ShellFolders", "StartMenu",     "Startup",
                                        "UninstallApps", "UserName",    "Version",      "Find",          "QueryINI",
                                        "QueryFile",     "QueryRegKey", "QueryProcess", "QueryShortcuts"};
    Lines lines(text);
    if (line >= lines.size()) return std::nullopt;
    std::string t = ltrim(lines.at(line));
    for (const char* w : words)
        if (begins(t, w)) return read_command(lines, line, f);
    auto h = lines.header_above(line);
    if ((h && lines.names(*h, kConvertHeader)) || conversion_flag(t, 0)) {
        read_conversion(t, f.conversion);
        return AuditKind::Conversion;
    }
    return std::nullopt;
}

Placement place_line(const std::string& text, std::size_t caret, bool update_mode, Section target,
                     const std::string& line) {
    Lines lines(text);
    const char* header = target == Section::Audit ? kAuditHeader : kConvertHeader;
    auto from = start_line(lines, caret, update_mode);
    auto own = from ? lines.header_above(*from) : std::nullopt;
    Placement p;
    if (own && lines.names(*own, header)) {
        p.at_caret = true;
    } else if (auto h = lines.find_header(header)) {
        p.edit = into_section(lines, *h, line);
    } else if (target == Section::Convert) {
        p.edit.start = p.edit.end = text.size();
        p.edit.insert = "\r\n\r\n" + std::string(kConvertHeader) + "\r\n" + line + "\r\n";
        p.edit.caret = text.size() + p.edit.insert.size() - 2;
    } else {
        return refuse(update_mode);
    }
    return p;
}

Placement place_set(const std::string& text, std::size_t caret, bool update_mode, AuditKind set,
                    const std::vector<std::string>& new_lines) {
    Placement p;
    p.edit.start = p.edit.end = p.edit.caret = caret;
    if (new_lines.empty()) return p;
    Lines lines(text);
    auto from = start_line(lines, caret, update_mode);
    auto h = section_for(lines, from, kAuditHeader);
    if (!h) return refuse(update_mode);
    std::string block = join(new_lines, "\r\n"), kept;
    std::optional<std::size_t> first, last;
    for (std::size_t i = *h + 1; i <= lines.section_end(*h); ++i) {
        std::string word = line_word(lines.at(i));
        bool ours = set == AuditKind::Hardware ? hardware_word(word) : software_word(word) != nullptr;
        if (ours) {
            if (!first) first = i;
            last = i;
        }
    }
    if (!first) {
        auto own = from ? lines.header_above(*from) : std::nullopt;
        if (own == h) {
            p.at_caret = true;
            return p;
        }
        p.edit = into_section(lines, *h, block);
        return p;
    }
    // One replacement from the first old line to the last, keeping the other lines between them.
    for (std::size_t i = *first + 1; i < *last; ++i) {
        std::string word = line_word(lines.at(i));
        bool ours = set == AuditKind::Hardware ? hardware_word(word) : software_word(word) != nullptr;
        if (!ours) kept += "\r\n" + lines.at(i);
    }
    p.edit.start = lines.spans[*first].start;
    p.edit.end = lines.spans[*last].end;
    p.edit.insert = block + kept;
    p.edit.caret = p.edit.start + block.size();
    return p;
}

TextEdit add_options_block(const std::string& text, const AuditOptions& o) {
    Lines lines(text);
    std::string block = options_block(o);
    TextEdit e;
    auto h = lines.find_header(kAuditHeader);
    if (!h) {
        e.start = e.end = text.size();
        e.insert = (text.empty() ? "" : "\r\n\r\n") + block + "\r\n\r\n" + kConvertHeader + "\r\n";
        e.caret = text.size() + e.insert.size();
        return e;
    }
    auto is_option = [&](std::size_t i) {
        std::string t = ltrim(lines.at(i));
        for (const char* key : {"Results", "Action", "Convert", "Hardware", "Software", "RunFromDkAgent"})
            if (begins(t, key)) return true;
        return false;
    };
    std::size_t last = *h;
    for (std::size_t i = *h + 1; i <= lines.section_end(*h); ++i)
        if (is_option(i)) last = i;
    // One replacement from the header to the last option line; the other lines between them stay.
    block.resize(block.size() - 2);
    e.start = lines.spans[*h].start;
    e.end = lines.spans[last].end;
    e.insert = block;
    for (std::size_t i = *h + 1; i < last; ++i)
        if (!is_option(i)) e.insert += "\r\n" + lines.at(i);
    e.caret = e.start + block.size();
    return e;
}

}  // namespace dkedit::audit
