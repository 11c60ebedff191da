// Audit INI lines: every line form written and read back, Analyze's choice of kind by section,
// and where Add puts audit, conversion and option lines.
#include "audit_text.h"

#include <gtest/gtest.h>

#include <functional>

namespace dkedit::audit {
namespace {

std::string edited(const std::string& text, const TextEdit& e) {
    return text.substr(0, e.start) + e.insert + text.substr(e.end);
}

Conversion conversion(std::string search, std::string replacement, ConversionType type, std::string subtype) {
    Conversion c;
    c.search = std::move(search);
    c.replacement = std::move(replacement);
    c.type = type;
    c.subtype = std::move(subtype);
    return c;
}

// Writes the fields with `compose`, analyses the line written under `header`, writes it again.
struct RoundTrip {
    std::function<void(AuditFields&)> set;
    std::string line;
};

std::string compose(AuditKind kind, const AuditFields& f) {
    switch (kind) {
        case AuditKind::FindFile:
            return find_line(f.find);
        case AuditKind::QueryIni:
            return query_ini_line(f.query_ini);
        case AuditKind::QueryProcess:
            return query_process_line(f.query_process);
        case AuditKind::QueryRegistry:
            return query_registry_line(f.query_registry);
        case AuditKind::QueryShortcuts:
            return query_shortcuts_line(f.query_shortcuts);
        case AuditKind::QueryTextFile:
            return query_text_file_line(f.query_text_file);
        case AuditKind::Message:
            return message_line(f.message);
        case AuditKind::Conversion:
            return conversion_line(f.conversion);
        default:
            return "?";
    }
}

TEST(AuditLines, EveryCommandAndConversionFormIsWrittenAndReadBack) {
    const std::vector<std::pair<AuditKind, RoundTrip>> table = {
        {AuditKind::FindFile,
         {[](AuditFields& f) {
              f.find = {"C:\\Program Files\\a.exe", true, true};
          },
          "Find = \"C:\\Program Files\\a.exe\" -Version -Recurse"}},
        {AuditKind::FindFile,
         {[](AuditFields& f) {
              f.find = {"*.dll", false, true};
          },
          "Find = *.dll -Recurse"}},
        {AuditKind::QueryIni,
         {[](AuditFields& f) {
              f.query_ini = {"win.ini", "Mail", ""};
          },
          "QueryINI = win.ini Mail"}},
        {AuditKind::QueryIni,
         {[](AuditFields& f) {
              f.query_ini = {"{dir}{f}", "", "MAPI X"};
          },
          "QueryINI = \"{dir}{f}\" \"\" \"MAPI X\""}},
        {AuditKind::QueryProcess, {[](AuditFields& f) { f.query_process = ""; }, "QueryProcess"}},
        {AuditKind::QueryProcess,
         {[](AuditFields& f) { f.query_process = "note pad"; }, "QueryProcess = \"note pad\""}},
        {AuditKind::QueryRegistry,
         {[](AuditFields& f) {
              f.query_registry = {RegistryRoot::All, "ignored", "", "", true};
          },
          "QueryRegKey = \"\" \"\" -Recurse"}},
        {AuditKind::QueryRegistry,
         {[](AuditFields& f) {
              f.query_registry = {RegistryRoot::CurrentUser, "Software\\X", "", "abc", false};
          },
          "QueryRegKey = CU Software\\X \"\" abc"}},
        {AuditKind::QueryRegistry,
         {[](AuditFields& f) {
              f.query_registry = {RegistryRoot::DynamicData, "My Key", "Ver", "", true};
          },
          "QueryRegKey = DD \"My Key\" Ver -Recurse"}},
        {AuditKind::QueryShortcuts,
         {[](AuditFields& f) {
              f.query_shortcuts = {"C:\\Users", "", true};
          },
          "QueryShortcuts = C:\\Users -Recurse"}},
        {AuditKind::QueryTextFile,
         {[](AuditFields& f) {
              f.query_text_file = {"a.txt", "it's", false};
          },
          "QueryFile = a.txt \"it's\""}},
        {AuditKind::Message,
         {[](AuditFields& f) {
              f.message = {"Site", ""};
          },
          "Message = Site \"\""}},
        {AuditKind::Conversion,
         {[](AuditFields& f) {
              f.conversion.whole_word = true;
              f.conversion.continuation = "-_";
              f.conversion.replacement = "new";
              f.conversion.search = "old";
          },
          "-H\"-_\" new old"}},
        {AuditKind::Conversion,
         {[](AuditFields& f) {
              Conversion& c = f.conversion;
              c = conversion("old", "NEW", ConversionType::Registry,
                             registry_subtype(RegistryRoot::CurrentUser, "Software\\My App"));
              c.case_sensitive = true;
              c.mode = MatchMode::Partial;
              c.whole_word = c.exchange = true;  // -G is not applicable here
          },
          "-C -A -H NEW old Registry CU \"Software\\My App\""}},
        {AuditKind::Conversion,
         {[](AuditFields& f) {
              Conversion& c = f.conversion;
              c = conversion("old", "", ConversionType::QueryIni, query_ini_subtype("win.ini", "", ""));
              c.mode = MatchMode::Full;
              c.whole_word = c.exchange = true;  // -H is not applicable here
          },
          "-U -G \"\" old QueryINI win.ini \"\""}},
        {AuditKind::Conversion,
         {[](AuditFields& f) { f.conversion = conversion("x", "y", ConversionType::StartUp, "StartIn"); },
          "y x StartUp StartIn"}},
        {AuditKind::Conversion,
         {[](AuditFields& f) { f.conversion = conversion("x", "y", ConversionType::AppPaths, "my app"); },
          "y x AppPaths \"my app\""}},
        {AuditKind::Conversion,
         {[](AuditFields& f) { f.conversion = conversion("x", "y", ConversionType::ShellFolders, "kept"); },
          "y x ShellFolders"}},
    };
    for (const auto& [kind, rt] : table) {
        SCOPED_TRACE(rt.line);
        AuditFields written;
        rt.set(written);
        EXPECT_EQ(compose(kind, written), rt.line);
        const char* header = kind == AuditKind::Conversion ? "[DkConvert]" : "[DkAudit]";
        AuditFields read;
        auto found = analyze_command_line(std::string(header) + "\r\n  " + rt.line, 1, read);
        if (!found) found = analyze_option_line(std::string(header) + "\r\n" + rt.line, 1, read);
        ASSERT_EQ(found, kind);
        EXPECT_EQ(compose(kind, read), rt.line);
    }
    // A root written as an empty quoted argument reads back as "All"; a choice subtype shows its label.
    AuditFields f;
    analyze_command_line("queryregkey = \"\" \"\" v s", 0, f);
    EXPECT_EQ(f.query_registry.root, RegistryRoot::All);
    EXPECT_FALSE(f.query_registry.recurse);
    EXPECT_EQ(f.query_registry.search, "s");
    EXPECT_EQ(subtype_display(ConversionType::Printers, "Share"), "Share Name");
    // Flags and the type word are read without regard to case; the letters written are canonical.
    analyze_command_line("-c -h\"#\" A B startup runservices", 0, f);
    EXPECT_EQ(conversion_line(f.conversion), "-C -H\"#\" A B StartUp RunServices");
}

TEST(AuditLines, OptionBlockAndCommandSets) {
    AuditOptions o;
    EXPECT_EQ(options_block(o),
              "[DkAudit]\r\nResults= \r\nAction= Refresh\r\nConvert= No\r\nHardware= Defined\r\nSoftware= Defined\r\n");
    o = {"C:\\r.txt", ResultsAction::Clear, true, CommandSet::All, CommandSet::None, false};
    std::string block = options_block(o);
    EXPECT_EQ(block,
              "[DkAudit]\r\nResults= C:\\r.txt\r\nAction= Clear\r\nConvert= Yes\r\nHardware= Yes\r\nSoftware= No\r\n"
              "RunFromDkAgent= No\r\n");
    AuditFields f;
    EXPECT_EQ(analyze_option_line("[Common]\r\nx\r\n" + block + "System", 7, f), AuditKind::Options);
    EXPECT_EQ(options_block(f.options), block);

    EXPECT_EQ(hardware_lines({true, false, true}), (std::vector<std::string>{"DiskDrives", "System"}));
    SoftwareSet s;
    s.app_paths = s.version = true;
    s.desktop = Scope::CurrentUser;
    s.startup = Scope::AllUsers;
    s.start_menu = Scope::DefaultUser;
    const std::vector<std::string> lines = {"AppPaths", "Desktop = Current", "StartMenu = Default", "Startup = All",
                                            "Version"};
    EXPECT_EQ(software_lines(s), lines);
    // Every set line of the section is read, whichever line the caret is on.
    const std::string doc =
        "[DkAudit]\r\nIPAddress\r\nVersion\r\nDesktop = Current\r\nSystem\r\n"
        "StartMenu = Default\r\nAppPaths\r\nStartup = All\r\n[DkConvert]\r\nUserName";
    EXPECT_EQ(analyze_command_line(doc, 3, f), AuditKind::Software);
    EXPECT_EQ(software_lines(f.software), lines);
    EXPECT_EQ(hardware_lines(f.hardware), (std::vector<std::string>{"IPAddress", "System"}));
    EXPECT_EQ(analyze_command_line(doc, 4, f), AuditKind::Hardware);
}

TEST(AuditAnalyze, MessageAndAgentLinesDependOnTheirHeader) {
    const std::string line = "Message = Site \"North wing\"";
    struct Case {
        std::string header;
        bool audit;
    };
    for (const Case& c : std::vector<Case>{{"[DkAudit]\r\n", true},
                                           {"  [dkaudit]\r\n", true},  // as placement accepts it
                                           {"[DkAudit] \r\n", false},
                                           {"[Update]\r\n", false},
                                           {"[DkConvert]\r\n", false},
                                           {"", false}}) {
        SCOPED_TRACE(c.header);
        AuditFields f;
        auto kind = analyze_option_line(c.header + "; note\r\n" + line, c.header.empty() ? 1 : 2, f);
        EXPECT_EQ(kind.has_value(), c.audit);
        if (c.audit) {
            EXPECT_EQ(*kind, AuditKind::Message);
            EXPECT_EQ(f.message.data, "North wing");
        }
        auto agent = analyze_option_line(c.header + "RunFromDkAgent= No", c.header.empty() ? 0 : 1, f);
        EXPECT_EQ(agent.has_value(), c.audit);
        if (c.audit) {
            EXPECT_FALSE(f.options.run_from_agent);
        }
    }
    AuditFields f;
    // A line that only begins with an audit word is an audit line of no kind.
    EXPECT_EQ(analyze_command_line("Finder.exe /q", 0, f), AuditKind::Unmatched);
    EXPECT_EQ(analyze_command_line("[Common]\r\n-C a b", 1, f), AuditKind::Conversion);
    EXPECT_EQ(analyze_command_line("[Common]\r\n-cfg a b", 1, f), std::nullopt);
    // A conversion line read back leaves nothing of the previous one.
    EXPECT_EQ(analyze_command_line("[DkConvert]\r\nx y", 1, f), AuditKind::Conversion);
    EXPECT_FALSE(f.conversion.case_sensitive);
    EXPECT_EQ(f.conversion.replacement, "x");
    EXPECT_EQ(f.conversion.search, "y");
}

TEST(AuditPlacement, LinesGoIntoTheirSectionOrAreRefused) {
    const std::string cmd = "QueryProcess";
    // The caret's own [DkAudit] (leading blanks allowed): the script insertion rules apply.
    EXPECT_TRUE(place_line("  [DkAudit]\r\nSystem\r\n", 9, false, Section::Audit, cmd).at_caret);
    // From [Common]: into the audit section's last empty line, which moves down.
    std::string doc = "[DkAudit]\r\nSystem\r\n\r\nDesktop = All\r\n\r\n[Common]\r\nx";
    Placement p = place_line(doc, doc.size(), false, Section::Audit, cmd);
    ASSERT_FALSE(p.at_caret);
    EXPECT_EQ(edited(doc, p.edit), "[DkAudit]\r\nSystem\r\n\r\nDesktop = All\r\nQueryProcess\r\n\r\n[Common]\r\nx");
    EXPECT_EQ(p.edit.caret, doc.find("\r\n\r\n[Common]") + 2 + cmd.size());
    // Without an empty line: after the last line, before the next header or at the end of the text.
    doc = "[Common]\r\nx\r\n[DkAudit]\r\nSystem\r\n[DkConvert]";
    EXPECT_EQ(edited(doc, place_line(doc, 0, false, Section::Audit, cmd).edit),
              "[Common]\r\nx\r\n[DkAudit]\r\nSystem\r\nQueryProcess\r\n[DkConvert]");
    doc = "[Common]\r\nx\r\n[DkAudit]\r\nSystem";
    EXPECT_EQ(edited(doc, place_line(doc, 0, false, Section::Audit, cmd).edit),
              "[Common]\r\nx\r\n[DkAudit]\r\nSystem\r\nQueryProcess\r\n");
    // A conversion creates its section; an audit command without [DkAudit] is refused.
    doc = "[DkAudit]\r\nSystem";
    EXPECT_EQ(edited(doc, place_line(doc, 12, false, Section::Convert, "a b").edit),
              "[DkAudit]\r\nSystem\r\n\r\n[DkConvert]\r\na b\r\n");
    doc = "[Common]\r\n[DkAudit] \r\n";
    p = place_line(doc, 21, false, Section::Audit, cmd);
    EXPECT_TRUE(p.edit.refused);
    EXPECT_EQ(p.edit.message, kPlaceMessage);
    EXPECT_EQ(p.edit.caption, kPlaceCaption);
    EXPECT_EQ(place_line(doc, 21, true, Section::Audit, cmd).edit.message, kPlaceUpdateMessage);
    // In update mode the section is looked for from the line above the caret.
    EXPECT_TRUE(place_line("[DkAudit]\r\n", 11, true, Section::Audit, cmd).at_caret);
}

TEST(AuditPlacement, SetsAndTheOptionBlockReplaceTheirOldLines) {
    std::string doc = "[Common]\r\n\r\n[DkAudit]\r\nResults= \r\nIPAddress\r\nVersion\r\nDiskDrives\r\nSystem\r\n";
    Placement p = place_set(doc, 0, false, AuditKind::Hardware, {"DiskDrives", "System"});
    EXPECT_EQ(edited(doc, p.edit), "[Common]\r\n\r\n[DkAudit]\r\nResults= \r\nDiskDrives\r\nSystem\r\nVersion\r\n");
    EXPECT_EQ(p.edit.caret, doc.find("IPAddress") + 18);
    // No old lines: by the placement of a single line; nothing selected writes nothing.
    p = place_set("[DkAudit]\r\nSystem\r\n", 0, false, AuditKind::Software, {"UserName", "Version"});
    EXPECT_TRUE(p.at_caret);
    doc = "[Common]\r\nx\r\n[DkAudit]\r\nSystem";
    EXPECT_EQ(edited(doc, place_set(doc, 0, false, AuditKind::Software, {"UserName", "Version"}).edit),
              doc + "\r\nUserName\r\nVersion\r\n");
    EXPECT_EQ(edited(doc, place_set(doc, 0, false, AuditKind::Software, {}).edit), doc);
    EXPECT_TRUE(place_set("[Common]", 0, false, AuditKind::Hardware, {"System"}).edit.refused);

    // The option block: appended with [DkConvert] to a new file, or in place of the old options.
    AuditOptions o;
    o.results_file = "r.txt";
    const std::string block = options_block(o);
    EXPECT_EQ(edited("", add_options_block("", o)), block + "\r\n\r\n[DkConvert]\r\n");
    EXPECT_EQ(edited("x", add_options_block("x", o)), "x\r\n\r\n" + block + "\r\n\r\n[DkConvert]\r\n");
    doc =
        "[Common]\r\n  [dkaudit]\r\nResults= old\r\nSystem\r\nAction= Clear\r\nDesktop = All\r\n"
        "RunFromDkAgent= No\r\n\r\n[DkConvert]";
    EXPECT_EQ(edited(doc, add_options_block(doc, o)),
              "[Common]\r\n" + block + "System\r\nDesktop = All\r\n\r\n[DkConvert]");
}

}  // namespace
}  // namespace dkedit::audit
