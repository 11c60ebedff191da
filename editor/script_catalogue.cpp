// The script kinds of the command builder as data: the tree under the Dravik root, every kind's
// fields with their prompts, choices and defaults, the rules that make a field not applicable or
// required, and each kind's statement text (quoted Q, brace-quoted B, raw R).
#include "script_catalogue.h"

#include <cstdlib>

#include "statement.h"

namespace dkedit {

namespace {

using Rule = std::function<bool(const Kind&, const FieldStore&)>;

Field text_field(EditCode edit, std::string label, std::string prompt, bool req = false, std::string slot = "") {
    Field f;
    f.label = std::move(label);
    f.edit = edit;
    f.prompt = std::move(prompt);
    f.required = req;
    f.slot = std::move(slot);
    return f;
}
Field T(std::string label, std::string prompt, bool req = false, std::string slot = "") {
    return text_field(EditCode::Text, std::move(label), std::move(prompt), req, std::move(slot));
}
Field F(std::string label, std::string prompt, bool req = false, std::string slot = "") {
    return text_field(EditCode::File, std::move(label), std::move(prompt), req, std::move(slot));
}
Field V(std::string label, std::string prompt, bool req = false, std::string slot = "") {
    return text_field(EditCode::Variable, std::move(label), std::move(prompt), req, std::move(slot));
}
Field TV(std::string label, std::string prompt, std::string slot) {
    return text_field(EditCode::TextOrVariable, std::move(label), std::move(prompt), false, std::move(slot));
}
Field C(std::string label, std::string title, std::string description, std::vector<Choice> choices,
        std::string slot = "") {
    Field f = text_field(EditCode::Choice, std::move(label), std::move(title), false, std::move(slot));
    f.description = std::move(description);
    f.choices = std::move(choices);
    f.initial = f.choices.front().value;
    return f;
}
Field B(std::string label, std::string first, std::string second, std::string slot = "") {
    Field f = text_field(EditCode::Toggle, std::move(label), "", false, std::move(slot));
    f.choices = {{first, ""}, {second, ""}};
    f.initial = first;
    return f;
}
Field with_initial(Field f, std::string initial) {
    f.initial = std::move(initial);
    return f;
}
Field not_applicable_when(Field f, Rule rule) {
    f.not_applicable = std::move(rule);
    return f;
}

// Value of a field of the kind being composed.
struct Values {
    const Kind& kind;
    const FieldStore& store;
    const std::string& operator[](const std::string& label) const { return store.value(kind, label); }
    bool is(const std::string& label, const std::string& value) const { return (*this)[label] == value; }
};

std::string join(std::initializer_list<std::string> parts) {
    std::string out;
    for (const std::string& p : parts) {
        if (p.empty()) continue;
        if (!out.empty()) out += ' ';
        out += p;
    }
    return out;
}

Kind kind(std::string id, std::string name, std::vector<Field> fields, std::function<std::string(const Values&)> text,
          Family family = Family::None) {
    Kind k;
    k.id = std::move(id);
    k.name = std::move(name);
    k.fields = std::move(fields);
    k.family = family;
    k.compose = [text](const Kind& kd, const FieldStore& s) { return text(Values{kd, s}); };
    return k;
}

std::string code_of(const std::vector<Choice>& choices, const std::vector<std::string>& codes, const std::string& v) {
    for (std::size_t i = 0; i < choices.size() && i < codes.size(); ++i) {
        if (choices[i].value == v) return codes[i];
    }
    return codes.front();
}

const std::vector<Choice> kRootKeys = {{"Local Machine", ""}, {"Users", ""},          {"Current User", ""},
                                       {"Classes Root", ""},  {"Current Config", ""}, {"Performance Data", ""},
                                       {"Dynamic Data", ""}};
const std::vector<std::string> kRootCodes = {"LM", "US", "CU", "CR", "CC", "PD", "DD"};
const std::vector<Choice> kValueTypes = {{"String", ""}, {"Dword", ""}, {"Binary", ""}};
const std::vector<std::string> kTypeCodes = {"SZ", "DW", "BN"};
const std::vector<Choice> kRunModes = {{"Normal", ""}, {"Maximize", ""}, {"Minimize", ""}};
const std::vector<std::string> kRunWords = {"Normal", "Max", "Min"};
const std::vector<Choice> kCompare = {{"Equal", ""},
                                      {"Not Equal", ""},
                                      {"Greater Than", ""},
                                      {"Less Than", ""},
                                      {"Greater Than Or Equal", ""},
                                      {"Less Than Or Equal", ""}};
const std::vector<std::string> kCompareSigns = {"=", "<>", ">", "<", ">=", "<="};
const char kCompareDescription[] =
    "This determines how the two values are compared.  Using relational operators (>,<,>=,<=) will treat both values "
    "as numbers.";
const char kRunModeDescription[] =
    "Normal restores a program to its previous state, while Max and Min enforce that display state.";

std::string condition(const Values& v) {
    return join({quoted(v["First Value"]), code_of(kCompare, kCompareSigns, v["Comparison Method"]),
                 quoted(v["Second Value"])});
}

std::vector<Field> condition_fields(const std::string& title, bool lower_shown) {
    std::vector<Choice> choices = kCompare;
    if (lower_shown) {
        const char* shown[] = {
            "Equal", "Not equal", "Greater than", "Less than", "Greater than or equal", "Less than or equal"};
        for (std::size_t i = 0; i < choices.size(); ++i) {
            if (choices[i].value != shown[i]) choices[i].shown = shown[i];
        }
    }
    return {TV("First Value", "First value to compare", slot::kFirst),
            C("Comparison Method", title, kCompareDescription, choices),
            TV("Second Value", "Second value to compare", slot::kSecond)};
}

void add_update_options(CatalogueRoot& root) {
    std::vector<Field> update = {T("Update Name", "Update name", true),
                                 T("Message", "User message"),
                                 T("Effective Date", "Effective date"),
                                 F("Log File", "Log file"),
                                 B("Pause on Completion", "Yes", "No"),
                                 B("Quietly", "Yes", "No"),
                                 B("Show Progress", "No", "Yes"),
                                 B("Wait for Date", "No", "Yes"),
                                 B("Reboot", "No", "Yes"),
                                 B("Run From DkAgent", "Yes", "No")};
    Kind section = kind("update_section", "Update Section", update, [](const Values& v) {
        std::string out = "[Update]\r\nUpdate= " + v["Update Name"] + "\r\n";
        if (!v["Message"].empty()) out += "Message= " + v["Message"] + "\r\n";
        if (!v["Effective Date"].empty()) out += "EffectiveDate= " + v["Effective Date"] + "\r\n";
        if (!v["Log File"].empty()) out += "Log= " + v["Log File"] + "\r\n";
        out += "PauseOnCompletion= " + v["Pause on Completion"] + "\r\n";
        out += "Quietly= " + v["Quietly"] + "\r\n";
        out += "ShowProgress= " + v["Show Progress"] + "\r\n";
        out += "WaitForDate= " + v["Wait for Date"] + "\r\n";
        out += "Reboot= " + v["Reboot"] + "\r\n";
        if (v.is("Run From DkAgent", "No")) out += "RunFromDkAgent= No\r\n";
        return out;
    });
    section.preview = [](const Kind&, const FieldStore&) { return std::string("[Update] ..."); };
    section.add = [](const Kind& k, const FieldStore& s, const AddRequest& r) {
        return plan_update_section(r.text, k.compose(k, s));
    };
    root.kinds.push_back(section);
    root.kinds.push_back(kind("add_section", "Add Section", {T("Section Name", "Section header name", true)},
                              [](const Values& v) { return "[" + v["Section Name"] + "]"; }));
    root.kinds.push_back(
        kind("script.comment", "Comment",
             {T("Comment", "Update comment.  Comments are ignored when the update is processed", true)},
             [](const Values& v) { return ";" + v["Comment"]; }));
    root.kinds.push_back(kind("batch", "Batch Command", {F("Batch Command", "Batch command")},
                              [](const Values& v) { return v["Batch Command"]; }));
}

std::string store_variable(const Values& v, const std::string& label) {
    return v[label].empty() ? "" : "-v " + quoted(v[label]);
}

// Insert, replace and delete: the letter for the scope, upper case for all instances.
std::string scope_letter(const Values& v, const std::string& line_word) {
    const bool line = v.is("Scope of Operations", line_word);
    const bool all = v.is("All Instances", "Yes");
    return line ? (all ? "L" : "l") : (all ? "S" : "s");
}

void add_file_kinds(CatalogueRoot& root) {
    Kind head = kind(
        "file", "File",
        {F("File Name", "File to edit", false, slot::kFileName), B("Case Sensitivity", "Off", "On", slot::kFileCase)},
        [](const Values&) { return std::string(); }, Family::File);
    head.head = true;
    head.compose = [](const Kind& k, const FieldStore& s) { return family_head(Family::File, k, s); };
    root.kinds.push_back(head);
    const Rule at_search = [](const Kind& k, const FieldStore& s) {
        return s.value(k, "Insert Location") == "At Search String";
    };
    const Rule not_at_search = [at_search](const Kind& k, const FieldStore& s) { return !at_search(k, s); };
    std::vector<Kind> subs;
    subs.push_back(kind(
        "file.find", "Find File",
        {V("Result Variable", "Result variable from test of file existence (True or False)", true)},
        [](const Values& v) { return "-v " + quoted(v["Result Variable"]); }, Family::File));
    Field search = not_applicable_when(T("Search Text", "Search text to insert next to"), not_at_search);
    search.required_when = at_search;
    subs.push_back(kind(
        "file.insert", "Insert",
        {with_initial(C("Insert Location", "Insert location",
                        "This is at the beginning or end of the file, or relative to a string.",
                        {{"Beginning", ""}, {"End", ""}, {"At Search String", ""}}),
                      "End"),
         T("Insert Text", "Text to insert", true), search,
         not_applicable_when(B("Scope of Operations", "Line", "String"), not_at_search),
         not_applicable_when(B("All Instances", "No", "Yes"), not_at_search),
         not_applicable_when(B("Insert Mode", "Insert Before Search String", "Insert After Search String"),
                             not_at_search),
         V("Store Result to Variable", "Result variable from insert")},
        [](const Values& v) {
            if (v.is("Insert Location", "Beginning"))
                return join({"-ib", brace_quoted(v["Insert Text"]), store_variable(v, "Store Result to Variable")});
            if (v.is("Insert Location", "End"))
                return join({"-ie", brace_quoted(v["Insert Text"]), store_variable(v, "Store Result to Variable")});
            return join({"-i" + scope_letter(v, "Line"), brace_quoted(v["Insert Text"]), brace_quoted(v["Search Text"]),
                         store_variable(v, "Store Result to Variable")});
        },
        Family::File));
    subs.push_back(kind(
        "file.replace", "Replace",
        {T("New Text", "Text to insert", true), T("Search Text", "Search text to replace", true),
         B("All Instances", "No", "Yes"), B("Scope of Operations", "String", "Line"),
         V("Store Result to Variable", "Result variable from replace")},
        [](const Values& v) {
            return join({"-r" + scope_letter(v, "Line"), brace_quoted(v["New Text"]), brace_quoted(v["Search Text"]),
                         store_variable(v, "Store Result to Variable")});
        },
        Family::File));
    subs.push_back(kind(
        "file.delete", "Delete",
        {T("Search Text", "Search text to delete"), B("All Instances", "No", "Yes"),
         B("Scope of Operations", "Line", "String"), V("Store Result to Variable", "Result variable from delete")},
        [](const Values& v) {
            return join({"-d" + scope_letter(v, "Line"), brace_quoted(v["Search Text"]),
                         store_variable(v, "Store Result to Variable")});
        },
        Family::File));
    subs.push_back(kind(
        "file.search", "Search",
        {T("Search String", "Text to search the file for", true), B("Search Entire File", "Yes", "No"),
         V("Store Result to Variable", "Result variable from search")},
        [](const Values& v) {
            return join({v.is("Search Entire File", "Yes") ? "-f" : "-fs", brace_quoted(v["Search String"]),
                         store_variable(v, "Store Result to Variable")});
        },
        Family::File));
    Field line_search = T("Search String", "Text to search the file for", true);
    line_search.label_when = [](const Kind& k, const FieldStore& s) {
        return std::string(s.value(k, "Search Line Number") == "Yes" ? "Line Number" : "Search String");
    };
    subs.push_back(kind(
        "file.getline", "Get Line",
        {line_search, V("Store Line in Variable", "Variable to store the line containing the search text in", true),
         B("Search Line Number", "No", "Yes")},
        [](const Values& v) {
            return join({v.is("Search Line Number", "Yes") ? "-gl" : "-g", brace_quoted(v["Search String"]), "-v",
                         quoted(v["Store Line in Variable"])});
        },
        Family::File));
    for (Kind& k : subs) {
        k.complete_when = [](const Kind&, const FieldStore& s) { return !s.get(slot::kFileName).empty(); };
        root.kinds.push_back(k);
    }
}

void add_program_kinds(CatalogueRoot& root) {
    root.kinds.push_back(
        kind("program", "Program Execute",
             {F("File Name", "File name", true), F("Arguments", "Program arguments"), B("Wait to Finish", "Yes", "No"),
              C("Run Mode", "Run mode", kRunModeDescription, kRunModes)},
             [](const Values& v) {
                 std::string out = "-program " + brace_quoted(v["File Name"]) + " " + brace_quoted(v["Arguments"]);
                 if (v["File Name"].empty()) return out;
                 return out + (v.is("Wait to Finish", "Yes") ? " Wait " : " NoWait ") +
                        code_of(kRunModes, kRunWords, v["Run Mode"]);
             }));
    Field timeout = T("Timeout Value", "Seconds to wait.  Leave blank for no limit");
    timeout.edit = EditCode::Number;
    timeout.choice_icon = true;
    // Stored empty for no limit (also the default), otherwise the decimal number.
    timeout.accept = [](const std::string& typed, const std::string&) -> std::optional<std::string> {
        if (typed.empty()) return std::string();
        return std::to_string(std::atoi(typed.c_str()));
    };
    timeout.display = [](const std::string& v) -> std::string {
        if (v.empty()) return "";
        return v + (v == "1" ? " Second" : " Seconds");
    };
    Field name = F("Program Name", "Program to wait for");
    root.kinds.push_back(kind("wait", "Program Wait",
                              {name, timeout,
                               V("Store Result to Variable",
                                 "Result variable indicating (True or False) whether the program was waited for")},
                              [](const Values& v) {
                                  return join({"-wait",
                                               v["Program Name"].empty() ? "" : brace_quoted(v["Program Name"]),
                                               v["Timeout Value"], store_variable(v, "Store Result to Variable")});
                              }));
}

void add_registry_kinds(CatalogueRoot& root) {
    const Rule no_path = [](const Kind&, const FieldStore& s) { return s.get(slot::kRegPath).empty(); };
    Kind head = kind(
        "registry", "Registry",
        {C("Root Key", "Root key",
           "Select the root registry key.  The key path specified for the command begins at the root key.", kRootKeys,
           slot::kRegRoot),
         T("Key Path", "Registry key path", false, slot::kRegPath),
         not_applicable_when(
             with_initial(C("Action", "Registry action", "Select an action to perform on the registry key.",
                            {{"Create Key", ""}, {"Delete Key", ""}, {"None", ""}}, slot::kRegAction),
                          "None"),
             no_path)},
        [](const Values&) { return std::string(); }, Family::Registry);
    head.head = true;
    head.compose = [](const Kind& k, const FieldStore& s) { return family_head(Family::Registry, k, s); };
    root.kinds.push_back(head);
    std::vector<Kind> subs;
    subs.push_back(kind(
        "reg.set", "Set Value",
        {T("Value Name", "Value name"),
         C("Value Type", "Value type", "Value type controls the data type of the value created in the registry.",
           kValueTypes),
         T("Value Data", "Value data")},
        [](const Values& v) {
            return join({"-s", brace_quoted(v["Value Name"]), code_of(kValueTypes, kTypeCodes, v["Value Type"]),
                         brace_quoted(v["Value Data"])});
        },
        Family::Registry));
    subs.push_back(kind(
        "reg.delete", "Delete Value", {T("Value Name", "Value name")},
        [](const Values& v) { return "-d " + brace_quoted(v["Value Name"]); }, Family::Registry));
    subs.push_back(kind(
        "reg.get", "Get Value",
        {T("Value Name", "Value name"),
         V("Variable Name", "Variable that will be set to the registry key value", true)},
        [](const Values& v) {
            return join({"-v", brace_quoted(v["Value Name"]), quoted(v["Variable Name"])});
        },
        Family::Registry));
    for (Kind& k : subs) {
        k.complete_when = [](const Kind&, const FieldStore& s) { return !s.get(slot::kRegPath).empty(); };
        root.kinds.push_back(k);
    }
}

void add_component_and_shortcut(CatalogueRoot& root) {
    const Rule registering = [](const Kind& k, const FieldStore& s) {
        return s.value(k, "Registration") == "Register";
    };
    const Rule unregistering = [registering](const Kind& k, const FieldStore& s) { return !registering(k, s); };
    root.kinds.push_back(kind(
        "activex", "Setup ActiveX",
        {F("File Name", "File name", true), B("Registration", "Register", "Unregister"),
         not_applicable_when(F("Copy From", "Copy file from"), unregistering),
         not_applicable_when(B("Copy Mode", "Only copy if newer", "Always copy file"),
                             [](const Kind& k, const FieldStore& s) {
                                 return s.value(k, "Registration") != "Register" || s.value(k, "Copy From").empty();
                             }),
         not_applicable_when(B("Delete File", "No", "Yes"), registering)},
        [](const Values& v) {
            std::string out = "-xdll " + brace_quoted(v["File Name"]);
            if (v.is("Registration", "Register")) {
                const bool always = v.is("Copy Mode", "Always copy file") && !v["Copy From"].empty();
                return join({out, always ? "-rc" : "-r", v["Copy From"].empty() ? "" : brace_quoted(v["Copy From"])});
            }
            return out + (v.is("Delete File", "Yes") ? " -ud" : " -u");
        }));
    Field link = F("Shortcut File Name", "Shortcut file name", true);
    link.accept = [](const std::string& typed, const std::string&) -> std::optional<std::string> {
        if (typed.empty()) return typed;
        std::string tail = typed.size() >= 4 ? typed.substr(typed.size() - 4) : "";
        for (char& c : tail) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return tail == ".LNK" ? typed : typed + ".LNK";
    };
    Field folder = F("Working Directory", "Working directory");
    folder.edit = EditCode::Folder;
    root.kinds.push_back(kind("shortcut", "Shortcut",
                              {link, F("Program", "Target program", true), F("Arguments", "Program arguments"), folder,
                               C("Run Mode", "Run mode", kRunModeDescription, kRunModes)},
                              [](const Values& v) {
                                  return join({"-shortcut", brace_quoted(v["Shortcut File Name"]),
                                               brace_quoted(v["Program"]), brace_quoted(v["Arguments"]),
                                               brace_quoted(v["Working Directory"]),
                                               code_of(kRunModes, kRunWords, v["Run Mode"])});
                              }));
}

void add_rido_kinds(CatalogueRoot& root) {
    Field after = T("After Date", "Only zip files newer or equal to the MMDDYY date");
    after.opens_empty = true;
    after.accept = [](const std::string& typed, const std::string&) -> std::optional<std::string> {
        if (typed.empty() || typed.size() > 8 || !std::isdigit(static_cast<unsigned char>(typed[0])))
            return std::nullopt;
        return typed;
    };
    root.kinds.push_back(kind(
        "zip", "Zip",
        {T("Rido File", "Zip file", true, slot::kRidoFile), T("File Spec", "Zip file mask", true, slot::kRidoSpec),
         C("Store Path Info", "Store path information",
           "Determines if and how much path information is stored for files being zipped.",
           {{"No Path Info", ""}, {"Relative Path Info", ""}, {"Full Path Info", ""}}),
         C("Encryption", "Encryption level", "Determines what types of encryption will be used on the rido file.",
           {{"No Encryption", "None"},
            {"Zip Encryption", "PK Zip"},
            {"Dravik and Zip Encryption", "Dravik and PK Zip"}}),
         B("Recursive", "No", "Yes"), after, B("Update Newer Only", "No", "Yes")},
        [](const Values& v) {
            const std::string path = v.is("Store Path Info", "Relative Path Info") ? "-p"
                                     : v.is("Store Path Info", "Full Path Info")   ? "-P"
                                                                                   : "";
            const std::string crypt = v.is("Encryption", "Zip Encryption")              ? "-e"
                                      : v.is("Encryption", "Dravik and Zip Encryption") ? "-E"
                                                                                        : "";
            return join({"-rido", brace_quoted(v["Rido File"]), "-c", brace_quoted(v["File Spec"]), path, crypt,
                         v.is("Recursive", "Yes") ? "-r" : "", v["After Date"].empty() ? "" : "-a " + v["After Date"],
                         v.is("Update Newer Only", "Yes") ? "-n" : ""});
        }));
    root.kinds.push_back(
        kind("unzip", "Unzip",
             {T("Rido File", "Zip file", true, slot::kRidoFile), T("Target Path", "Target path", true),
              T("File Specification", "File mask", false, slot::kRidoSpec), B("Use Path Info", "No", "Yes"),
              C("Decryption", "Decryption level", "Determines what types of decryption will be used on the rido file.",
                {{"No Decryption", "None"},
                 {"Zip Decryption", "PK Zip"},
                 {"Dravik and Zip Decryption", "Dravik and PK Zip"}}),
              B("Recursive", "No", "Yes"), B("Overwrite", "No", "Yes")},
             [](const Values& v) {
                 const std::string crypt = v.is("Decryption", "Zip Decryption")              ? "-d"
                                           : v.is("Decryption", "Dravik and Zip Decryption") ? "-D"
                                                                                             : "";
                 return join({"-rido", brace_quoted(v["Rido File"]), "-u", brace_quoted(v["Target Path"]),
                              v["File Specification"].empty() ? "" : "-f " + brace_quoted(v["File Specification"]),
                              v.is("Use Path Info", "Yes") ? "-p" : "", crypt, v.is("Recursive", "Yes") ? "-r" : "",
                              v.is("Overwrite", "Yes") ? "-o" : ""});
             }));
    root.kinds.push_back(kind(
        "list", "List",
        {T("Rido File", "Zip file", true, slot::kRidoFile),
         T("List File", "File that will contain archive file list", true), B("Use Dravik Decryption", "No", "Yes")},
        [](const Values& v) {
            return join({"-rido", brace_quoted(v["Rido File"]), "-l", brace_quoted(v["List File"]),
                         v.is("Use Dravik Decryption", "Yes") ? "-D" : ""});
        }));
    root.kinds.push_back(
        kind("encrypt", "Encrypt Script",
             {T("Clear File", "Clear script file", true),
              T("Output Script File", "Target encrypted script file", true, slot::kRidoFile)},
             [](const Values& v) {
                 return join({"-rido", brace_quoted(v["Clear File"]), "-x", brace_quoted(v["Output Script File"])});
             }));
}

void add_control_kinds(CatalogueRoot& root) {
    root.kinds.push_back(kind("if", "If", condition_fields("Comparison method", false),
                              [](const Values& v) { return "@IF " + condition(v); }));
    std::vector<Field> else_fields = {B("Test Condition", "No", "Yes")};
    for (Field f : condition_fields("Comparison Method", false)) {
        else_fields.push_back(not_applicable_when(
            f, [](const Kind& k, const FieldStore& s) { return s.value(k, "Test Condition") != "Yes"; }));
    }
    root.kinds.push_back(kind("else", "Else", else_fields, [](const Values& v) {
        return v.is("Test Condition", "Yes") ? "@ELSEIF " + condition(v) : std::string("@ELSE");
    }));
    root.kinds.push_back(kind("endif", "End If", {}, [](const Values&) { return std::string("@ENDIF"); }));
    root.kinds.push_back(kind(
        "goto", "Goto",
        {T("Go To Section",
           "Moves execution to the start of a section and then resumes following the Goto statement when the section "
           "is finished",
           true)},
        [](const Values& v) { return "@GOTO " + brace_quoted(v["Go To Section"]); }));
    root.kinds.push_back(kind("return", "Return", {}, [](const Values&) { return std::string("@RETURN"); }));
    root.kinds.push_back(kind("end", "End Update", {}, [](const Values&) { return std::string("@END"); }));
    const std::vector<Choice> operands = {
        {"Set Equal To", ""}, {"Plus", ""}, {"Minus", ""}, {"Multiply By", ""}, {"Divide By", ""}};
    root.kinds.push_back(
        kind("set", "Set Variable",
             {V("Variable Name", "Variable name to set", true, slot::kVarName),
              C("Operand", "Set Operand",
                "Either sets the variable equal to the value, or performs a numerical operation on the variable of the "
                "given amount.",
                operands),
              T("Value", "Value to set variable to", false, slot::kVarValue)},
             [operands](const Values& v) {
                 const std::string sign = code_of(operands, {"", "+", "-", "*", "/"}, v["Operand"]);
                 return join({"@SET", quoted(v["Variable Name"]), sign, quoted(v["Value"])});
             }));
    root.kinds.push_back(kind(
        "mid", "Mid Variable",
        {V("Variable Name", "Variable name", true, slot::kVarName),
         V("Result Variable", "Result variable", true, slot::kVarValue),
         T("Start Position", "Start position", true, slot::kFirst), T("Mid Length", "Mid length", true, slot::kSecond)},
        [](const Values& v) {
            return join({"@MID", quoted(v["Variable Name"]), quoted(v["Result Variable"]), v["Start Position"],
                         v["Mid Length"]});
        }));
    root.kinds.push_back(kind("do", "Do Loop", {}, [](const Values&) { return std::string("@DO"); }));
    root.kinds.push_back(kind("while", "Loop While Condition", condition_fields("Comparison method", true),
                              [](const Values& v) { return "@WHILE " + condition(v); }));
}

const std::vector<Choice> kMessageTypes = {{"Standard Message Box", ""},
                                           {"Yes|No Message Box", ""},
                                           {"Edit Box", ""},
                                           {"Password Box", ""},
                                           {"Check Box", ""},
                                           {"Static Label", ""},
                                           {"List Box", ""},
                                           {"Option Buttons", "Options"},
                                           {"File Selection", ""},
                                           {"Directory Selection", ""},
                                           {"Enable Stop", "Stop"}};
const std::vector<std::string> kMessageWords = {"$",     "$?",    "$edit", "$pwd", "$cbox", "$text",
                                                "$list", "$opts", "$file", "$dir", "$stop"};

void add_user_interface(CatalogueRoot& root) {
    const auto type_is = [](const Kind& k, const FieldStore& s, std::initializer_list<const char*> types) {
        for (const char* t : types) {
            if (s.value(k, "Message Type") == t) return true;
        }
        return false;
    };
    Field message = T("Message", "Message to display to user");
    message.required_when = [type_is](const Kind& k, const FieldStore& s) {
        return !type_is(k, s, {"File Selection", "Directory Selection", "Enable Stop"});
    };
    message.label_when = [type_is](const Kind& k, const FieldStore& s) {
        const bool prompt = !s.value(k, "Response Variable").empty() || type_is(k, s, {"Yes|No Message Box"});
        return std::string(prompt ? "Prompt" : "Message");
    };
    Field response = V("Response Variable",
                       "Response variable to store user input.  This adds a control to the display for user input");
    response.not_applicable = [type_is](const Kind& k, const FieldStore& s) {
        return type_is(k, s, {"Standard Message Box", "Yes|No Message Box", "Static Label", "Enable Stop"});
    };
    response.required_when = [type_is](const Kind& k, const FieldStore& s) {
        return !type_is(k, s, {"Standard Message Box", "Yes|No Message Box", "Static Label", "Enable Stop"});
    };
    Kind ui = kind("ui", "User Interface",
                   {message,
                    C("Message Type", "User interface control type",
                      "This determines the look, behavior and data content of the message.", kMessageTypes),
                    response},
                   [](const Values& v) {
                       const std::string word = code_of(kMessageTypes, kMessageWords, v["Message Type"]);
                       if (word == "$stop") return word;
                       if (word == "$" || word == "$?" || word == "$text") return word + " " + quoted(v["Message"]);
                       std::string out = word + " " + quoted(v["Response Variable"]) + " " + quoted(v["Message"]);
                       if (word == "$list" || word == "$opts") {
                           // An empty default before the items, as the agent reads a default there.
                           out += " \"\"";
                           for (const std::string& item : v.store.items) out += " " + quoted(item);
                       }
                       return out;
                   });
    ui.user_interface = true;
    root.kinds.push_back(ui);
}

TreeItem item(std::string label, int level, TreeRole role, std::string id = "") {
    TreeItem t;
    t.label = std::move(label);
    t.level = level;
    t.role = role;
    t.icon = t.selected_icon = role == TreeRole::Kind ? TreeIcon::Arrow : TreeIcon::Toolbox;
    t.kind_id = std::move(id);
    return t;
}

}  // namespace

std::string family_head(Family family, const Kind& current, const FieldStore& s) {
    if (family == Family::File) {
        const bool after = current.id == "file.insert" && s.value(current, "Insert Location") == "At Search String" &&
                           s.value(current, "Insert Mode") == "Insert After Search String";
        return join({"-file", brace_quoted(s.get(slot::kFileName)), s.get(slot::kFileCase) == "On" ? "-c" : "",
                     after ? "-a" : ""});
    }
    const std::string& path = s.get(slot::kRegPath);
    const std::string& action = s.get(slot::kRegAction);
    return join({"-reg", code_of(kRootKeys, kRootCodes, s.get(slot::kRegRoot)), brace_quoted(path),
                 path.empty()             ? ""
                 : action == "Create Key" ? "-m"
                 : action == "Delete Key" ? "-k"
                                          : ""});
}

CatalogueRoot script_catalogue() {
    CatalogueRoot root;
    add_update_options(root);
    add_file_kinds(root);
    add_program_kinds(root);
    add_registry_kinds(root);
    add_component_and_shortcut(root);
    add_rido_kinds(root);
    add_control_kinds(root);
    add_user_interface(root);

    TreeItem logo = item("Dravik", 0, TreeRole::Group);
    logo.icon = logo.selected_icon = TreeIcon::Logo;
    root.tree = {logo,
                 item("Update Options", 1, TreeRole::Group),
                 item("Update Section", 2, TreeRole::Kind, "update_section"),
                 item("Add Section", 2, TreeRole::Kind, "add_section"),
                 item("Comment", 2, TreeRole::Kind, "script.comment"),
                 item("Batch Command", 1, TreeRole::Kind, "batch"),
                 item("File", 1, TreeRole::HeadKind, "file")};
    for (const char* id : {"file.find", "file.insert", "file.replace", "file.delete", "file.search", "file.getline"}) {
        const Kind* k = nullptr;
        for (const Kind& x : root.kinds) {
            if (x.id == id) k = &x;
        }
        root.tree.push_back(item(k->name, 2, TreeRole::Kind, id));
    }
    root.tree.push_back(item("Program Execute", 1, TreeRole::Kind, "program"));
    root.tree.push_back(item("Program Wait", 1, TreeRole::Kind, "wait"));
    root.tree.push_back(item("Registry", 1, TreeRole::HeadKind, "registry"));
    root.tree.push_back(item("Set Value", 2, TreeRole::Kind, "reg.set"));
    root.tree.push_back(item("Delete Value", 2, TreeRole::Kind, "reg.delete"));
    root.tree.push_back(item("Get Value", 2, TreeRole::Kind, "reg.get"));
    root.tree.push_back(item("Setup ActiveX", 1, TreeRole::Kind, "activex"));
    root.tree.push_back(item("Shortcut", 1, TreeRole::Kind, "shortcut"));
    root.tree.push_back(item("Rido", 1, TreeRole::Group));
    for (const char* id : {"zip", "unzip", "list", "encrypt"}) {
        for (const Kind& x : root.kinds) {
            if (x.id == id) root.tree.push_back(item(x.name, 2, TreeRole::Kind, id));
        }
    }
    root.tree.push_back(item("Update Control", 1, TreeRole::Group));
    for (const char* id : {"if", "else", "endif", "goto", "return", "end", "set", "mid", "do", "while"}) {
        for (const Kind& x : root.kinds) {
            if (x.id == id) root.tree.push_back(item(x.name, 2, TreeRole::Kind, id));
        }
    }
    root.tree.push_back(item("User Interface", 1, TreeRole::Kind, "ui"));
    return root;
}

}  // namespace dkedit
