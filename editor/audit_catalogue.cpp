// The DkAudit root of the command tree: the audit and conversion kinds' fields with their prompts,
// choices, defaults and couplings, their lines and placement (audit_text.h), and the reading of
// audit and conversion lines back into the fields.
#include "audit_catalogue.h"

#include "audit_text.h"
#include "statement.h"

namespace dkedit {

namespace {

using namespace audit;

Field field(EditCode edit, std::string label, std::string prompt, bool required = false) {
    Field f;
    f.edit = edit;
    f.label = std::move(label);
    f.prompt = std::move(prompt);
    f.required = required;
    return f;
}
Field choice(std::string label, std::string title, std::string description, const std::vector<std::string>& values,
             std::string initial) {
    Field f = field(EditCode::Choice, std::move(label), std::move(title));
    f.description = std::move(description);
    for (const std::string& v : values) f.choices.push_back({v, ""});
    f.initial = std::move(initial);
    return f;
}
Field toggle(std::string label, std::string first, std::string second) {
    Field f = field(EditCode::Toggle, std::move(label), "");
    f.choices = {{first, ""}, {second, ""}};
    f.initial = std::move(first);
    return f;
}

const std::vector<std::string> kActions = {"Append", "Refresh", "Clear"};
const std::vector<std::string> kSets = {"Defined", "All", "None"};
const std::vector<std::string> kScopes = {"All Users", "Current User", "Default User", "Off"};
const std::vector<std::string> kRoots = {"Local Machine",  "Users",
                                         "Current User",   "Classes Root",
                                         "Current Config", "Performance Data",
                                         "Dynamic Data",   "All (Search entire registry)"};
const std::vector<std::string> kTypes = {"Application Paths",
                                         "Computer Name",
                                         "Desktop",
                                         "IP Addresses",
                                         "Network Drives",
                                         "Printers",
                                         "Query INI",
                                         "Query File",
                                         "Registry",
                                         "Shell Folders",
                                         "Shortcuts",
                                         "Start Menu",
                                         "Start Up",
                                         "Uninstallable Programs",
                                         "None"};
const std::vector<std::string> kModes = {"Only where strings match", "Full match and replace",
                                         "Partial match and full replace"};
const char* const kHardwareLabels[] = {"Disk Drives", "IP Address", "System Information"};
const char* const kSubtypeTitle = "Conversion command subtype";

template <class E>
E index_in(const std::vector<std::string>& list, const std::string& v, E fallback) {
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i] == v) return static_cast<E>(i);
    return fallback;
}
template <class E>
const std::string& word_of(const std::vector<std::string>& list, E e) {
    return list[static_cast<std::size_t>(e)];
}

// Field values of one kind by label (the audit kinds share no slots).
struct Values {
    std::string id;
    const FieldStore& store;
    const std::string& operator[](const std::string& label) const { return store.get(id + "/" + label); }
    bool on(const std::string& label) const { return (*this)[label] == "On" || (*this)[label] == "Yes"; }
};
struct Writer {
    std::string id;
    FieldStore& store;
    void set(const std::string& label, std::string v) { store.set(id + "/" + label, std::move(v)); }
    void set_on(const std::string& label, bool on, const char* yes = "On", const char* no = "Off") {
        set(label, on ? yes : no);
    }
};

// Software fields in line order, each a toggle or a scope choice.
struct SoftwareField {
    const char* label;
    bool SoftwareSet::*toggle;
    Scope SoftwareSet::*scope;
};
const SoftwareField kSoftware[] = {
    {"Application Paths", &SoftwareSet::app_paths, nullptr},
    {"Printers", &SoftwareSet::printers, nullptr},
    {"Uninstallable Programs", &SoftwareSet::uninstall_apps, nullptr},
    {"User Name", &SoftwareSet::user_name, nullptr},
    {"Version Information", &SoftwareSet::version, nullptr},
    {"Desktop", nullptr, &SoftwareSet::desktop},
    {"Network Drives", nullptr, &SoftwareSet::network_drives},
    {"Shell Folders", nullptr, &SoftwareSet::shell_folders},
    {"Start Menu", nullptr, &SoftwareSet::start_menu},
    {"Startup", nullptr, &SoftwareSet::startup},
};

// The kinds' values as the line writers take them, and back.
AuditOptions options_of(const Values& v) {
    return {v["Results File"],
            index_in(kActions, v["Results File Action"], ResultsAction::Refresh),
            v.on("Perform Conversions"),
            index_in(kSets, v["Hardware Commands"], CommandSet::Defined),
            index_in(kSets, v["Software Commands"], CommandSet::Defined),
            v["Run From DkAgent"] != "No"};
}
HardwareSet hardware_of(const Values& v) {
    HardwareSet h{};
    for (std::size_t i = 0; i < h.size(); ++i) h[i] = v.on(kHardwareLabels[i]);
    return h;
}
SoftwareSet software_of(const Values& v) {
    SoftwareSet s;
    for (const SoftwareField& f : kSoftware) {
        if (f.toggle) s.*(f.toggle) = v.on(f.label);
        if (f.scope) s.*(f.scope) = index_in(kScopes, v[f.label], Scope::Off);
    }
    return s;
}
QueryRegistry registry_of(const Values& v) {
    return {index_in(kRoots, v["Root Key"], RegistryRoot::All), v["Key Path"], v["Value Name"], v["Search String"],
            v["Recurse Subkeys"] != "No"};
}
Conversion conversion_of(const Values& v) {
    Conversion c;
    c.search = v["Search Text"];
    c.replacement = v["New Text"];
    c.type = index_in(kTypes, v["Type"], ConversionType::None);
    c.subtype = v["Subtype"];
    c.case_sensitive = v.on("Case Sensitivity");
    c.mode = index_in(kModes, v["Match and Replace"], MatchMode::OnlyWhereMatch);
    c.whole_word = v.on("Whole Word Match");
    c.continuation = v["Continuation Chars"];
    c.exchange = v.on("Exchange Strings");
    return c;
}

// Writes what Analyze read into the fields of the kind it selected; the kind's id.
std::string store_fields(AuditKind kind, const AuditFields& f, FieldStore& store) {
    std::string id;
    auto values = [&](const char* kind_id) {
        id = kind_id;
        return Writer{id, store};
    };
    switch (kind) {
        case AuditKind::Options: {
            Writer v = values("audit.section");
            v.set("Results File", f.options.results_file);
            v.set("Results File Action", word_of(kActions, f.options.action));
            v.set_on("Perform Conversions", f.options.convert, "Yes", "No");
            v.set("Hardware Commands", word_of(kSets, f.options.hardware));
            v.set("Software Commands", word_of(kSets, f.options.software));
            v.set_on("Run From DkAgent", f.options.run_from_agent, "Yes", "No");
            break;
        }
        case AuditKind::Hardware:
        case AuditKind::Software: {
            Writer hw{"audit.hardware", store};
            for (std::size_t i = 0; i < f.hardware.size(); ++i) hw.set_on(kHardwareLabels[i], f.hardware[i]);
            Writer sw{"audit.software", store};
            for (const SoftwareField& s : kSoftware) {
                if (s.toggle) sw.set_on(s.label, f.software.*(s.toggle));
                if (s.scope) sw.set(s.label, word_of(kScopes, f.software.*(s.scope)));
            }
            id = kind == AuditKind::Hardware ? "audit.hardware" : "audit.software";
            break;
        }
        case AuditKind::FindFile: {
            Writer v = values("audit.find");
            v.set("Path and Filename", f.find.path);
            v.set_on("Retrieve File Versions", f.find.versions, "Yes", "No");
            v.set_on("Search Subdirectories", f.find.recurse, "Yes", "No");
            break;
        }
        case AuditKind::QueryIni: {
            Writer v = values("audit.query_ini");
            v.set("File Name", f.query_ini.file);
            v.set("Section Name", f.query_ini.section);
            v.set("Value Name", f.query_ini.value);
            break;
        }
        case AuditKind::QueryProcess:
            values("audit.query_process").set("Search String", f.query_process);
            break;
        case AuditKind::QueryRegistry: {
            Writer v = values("audit.query_registry");
            v.set("Root Key", word_of(kRoots, f.query_registry.root));
            v.set("Key Path", f.query_registry.key_path);
            v.set("Value Name", f.query_registry.value_name);
            v.set("Search String", f.query_registry.search);
            v.set_on("Recurse Subkeys", f.query_registry.recurse, "Yes", "No");
            break;
        }
        case AuditKind::QueryShortcuts: {
            Writer v = values("audit.query_shortcuts");
            v.set("Path", f.query_shortcuts.path);
            v.set_on("Search Subdirectories", f.query_shortcuts.recurse, "Yes", "No");
            break;
        }
        case AuditKind::QueryTextFile: {
            Writer v = values("audit.query_file");
            v.set("File Name", f.query_text_file.path);
            v.set("Search String", f.query_text_file.search);
            break;
        }
        case AuditKind::Message: {
            Writer v = values("audit.message");
            v.set("Message Field", f.message.field);
            v.set("Message Data", f.message.data);
            break;
        }
        case AuditKind::Conversion: {
            const Conversion& c = f.conversion;
            Writer v = values("audit.conversion");
            v.set("Search Text", c.search);
            v.set("New Text", c.replacement);
            v.set("Type", word_of(kTypes, c.type));
            v.set("Subtype", c.subtype);
            v.set_on("Case Sensitivity", c.case_sensitive);
            v.set("Match and Replace", word_of(kModes, c.mode));
            v.set_on("Whole Word Match", c.whole_word);
            v.set("Continuation Chars", c.continuation);
            v.set_on("Exchange Strings", c.exchange);
            break;
        }
        case AuditKind::Unmatched:
            break;
    }
    return id;
}

Kind kind(std::string id, std::string name, std::vector<Field> fields) {
    Kind k;
    k.id = std::move(id);
    k.name = std::move(name);
    k.fields = std::move(fields);
    return k;
}

// Add of a single line: into its section by audit_text's rules, or at the caret as a script line.
TextEdit add_line(Section section, const FieldStore& store, const Kind& k, const AddRequest& r) {
    const std::string line = k.compose(k, store);
    Placement p = place_line(r.text, r.sel_start, r.update_mode, section, line);
    if (!p.at_caret) return p.edit;
    AddRequest at = r;
    at.statement = line;
    return plan_add(at, false, false);
}

Kind line_kind(std::string id, std::string name, std::vector<Field> fields, Section section,
               std::function<std::string(const Values&)> text) {
    Kind k = kind(std::move(id), std::move(name), std::move(fields));
    k.compose = [text](const Kind& kd, const FieldStore& s) { return text(Values{kd.id, s}); };
    k.add = [section](const Kind& kd, const FieldStore& s, const AddRequest& r) { return add_line(section, s, kd, r); };
    return k;
}

Kind set_kind(std::string id, std::string name, std::vector<Field> fields, AuditKind set, const char* preview,
              std::function<std::vector<std::string>(const Values&)> lines) {
    Kind k = kind(std::move(id), std::move(name), std::move(fields));
    auto all = [lines](const Kind& kd, const FieldStore& s) { return lines(Values{kd.id, s}); };
    k.compose = [all](const Kind& kd, const FieldStore& s) {
        std::string out;
        for (const std::string& l : all(kd, s)) out += (out.empty() ? "" : "\r\n") + l;
        return out;
    };
    k.preview = [preview](const Kind&, const FieldStore&) { return std::string(preview); };
    k.update_in_place = true;
    k.add = [all, set](const Kind& kd, const FieldStore& s, const AddRequest& r) {
        const std::vector<std::string> new_lines = all(kd, s);
        Placement p = place_set(r.text, r.sel_start, r.update_mode, set, new_lines);
        if (!p.at_caret) return p.edit;
        AddRequest at = r;
        at.statement = kd.compose(kd, s);
        return plan_add(at, false, false);
    };
    return k;
}

Kind audit_section() {
    const char* sets =
        "For defined, only explicitly listed %s commands are executed.  All and none ignore listed commands.";
    auto set_description = [sets](const char* what) {
        std::string d = sets;
        return d.replace(d.find("%s"), 2, what);
    };
    Kind k =
        kind("audit.section", "Audit Section",
             {field(EditCode::File, "Results File", "Results file"),
              choice("Results File Action", "Results file action",
                     "The action determines how results will be written to the results file.", kActions, "Refresh"),
              toggle("Perform Conversions", "No", "Yes"),
              choice("Hardware Commands", "Hardware commands", set_description("hardware"), kSets, "Defined"),
              choice("Software Commands", "Software commands", set_description("software"), kSets, "Defined"),
              toggle("Run From DkAgent", "Yes", "No")});
    k.compose = [](const Kind& kd, const FieldStore& s) { return options_block(options_of(Values{kd.id, s})); };
    k.preview = [](const Kind&, const FieldStore&) { return std::string("[DkAudit] ..."); };
    k.update_in_place = true;
    k.add = [](const Kind& kd, const FieldStore& s, const AddRequest& r) {
        return add_options_block(r.text, options_of(Values{kd.id, s}));
    };
    return k;
}

Kind software_kind() {
    std::vector<Field> fields;
    for (const SoftwareField& f : kSoftware) {
        if (f.toggle)
            fields.push_back(toggle(f.label, "Off", "On"));
        else
            fields.push_back(choice(f.label, "Command scope",
                                    "This command's results may vary depending on which user or users are audited.",
                                    kScopes, "Off"));
    }
    return set_kind("audit.software", "Software Commands", fields, AuditKind::Software, "Software ...",
                    [](const Values& v) { return software_lines(software_of(v)); });
}

Kind query_registry_kind() {
    Field root = choice("Root Key", "Root key",
                        "Select the root registry key.  The key path specified for the command begins at the root key.",
                        kRoots, kRoots.back());
    // Searching the entire registry implies recursion; without recursion a root must be chosen.
    root.after_edit = [](const Kind& k, FieldStore& s, const std::string&) {
        if (s.value(k, "Root Key") == kRoots.back()) s.set_value(k, "Recurse Subkeys", "Yes");
    };
    Field recurse = toggle("Recurse Subkeys", "Yes", "No");
    recurse.after_edit = [](const Kind& k, FieldStore& s, const std::string&) {
        if (s.value(k, "Recurse Subkeys") == "No" && s.value(k, "Root Key") == kRoots.back())
            s.set_value(k, "Root Key", kRoots.front());
    };
    Field key = field(EditCode::Text, "Key Path", "Key path");
    key.not_applicable = [](const Kind& k, const FieldStore& s) { return s.value(k, "Root Key") == kRoots.back(); };
    return line_kind("audit.query_registry", "Query Registry",
                     {root, key, field(EditCode::Text, "Value Name", "Value name"),
                      field(EditCode::Text, "Search String", "Search string"), recurse},
                     Section::Audit, [](const Values& v) { return query_registry_line(registry_of(v)); });
}

// The subtype's editors for the chosen type: one dialog, or several in turn.
std::vector<Field> subtype_steps(const Kind& k, const FieldStore& s) {
    const ConversionType type = index_in(kTypes, s.value(k, "Type"), ConversionType::None);
    const std::string stored = s.value(k, "Subtype");
    std::vector<Argument> parts = read_arguments(stored);
    auto part = [&parts](std::size_t i) { return i < parts.size() ? parts[i].text : std::string(); };
    auto choose = [&](const std::vector<SubtypeChoice>& choices, const std::string& word) {
        Field f = field(EditCode::Choice, "Subtype", kSubtypeTitle);
        f.description = subtype_description(type);
        f.initial = "None";
        for (const SubtypeChoice& c : choices) {
            f.choices.push_back({c.label, ""});
            if (!word.empty() && c.word == word) f.initial = c.label;
        }
        return f;
    };
    switch (subtype_edit(type)) {
        case SubtypeEdit::Text:
        case SubtypeEdit::File: {
            Field f = field(subtype_edit(type) == SubtypeEdit::Text ? EditCode::Text : EditCode::File, "Subtype",
                            subtype_description(type));
            f.initial = stored;
            return {f};
        }
        case SubtypeEdit::Choice:
            return {choose(subtype_choices(type), stored)};
        case SubtypeEdit::Registry: {
            Field path = field(EditCode::Text, "Subtype", "Limit the conversion to a specific registry key path");
            path.initial = part(1);
            return {choose(subtype_choices(type), part(0)), path};
        }
        case SubtypeEdit::QueryIni: {
            std::vector<Field> steps = {
                field(EditCode::File, "Subtype", "Limit the conversion to a specific INI filename"),
                field(EditCode::Text, "Subtype", "Limit the conversion to a specific section in the INI file"),
                field(EditCode::Text, "Subtype",
                      "Optionally limit the conversion to a specific value (leave black to omit)")};
            for (std::size_t i = 0; i < steps.size(); ++i) steps[i].initial = part(i);
            return steps;
        }
        case SubtypeEdit::None:
            break;
    }
    return {};
}

std::string subtype_from_steps(const Kind& k, const FieldStore& s, const std::vector<std::string>& answers) {
    const ConversionType type = index_in(kTypes, s.value(k, "Type"), ConversionType::None);
    auto word = [&](const std::string& label) {
        for (const SubtypeChoice& c : subtype_choices(type))
            if (c.label == label) return c.word;
        return std::string();
    };
    switch (subtype_edit(type)) {
        case SubtypeEdit::Choice:
            return word(answers.at(0));
        case SubtypeEdit::Registry: {
            const std::string code = word(answers.at(0));
            if (code.empty()) return "";
            for (int r = 0; r <= static_cast<int>(RegistryRoot::DynamicData); ++r)
                if (code == root_code(static_cast<RegistryRoot>(r)))
                    return registry_subtype(static_cast<RegistryRoot>(r), answers.at(1));
            return "";
        }
        case SubtypeEdit::QueryIni:
            return query_ini_subtype(answers.at(0), answers.at(1), answers.at(2));
        default:
            return answers.at(0);
    }
}

Kind conversion_kind() {
    auto conv = [](const Kind& k, const FieldStore& s) { return conversion_of(Values{k.id, s}); };
    Field new_text = field(EditCode::Text, "New Text", "Text to replace with");
    new_text.label_when = [conv](const Kind& k, const FieldStore& s) {
        const Conversion c = conv(k, s);
        return std::string(c.exchange && exchange_applicable(c) ? "Search Text" : "New Text");
    };
    Field type = choice("Type", "Conversion command type",
                        "This makes the conversion only affect commands of the type chosen", kTypes, "None");
    type.display = [](const std::string& v) { return v == "None" ? std::string() : v; };
    type.after_edit = [](const Kind& k, FieldStore& s, const std::string& old) {
        if (s.value(k, "Type") != old) s.set_value(k, "Subtype", "");
    };
    Field subtype = field(EditCode::Choice, "Subtype", kSubtypeTitle);
    subtype.choice_icon = true;
    subtype.not_applicable = [conv](const Kind& k, const FieldStore& s) {
        return !subtype_applicable(conv(k, s).type);
    };
    subtype.display_when = [conv](const Kind& k, const FieldStore& s) {
        const Conversion c = conv(k, s);
        return subtype_display(c.type, c.subtype);
    };
    subtype.edit_steps = subtype_steps;
    subtype.combine_steps = subtype_from_steps;
    Field mode = choice("Match and Replace", "Match and replace mode",
                        "Choose the method with which the 'Search' and 'New' strings will be compared and the data "
                        "replaced.",
                        kModes, kModes.front());
    mode.choices.front().shown = "Only where string matches";
    Field whole = toggle("Whole Word Match", "Off", "On");
    whole.not_applicable = [conv](const Kind& k, const FieldStore& s) { return !whole_word_applicable(conv(k, s)); };
    Field chars = field(EditCode::Text, "Continuation Chars",
                        "Characters that will indicate the continuation of a word.  Normally any non-alphanumeric "
                        "character indicates a new word");
    chars.not_applicable = [conv](const Kind& k, const FieldStore& s) { return !continuation_applicable(conv(k, s)); };
    Field exchange = toggle("Exchange Strings", "Off", "On");
    exchange.not_applicable = [conv](const Kind& k, const FieldStore& s) { return !exchange_applicable(conv(k, s)); };
    return line_kind("audit.conversion", "Conversion Section",
                     {field(EditCode::Text, "Search Text", "Text to search for"), new_text, type, subtype,
                      toggle("Case Sensitivity", "Off", "On"), mode, whole, chars, exchange},
                     Section::Convert, [](const Values& v) { return conversion_line(conversion_of(v)); });
}

// Analyze of audit and conversion lines: the option lines and the [DkAudit] section's message
// and agent lines come before the script's [Update] keys; conversion lines after every script form.
std::optional<std::string> analyze_first(const std::string& text, std::size_t line, FieldStore& store) {
    AuditFields f;
    std::optional<AuditKind> kind = analyze_option_line(text, line, f);
    if (!kind) kind = analyze_command_line(text, line, f);
    if (!kind || *kind == AuditKind::Conversion) return std::nullopt;
    return store_fields(*kind, f, store);
}

std::optional<std::string> analyze_last(const std::string& text, std::size_t line, FieldStore& store) {
    AuditFields f;
    std::optional<AuditKind> kind = analyze_command_line(text, line, f);
    if (kind != AuditKind::Conversion) return std::nullopt;
    return store_fields(*kind, f, store);
}

}  // namespace

CatalogueRoot audit_catalogue() {
    CatalogueRoot root;
    auto tree = [&root](std::string label, int level, TreeRole role, TreeIcon icon, std::string id = "",
                        TreeIcon selected = TreeIcon::Arrow) {
        TreeItem item;
        item.label = std::move(label);
        item.level = level;
        item.role = role;
        item.icon = icon;
        item.selected_icon = role == TreeRole::Group ? icon : selected;
        item.kind_id = std::move(id);
        root.tree.push_back(item);
    };
    auto leaf = [&tree](std::string label, int level, std::string id) {
        tree(std::move(label), level, TreeRole::Kind, TreeIcon::Arrow, std::move(id));
    };
    tree("DkAudit", 0, TreeRole::Group, TreeIcon::Audit);
    tree("Audit Options", 1, TreeRole::Group, TreeIcon::Toolbox);
    leaf("Audit Section", 2, "audit.section");
    leaf("Comment", 2, "audit.comment");
    tree("Hardware Commands", 1, TreeRole::Kind, TreeIcon::Arrow, "audit.hardware", TreeIcon::Toolbox);
    tree("Software Commands", 1, TreeRole::Kind, TreeIcon::Arrow, "audit.software", TreeIcon::Toolbox);
    tree("Other Commands", 1, TreeRole::Group, TreeIcon::Toolbox);
    leaf("Find File", 2, "audit.find");
    leaf("Query INI File", 2, "audit.query_ini");
    leaf("Query Process", 2, "audit.query_process");
    leaf("Query Registry", 2, "audit.query_registry");
    leaf("Query Shortcuts", 2, "audit.query_shortcuts");
    leaf("Query Text File", 2, "audit.query_file");
    leaf("Audit Message", 2, "audit.message");
    leaf("Conversion Section", 1, "audit.conversion");

    std::vector<Field> hardware;
    for (const char* label : kHardwareLabels) hardware.push_back(toggle(label, "Off", "On"));
    const Section audit = Section::Audit;
    root.kinds = {
        audit_section(),
        line_kind("audit.comment", "Comment",
                  {field(EditCode::Text, "Comment", "Audit comment.  Comments are ignored when the audit is processed",
                         true)},
                  audit, [](const Values& v) { return ";" + v["Comment"]; }),
        set_kind("audit.hardware", "Hardware Commands", hardware, AuditKind::Hardware, "Hardware ...",
                 [](const Values& v) { return hardware_lines(hardware_of(v)); }),
        software_kind(),
        line_kind("audit.find", "Find File",
                  {field(EditCode::File, "Path and Filename", "File to search for (wildcards acceptable)", true),
                   toggle("Retrieve File Versions", "No", "Yes"), toggle("Search Subdirectories", "No", "Yes")},
                  audit,
                  [](const Values& v) {
                      return find_line(
                          {v["Path and Filename"], v.on("Retrieve File Versions"), v.on("Search Subdirectories")});
                  }),
        line_kind("audit.query_ini", "Query INI File",
                  {field(EditCode::File, "File Name", "INI file", true),
                   field(EditCode::Text, "Section Name", "INI section name", true),
                   field(EditCode::Text, "Value Name", "Value name")},
                  audit,
                  [](const Values& v) {
                      return query_ini_line({v["File Name"], v["Section Name"], v["Value Name"]});
                  }),
        line_kind("audit.query_process", "Query Process", {field(EditCode::Text, "Search String", "Search String")},
                  audit, [](const Values& v) { return query_process_line(v["Search String"]); }),
        query_registry_kind(),
        line_kind("audit.query_shortcuts", "Query Shortcuts",
                  {field(EditCode::Folder, "Path", "Path to search for shortcuts", true),
                   toggle("Search Subdirectories", "No", "Yes")},
                  audit,
                  [](const Values& v) {
                      return query_shortcuts_line({v["Path"], "", v.on("Search Subdirectories")});
                  }),
        line_kind("audit.query_file", "Query Text File",
                  {field(EditCode::File, "File Name", "File to query contents", true),
                   field(EditCode::Text, "Search String", "Search string")},
                  audit,
                  [](const Values& v) {
                      return query_text_file_line({v["File Name"], v["Search String"], false});
                  }),
        line_kind("audit.message", "Audit Message",
                  {field(EditCode::Text, "Message Field", "Message field", true),
                   field(EditCode::Text, "Message Data", "Message data")},
                  audit,
                  [](const Values& v) {
                      return message_line({v["Message Field"], v["Message Data"]});
                  }),
        conversion_kind(),
    };
    root.analyze_first = analyze_first;
    root.analyze = analyze_last;
    return root;
}

}  // namespace dkedit
