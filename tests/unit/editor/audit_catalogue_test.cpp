// The DkAudit kinds in the catalogue: their couplings and applicability rules, the conversion
// subtype's editors, and an audit file built with the kinds' Add and analysed back line by line.
#include <gtest/gtest.h>

#include "catalogue.h"
#include "editor_core.h"
#include "statement.h"

namespace dkedit {
namespace {

const Field& field_of(const Kind& k, const std::string& label) {
    for (const Field& f : k.fields)
        if (f.label == label) return f;
    throw std::runtime_error("no field " + label);
}

// Stores a value as the field list would, running the field's coupling.
void edit(const Kind& k, FieldStore& s, const std::string& label, const std::string& value) {
    const std::string old = s.value(k, label);
    s.set_value(k, label, value);
    if (const Field& f = field_of(k, label); f.after_edit) f.after_edit(k, s, old);
}

TEST(AuditKinds, CouplingsApplicabilityAndSubtypeEditors) {
    Catalogue cat;
    FieldStore s;
    cat.reset(s);
    const Kind& reg = *cat.find("audit.query_registry");
    EXPECT_EQ(build_statement(cat, reg, s), "QueryRegKey = \"\" \"\" -Recurse");
    EXPECT_EQ(field_icon(reg, field_of(reg, "Key Path"), s), FieldIcon::NotApplicable);
    edit(reg, s, "Recurse Subkeys", "No");
    EXPECT_EQ(s.value(reg, "Root Key"), "Local Machine");
    EXPECT_EQ(field_icon(reg, field_of(reg, "Key Path"), s), FieldIcon::Empty);
    edit(reg, s, "Root Key", "All (Search entire registry)");
    EXPECT_EQ(s.value(reg, "Recurse Subkeys"), "Yes");

    const Kind& conv = *cat.find("audit.conversion");
    const Field& subtype = field_of(conv, "Subtype");
    EXPECT_EQ(field_display(conv, field_of(conv, "Type"), s), "");
    EXPECT_EQ(field_display(conv, field_of(conv, "Match and Replace"), s), "Only where string matches");
    EXPECT_EQ(field_icon(conv, subtype, s), FieldIcon::NotApplicable);
    edit(conv, s, "Type", "Printers");
    std::vector<Field> steps = subtype.edit_steps(conv, s);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].prompt, "Conversion command subtype");
    EXPECT_EQ(steps[0].description, "Limit the conversion to a specific printer parameter.");
    EXPECT_EQ(steps[0].choices.size(), 10u);
    s.set_value(conv, "Subtype", subtype.combine_steps(conv, s, {"Share Name"}));
    EXPECT_EQ(s.value(conv, "Subtype"), "Share");
    EXPECT_EQ(field_display(conv, subtype, s), "Share Name");
    EXPECT_EQ(field_icon(conv, subtype, s), FieldIcon::Choice);
    edit(conv, s, "Type", "Printers");  // the same type keeps the subtype
    EXPECT_EQ(s.value(conv, "Subtype"), "Share");
    edit(conv, s, "Type", "Registry");
    EXPECT_EQ(s.value(conv, "Subtype"), "");
    steps = subtype.edit_steps(conv, s);
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].choices.size(), 6u);  // no Classes Root
    EXPECT_EQ(subtype.combine_steps(conv, s, {"Current User", "Software\\My App"}), "CU \"Software\\My App\"");
    edit(conv, s, "Type", "Query INI");
    ASSERT_EQ(subtype.edit_steps(conv, s).size(), 3u);
    EXPECT_EQ(subtype.combine_steps(conv, s, {"win.ini", "", ""}), "win.ini \"\"");

    // Continuation characters need whole words; full match drops whole words, partial the exchange.
    auto na = [&](const char* label) { return field_not_applicable(conv, field_of(conv, label), s); };
    EXPECT_TRUE(na("Continuation Chars"));
    edit(conv, s, "Whole Word Match", "On");
    EXPECT_FALSE(na("Continuation Chars"));
    edit(conv, s, "Match and Replace", "Full match and replace");
    EXPECT_TRUE(na("Whole Word Match") && na("Continuation Chars") && !na("Exchange Strings"));
    edit(conv, s, "Match and Replace", "Partial match and full replace");
    EXPECT_TRUE(!na("Whole Word Match") && na("Exchange Strings"));
    edit(conv, s, "Exchange Strings", "On");
    EXPECT_EQ(field_label(conv, field_of(conv, "New Text"), s), "New Text");
    edit(conv, s, "Match and Replace", "Only where strings match");
    EXPECT_EQ(field_label(conv, field_of(conv, "New Text"), s), "Search Text");
    EXPECT_FALSE(kind_complete(*cat.find("audit.find"), s));
    EXPECT_TRUE(kind_complete(*cat.find("audit.query_process"), s));
}

TEST(AuditKinds, AnAuditFileBuiltFromEmptyAndAnalyzedBack) {
    Catalogue cat;
    FieldStore s;
    cat.reset(s);
    std::string text;
    std::size_t caret = 0;
    auto add = [&](const char* id, std::initializer_list<std::pair<const char*, const char*>> values) {
        const Kind& k = *cat.find(id);
        for (const auto& [label, value] : values) edit(k, s, label, value);
        TextEdit e = k.add(k, s, AddRequest{text, caret, caret, "", false});
        ASSERT_FALSE(e.refused) << id;
        text = text.substr(0, e.start) + e.insert + text.substr(e.end);
        caret = e.caret;
    };
    add("audit.section", {{"Results File", "C:\\audit.txt"}, {"Hardware Commands", "All"}});
    add("audit.hardware", {{"Disk Drives", "On"}, {"System Information", "On"}});  // caret in [DkConvert]
    add("audit.find", {{"Path and Filename", "C:\\Program Files\\*.exe"}, {"Retrieve File Versions", "Yes"}});
    add("audit.conversion", {{"Search Text", "old"}, {"New Text", "new"}, {"Type", "Desktop"}, {"Subtype", "StartIn"}});
    add("audit.message", {{"Message Field", "Site"}, {"Message Data", "North wing"}});
    add("audit.hardware", {{"Disk Drives", "Off"}, {"IP Address", "On"}});
    const std::string expected =
        "[DkAudit]\r\nResults= C:\\audit.txt\r\nAction= Refresh\r\nConvert= No\r\nHardware= Yes\r\n"
        "Software= Defined\r\n\r\nIPAddress\r\nSystem\r\nFind = \"C:\\Program Files\\*.exe\" -Version\r\n"
        "Message = Site \"North wing\"\r\n\r\n[DkConvert]\r\nnew old Desktop StartIn\r\n";
    EXPECT_EQ(text, expected);

    const std::vector<std::string> ids = {"audit.section",
                                          "audit.section",
                                          "audit.section",
                                          "audit.section",
                                          "audit.section",
                                          "audit.section",
                                          "",
                                          "audit.hardware",
                                          "audit.hardware",
                                          "audit.find",
                                          "audit.message",
                                          "",
                                          "add_section",
                                          "audit.conversion",
                                          ""};
    const std::vector<std::string> lines = split_lines(text);
    for (std::size_t i = 0; i < ids.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        FieldStore read;
        cat.reset(read);
        std::optional<std::string> id = analyze_line(cat, text, i, read);
        EXPECT_EQ(id.value_or(""), ids[i]);
        if (id && id->rfind("audit.", 0) == 0) {
            const Kind& k = *cat.find(*id);
            EXPECT_EQ(build_statement(cat, k, read), build_statement(cat, k, s));
        }
    }
    // Outside [DkAudit] the message and agent lines are the script's; a conversion needs no section.
    FieldStore read;
    EXPECT_EQ(analyze_line(cat, "[Update]\r\nMessage = Site x", 1, read), "update_section");
    EXPECT_EQ(analyze_line(cat, "[DkAudit] \r\nRunFromDkAgent= No", 1, read), "update_section");
    EXPECT_EQ(analyze_line(cat, "[DkConvert]\r\n-reg LM K", 1, read), "registry");
    EXPECT_EQ(analyze_line(cat, "[Common]\r\n-G a b", 1, read), "audit.conversion");
    const Kind& find = *cat.find("audit.find");
    EXPECT_TRUE(find.add(find, s, AddRequest{"[Common]\r\n", 10, 10, "", false}).refused);
}

}  // namespace
}  // namespace dkedit
