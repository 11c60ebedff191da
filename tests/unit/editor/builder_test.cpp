// The command builder: each kind's statement text from its fields, Analyze of that text back to
// the same kind and text, the field rules, and Add's placement, insertion and indentation.
#include <gtest/gtest.h>

#include <map>

#include "catalogue.h"
#include "statement.h"

namespace dkedit {
namespace {

struct Case {
    const char* kind;
    std::map<std::string, std::string> values;
    std::vector<std::string> items;
    const char* text;
};

const std::vector<Case>& cases() {
    static const std::vector<Case> table = {
        // Quote rule: blank, double quote, single quote, both, braces (B quotes them, Q does not).
        {"file.insert",
         {{"File Name", "C:\\My File.txt"}, {"Insert Location", "Beginning"}, {"Insert Text", "say \"hi\""}},
         {},
         "-file \"C:\\My File.txt\" -ib 'say \"hi\"'"},
        {"file.replace",
         {{"File Name", "{d}{f}"},
          {"New Text", "it's"},
          {"Search Text", "a'b\"c"},
          {"All Instances", "Yes"},
          {"Scope of Operations", "Line"},
          {"Store Result to Variable", "{r}"}},
         {},
         "-file \"{d}{f}\" -rL \"it's\" a'b\"c -v {r}"},
        {"file.insert",
         {{"File Name", "a.txt"},
          {"Case Sensitivity", "On"},
          {"Insert Location", "At Search String"},
          {"Insert Text", "x"},
          {"Search Text", ""},
          {"Scope of Operations", "String"},
          {"Insert Mode", "Insert After Search String"}},
         {},
         "-file a.txt -c -a -is x \"\""},
        {"file.delete", {{"File Name", "a.txt"}, {"Search Text", "old"}}, {}, "-file a.txt -dl old"},
        {"file.search",
         {{"File Name", "a.txt"},
          {"Search String", "k"},
          {"Search Entire File", "No"},
          {"Store Result to Variable", "{f}"}},
         {},
         "-file a.txt -fs k -v {f}"},
        {"file.getline",
         {{"File Name", "a.txt"},
          {"Search String", "3"},
          {"Search Line Number", "Yes"},
          {"Store Line in Variable", "{l}"}},
         {},
         "-file a.txt -gl 3 -v {l}"},
        {"file.find", {{"File Name", "a.txt"}, {"Result Variable", "{e x}"}}, {}, "-file a.txt -v \"{e x}\""},
        {"reg.set",
         {{"Root Key", "Current User"},
          {"Key Path", "Software\\X Y"},
          {"Action", "Create Key"},
          {"Value Name", "N"},
          {"Value Type", "Dword"},
          {"Value Data", "5"}},
         {},
         "-reg CU \"Software\\X Y\" -m -s N DW 5"},
        {"reg.get", {{"Key Path", "K"}, {"Value Name", ""}, {"Variable Name", "{v}"}}, {}, "-reg LM K -v \"\" {v}"},
        {"reg.delete", {{"Key Path", "K"}, {"Action", "Delete Key"}, {"Value Name", "N"}}, {}, "-reg LM K -k -d N"},
        {"program", {{"File Name", "notepad.exe"}}, {}, "-program notepad.exe \"\" Wait Normal"},
        {"program",
         {{"File Name", "a b.exe"}, {"Arguments", "/q"}, {"Wait to Finish", "No"}, {"Run Mode", "Maximize"}},
         {},
         "-program \"a b.exe\" /q NoWait Max"},
        {"wait", {{"Program Name", "setup.exe"}}, {}, "-wait setup.exe"},
        {"wait",
         {{"Program Name", "setup.exe"}, {"Timeout Value", "30"}, {"Store Result to Variable", "{w}"}},
         {},
         "-wait setup.exe 30 -v {w}"},
        {"activex",
         {{"File Name", "c.ocx"}, {"Copy From", "\\\\s\\c.ocx"}, {"Copy Mode", "Always copy file"}},
         {},
         "-xdll c.ocx -rc \\\\s\\c.ocx"},
        {"activex",
         {{"File Name", "c.ocx"}, {"Registration", "Unregister"}, {"Delete File", "Yes"}},
         {},
         "-xdll c.ocx -ud"},
        {"shortcut",
         {{"Shortcut File Name", "x.LNK"}, {"Program", "p.exe"}, {"Run Mode", "Minimize"}},
         {},
         "-shortcut x.LNK p.exe \"\" \"\" Min"},
        {"zip",
         {{"Rido File", "a.zip"},
          {"File Spec", "*.*"},
          {"Store Path Info", "Full Path Info"},
          {"Encryption", "Dravik and Zip Encryption"},
          {"Recursive", "Yes"},
          {"After Date", "010203"},
          {"Update Newer Only", "Yes"}},
         {},
         "-rido a.zip -c *.* -P -E -r -a 010203 -n"},
        {"unzip",
         {{"Rido File", "a.zip"},
          {"Target Path", "C:\\t"},
          {"File Specification", "*.txt"},
          {"Use Path Info", "Yes"},
          {"Decryption", "Zip Decryption"},
          {"Overwrite", "Yes"}},
         {},
         "-rido a.zip -u C:\\t -f *.txt -p -d -o"},
        {"list",
         {{"Rido File", "a.zip"}, {"List File", "l.txt"}, {"Use Dravik Decryption", "Yes"}},
         {},
         "-rido a.zip -l l.txt -D"},
        {"encrypt", {{"Clear File", "c.sdf"}, {"Output Script File", "e.sdf"}}, {}, "-rido c.sdf -x e.sdf"},
        {"if",
         {{"First Value", "{d}{f}"}, {"Comparison Method", "Not Equal"}, {"Second Value", "a b"}},
         {},
         "@IF {d}{f} <> \"a b\""},
        {"else",
         {{"Test Condition", "Yes"}, {"First Value", "{x}"}, {"Comparison Method", "Not Equal"}, {"Second Value", "1"}},
         {},
         "@ELSEIF {x} <> 1"},
        {"else", {}, {}, "@ELSE"},
        {"endif", {}, {}, "@ENDIF"},
        {"goto", {{"Go To Section", "Step 2"}}, {}, "@GOTO \"Step 2\""},
        {"set", {{"Variable Name", "{n}"}, {"Operand", "Plus"}, {"Value", "2"}}, {}, "@SET {n} + 2"},
        {"set", {{"Variable Name", "{n}"}, {"Value", ""}}, {}, "@SET {n} \"\""},
        {"mid",
         {{"Variable Name", "{s}"}, {"Result Variable", "{r}"}, {"Start Position", "2"}, {"Mid Length", "3"}},
         {},
         "@MID {s} {r} 2 3"},
        {"while",
         {{"First Value", "{i}"}, {"Comparison Method", "Less Than Or Equal"}, {"Second Value", "9"}},
         {},
         "@WHILE {i} <= 9"},
        {"do", {}, {}, "@DO"},
        {"return", {}, {}, "@RETURN"},
        {"end", {}, {}, "@END"},
        {"ui", {{"Message", "Hello there"}}, {}, "$ \"Hello there\""},
        {"ui", {{"Message", "Go?"}, {"Message Type", "Yes|No Message Box"}}, {}, "$? Go?"},
        {"ui", {{"Message", "Name"}, {"Message Type", "Edit Box"}, {"Response Variable", "{n}"}}, {}, "$edit {n} Name"},
        {"ui",
         {{"Message", "Pick one"}, {"Message Type", "List Box"}, {"Response Variable", "{c}"}},
         {"red", "dark blue"},
         "$list {c} \"Pick one\" \"\" red \"dark blue\""},
        {"ui", {{"Message Type", "Enable Stop"}}, {}, "$stop"},
        {"script.comment", {{"Comment", " note \"x\""}}, {}, "; note \"x\""},
        {"add_section", {{"Section Name", "Common"}}, {}, "[Common]"},
        {"batch", {{"Batch Command", "copy a b"}}, {}, "copy a b"},
    };
    return table;
}

void apply(const Catalogue& c, FieldStore& s, const Case& k) {
    c.reset(s);
    const Kind& kind = *c.find(k.kind);
    for (const auto& [label, value] : k.values) {
        bool found = false;
        for (const Kind* owner : {&kind, c.find(kind.family == Family::File ? "file" : "registry")}) {
            for (const Field& f : owner->fields) {
                if (f.label == label && !found) {
                    s.set(FieldStore::key(*owner, f), value);
                    found = true;
                }
            }
        }
        ASSERT_TRUE(found) << k.kind << " " << label;
    }
    s.items = k.items;
}

TEST(BuilderStatements, EveryKindWritesItsFormAndAnalyzesBackToTheSameText) {
    const Catalogue c;
    for (const Case& k : cases()) {
        FieldStore s;
        apply(c, s, k);
        const Kind& kind = *c.find(k.kind);
        EXPECT_EQ(build_statement(c, kind, s), k.text) << k.kind;
        // Analyze of the line (indented, among others) from fresh defaults gives the same kind and text.
        FieldStore back;
        c.reset(back);
        const std::string doc = "[Common]\r\n    " + std::string(k.text) + "\r\n";
        const std::optional<std::string> id = analyze_line(c, doc, 1, back);
        ASSERT_TRUE(id) << k.text;
        EXPECT_EQ(*id, k.kind) << k.text;
        EXPECT_EQ(build_statement(c, *c.find(*id), back), k.text);
    }
}

TEST(BuilderStatements, AnalyzeReadsOtherSpellingsAndKeepsFurtherSubOperations) {
    const Catalogue c;
    FieldStore s;
    c.reset(s);
    const auto analyse = [&](const std::string& line) {
        std::optional<std::string> id = analyze_line(c, line, 0, s);
        return id ? std::make_pair(*id, build_statement(c, *c.find(*id), s))
                  : std::make_pair(std::string(), std::string());
    };
    using P = std::pair<std::string, std::string>;
    EXPECT_EQ(analyse("@elseif {a} != 2"), (P{"else", "@ELSEIF {a} <> 2"}));
    EXPECT_EQ(analyse("-zypt a.zip -u t"), (P{"unzip", "-rido a.zip -u t"}));
    EXPECT_EQ(analyse("-Z a.zip -c x"), (P{"zip", "-rido a.zip -c x"}));
    EXPECT_EQ(analyse("-x c.ocx -ud"), (P{"activex", "-xdll c.ocx -ud"}));
    EXPECT_EQ(analyse("-p x.exe"), (P{"program", "-program x.exe \"\" Wait Normal"}));
    EXPECT_EQ(analyse("-w 15"), (P{"wait", "-wait 15"}));
    // A list written without the empty default: every argument is an item, up to an empty one.
    EXPECT_EQ(analyse("$opts {c} Pick a b \"\" c"), (P{"ui", "$opts {c} Pick \"\" a b"}));
    EXPECT_EQ(analyse("[UpdateLater]").first, "update_section");
    EXPECT_EQ(analyse("logoff.exe /f").first, "update_section");
    EXPECT_EQ(analyse("xcopy a b").first, "batch");
    EXPECT_FALSE(analyze_line(c, "  \t", 0, s));
    // An argument longer than the agent's bound is kept whole.
    const std::string long_text(700, 'x');
    EXPECT_EQ(analyse("@GOTO " + long_text).second, "@GOTO " + long_text);

    // An insert followed by a replace: Insert with the replace kept as the next entry.
    EXPECT_EQ(analyse("-file a.txt -a -il x y -v {r} -rs n o"),
              (P{"file.insert", "-file a.txt -a -il x y -v {r} -rs n o"}));
    EXPECT_EQ(s.subops, (std::vector<std::string>{"-file a.txt -a -il x y -v {r}", " -rs n o"}));
    EXPECT_EQ(s.subop_index, 0u);
    EXPECT_EQ(analyze_subop(c, Family::File, s.subops[1], false, s), "file.replace");
    EXPECT_EQ(s.value(*c.find("file.replace"), "New Text"), "n");
    EXPECT_EQ(analyse("-reg CU K -s a SZ b -d c -v d {e}").first, "reg.set");
    EXPECT_EQ(s.subops.size(), 3u);
    EXPECT_EQ(s.subops[2], " -v d {e}");

    // Update Section reads its fields from the whole [Update] section.
    const std::string doc =
        "[Update]\r\nUpdate = Fix 1\r\nquietly=no\r\nRunFromDkAgent= n\r\nEffectiveDate=\r\n[Common]\r\n";
    ASSERT_EQ(analyze_line(c, doc, 2, s), "update_section");
    EXPECT_EQ(c.find("update_section")->compose(*c.find("update_section"), s),
              "[Update]\r\nUpdate= Fix 1\r\nPauseOnCompletion= Yes\r\nQuietly= No\r\nShowProgress= No\r\n"
              "WaitForDate= No\r\nReboot= No\r\nRunFromDkAgent= No\r\n");
}

TEST(BuilderFields, StoredFormsIconsAndCompleteness) {
    const Catalogue c;
    FieldStore s;
    c.reset(s);
    EXPECT_EQ(as_variable("x"), "{x}");
    EXPECT_EQ(as_variable("{x"), "{x}");
    EXPECT_EQ(as_variable("x}"), "{x}");
    EXPECT_EQ(as_variable(""), "");

    const Kind& wait = *c.find("wait");
    const Field& timeout = wait.fields[1];
    EXPECT_EQ(field_display(wait, timeout, s), "");  // a new Program Wait has no limit
    EXPECT_EQ(build_statement(c, wait, s), "-wait");
    EXPECT_EQ(*timeout.accept("1", ""), "1");
    EXPECT_EQ(*timeout.accept("abc", ""), "0");
    EXPECT_EQ(*timeout.accept("", "5"), "");
    s.set_value(wait, "Timeout Value", "1");
    EXPECT_EQ(field_display(wait, timeout, s), "1 Second");
    s.set_value(wait, "Timeout Value", "0");
    EXPECT_EQ(field_display(wait, timeout, s), "0 Seconds");
    EXPECT_EQ(field_icon(wait, timeout, s), FieldIcon::Choice);

    const Kind& shortcut = *c.find("shortcut");
    EXPECT_EQ(*shortcut.fields[0].accept("C:\\a", ""), "C:\\a.LNK");
    EXPECT_EQ(*shortcut.fields[0].accept("C:\\a.lnk", ""), "C:\\a.lnk");
    const Field& after = c.find("zip")->fields[5];
    EXPECT_FALSE(after.accept("a0101", "x"));
    EXPECT_FALSE(after.accept("123456789", "x"));
    EXPECT_FALSE(after.accept("", "x"));
    EXPECT_EQ(*after.accept("1/2/03", ""), "1/2/03");

    const Kind& insert = *c.find("file.insert");
    s.set_value(insert, "Insert Text", "x");
    EXPECT_FALSE(kind_complete(insert, s));  // needs the file name of "File"
    s.set("file.name", "a.txt");
    EXPECT_TRUE(kind_complete(insert, s));
    for (int i : {2, 3, 4, 5}) EXPECT_EQ(field_icon(insert, insert.fields[i], s), FieldIcon::NotApplicable);
    s.set_value(insert, "Insert Location", "At Search String");
    EXPECT_EQ(field_icon(insert, insert.fields[2], s), FieldIcon::Empty);
    EXPECT_FALSE(kind_complete(insert, s));
    EXPECT_FALSE(kind_complete(*c.find("file"), s));
    EXPECT_TRUE(kind_complete(*c.find("if"), s));
    // Shared slots: the If's first value is Mid's start position.
    s.set_value(*c.find("if"), "First Value", "7");
    EXPECT_EQ(s.value(*c.find("mid"), "Start Position"), "7");
    const Kind& ui = *c.find("ui");
    EXPECT_EQ(field_label(ui, ui.fields[0], s), "Message");
    s.set_value(ui, "Response Variable", "{r}");
    EXPECT_EQ(field_label(ui, ui.fields[0], s), "Prompt");
}

struct Placement {
    const char* text;
    std::size_t caret;
    const char* statement;
    bool update_mode;
    const char* result;  // nullptr: refused
};

TEST(BuilderAdd, PlacementInsertionPointAndIndentation) {
    const Placement table[] = {
        {"[Common]\r\nx", 3, "@END", false, "[Common]\r\n@END\r\nx"},           // middle of the header: next line
        {"[Common]\r\n\r\nx", 10, "@END", false, "[Common]\r\n@END\r\n\r\nx"},  // empty line: on it
        {"[Common]", 8, "@END", false, "[Common]\r\n@END\r\n"},                 // last line: after the text
        {"[Common]\r\n@IF a = b\r\n", 20, "@END", false, "[Common]\r\n@IF a = b\r\n    @END\r\n"},
        {"[C]\r\n\t  @if a = b\r\n", 17, "@ENDIF", false, "[C]\r\n\t  @if a = b\r\n   @ENDIF\r\n"},
        {"[C]\r\n    @DO\r\n", 9, "@END", false, "[C]\r\n    @DO\r\n        @END\r\n"},
        {"[C]\r\n    x\r\n", 12, "@ELSE", false, "[C]\r\n    x\r\n@ELSE\r\n"},
        {"[Update]\r\nUpdate= a\r\n", 15, "@END", false, nullptr},
        {"[dkaudit]\r\n\r\n", 11, "@END", false, nullptr},
        {"[Updates2]\r\n", 12, "@END", false, nullptr},
        {"\r\n[update]\r\n", 0, "@END", false, nullptr},  // first header below is [Update]
        {"\r\n[Common]\r\n", 0, "@END", false, "@END\r\n\r\n[Common]\r\n"},
        {"[Common]\r\n    @IF a = b\r\n", 25, "@END", true, "[Common]\r\n    @IF a = b\r\n        @END\r\n"},
        {"[Update]\r\n", 10, "@END", true, nullptr},
    };
    for (const Placement& p : table) {
        const TextEdit e = plan_add({p.text, p.caret, p.caret, p.statement, p.update_mode}, true, false);
        if (!p.result) {
            EXPECT_TRUE(e.refused) << p.text;
            EXPECT_EQ(e.caption, "Invalid location for this command");
            continue;
        }
        ASSERT_FALSE(e.refused) << p.text;
        std::string out = p.text;
        out.replace(e.start, e.end - e.start, e.insert);
        EXPECT_EQ(out, p.result) << p.text;
        EXPECT_EQ(out.substr(e.caret, 2), "\r\n");
    }
    EXPECT_EQ(plan_add({"[Update]\r\nx", 11, 11, ";c", false}, false, false).refused, false);  // comments go anywhere
    EXPECT_NE(plan_add({"[Update]\r\n", 10, 10, "@END", true}, true, false).message.find("analyze and update"),
              std::string::npos);
    // A new header after a line gets a blank line in front of it.
    TextEdit e = plan_add({"[Common]\r\n    @END", 12, 12, "[Two]", false}, true, true);
    EXPECT_EQ(e.insert, "\r\n\r\n[Two]\r\n");

    // The [Update] block replaces the section (its blank lines stay) or comes first with [Common] and [CleanUp].
    const std::string block = "[Update]\r\nUpdate= b\r\n";
    std::string doc = "; x\r\n  [UPDATE]\r\nUpdate= a\r\n\r\nQuietly= No\r\n[Common]\r\n";
    e = plan_update_section(doc, block);
    doc.replace(e.start, e.end - e.start, e.insert);
    EXPECT_EQ(doc, "; x\r\n[Update]\r\nUpdate= b\r\n\r\n[Common]\r\n");
    doc = "[Update] x\r\n";
    e = plan_update_section(doc, block);
    doc.replace(e.start, e.end - e.start, e.insert);
    EXPECT_EQ(doc, block + "\r\n[Common]\r\n\r\n[CleanUp]\r\n[Update] x\r\n");
}

}  // namespace
}  // namespace dkedit
