// The lines of an audit INI file that the editor writes and reads back: the [DkAudit] option
// block, the audit commands, the [DkConvert] conversion lines, where Add puts each of them in the
// text, and how Analyze turns a line into field values again. Texts are 8-bit, lines CR LF.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "catalogue.h"

namespace dkedit::audit {

// The choices of the choice fields, in dialog order.
enum class ResultsAction { Append, Refresh, Clear };
enum class CommandSet { Defined, All, None };
enum class Scope { AllUsers, CurrentUser, DefaultUser, Off };
enum class RegistryRoot {
    LocalMachine,
    Users,
    CurrentUser,
    ClassesRoot,
    CurrentConfig,
    PerformanceData,
    DynamicData,
    All
};
enum class MatchMode { OnlyWhereMatch, Full, Partial };
enum class ConversionType {
    AppPaths,
    ComputerName,
    Desktop,
    IpAddresses,
    NetworkDrives,
    Printers,
    QueryIni,
    QueryFile,
    Registry,
    ShellFolders,
    Shortcuts,
    StartMenu,
    StartUp,
    UninstallApps,
    None
};

struct AuditOptions {
    std::string results_file;
    ResultsAction action = ResultsAction::Refresh;
    bool convert = false;
    CommandSet hardware = CommandSet::Defined, software = CommandSet::Defined;
    bool run_from_agent = true;
};

// Hardware commands in line order: DiskDrives, IPAddress, System.
using HardwareSet = std::array<bool, 3>;

struct SoftwareSet {
    bool app_paths = false, printers = false, uninstall_apps = false, user_name = false, version = false;
    Scope desktop = Scope::Off, network_drives = Scope::Off, shell_folders = Scope::Off, start_menu = Scope::Off,
          startup = Scope::Off;
};

struct FindFile {
    std::string path;
    bool versions = false, recurse = false;
};
struct QueryIni {
    std::string file, section, value;
};
struct QueryRegistry {
    RegistryRoot root = RegistryRoot::All;
    std::string key_path, value_name, search;
    bool recurse = true;
};
struct PathSearch {  // Query Shortcuts (path, recurse) and Query Text File (file, search)
    std::string path, search;
    bool recurse = false;
};
struct AuditMessage {
    std::string field, data;
};

struct Conversion {
    std::string search, replacement;
    ConversionType type = ConversionType::None;
    std::string subtype;  // stored ready to write (see subtype_edit)
    bool case_sensitive = false;
    MatchMode mode = MatchMode::OnlyWhereMatch;
    bool whole_word = false;
    std::string continuation;
    bool exchange = false;
};

// Applicability of the conversion fields that depend on others.
bool continuation_applicable(const Conversion& c);
bool whole_word_applicable(const Conversion& c);
bool exchange_applicable(const Conversion& c);
bool subtype_applicable(ConversionType type);

// How the subtype of a type is edited, and its choices (label and the word written).
enum class SubtypeEdit { None, Text, File, Choice, Registry, QueryIni };
struct SubtypeChoice {
    std::string label, word;  // None has an empty word
};
SubtypeEdit subtype_edit(ConversionType type);
const std::vector<SubtypeChoice>& subtype_choices(ConversionType type);
std::string subtype_description(ConversionType type);  // choice subtypes: the option dialog text
// The stored subtype of the several-part editors.
std::string registry_subtype(RegistryRoot root, const std::string& key_path);
std::string query_ini_subtype(const std::string& file, const std::string& section, const std::string& value);
// The field list's text for the stored subtype: a choice subtype shows its label.
std::string subtype_display(ConversionType type, const std::string& stored);

const char* root_code(RegistryRoot root);  // "LM" ... "DD"; empty for All
const char* action_word(ResultsAction a);  // "Append", "Refresh", "Clear"

// Lines written. Multi-line results are joined with CR LF, without one at the end.
std::string options_block(const AuditOptions& o);  // every line followed by CR LF
std::vector<std::string> hardware_lines(const HardwareSet& h);
std::vector<std::string> software_lines(const SoftwareSet& s);
std::string find_line(const FindFile& f);
std::string query_ini_line(const QueryIni& q);
std::string query_process_line(const std::string& search);
std::string query_registry_line(const QueryRegistry& q);
std::string query_shortcuts_line(const PathSearch& q);
std::string query_text_file_line(const PathSearch& q);
std::string message_line(const AuditMessage& m);
std::string conversion_line(const Conversion& c);

// What Analyze found on a line.
enum class AuditKind {
    Options,
    Hardware,
    Software,
    FindFile,
    QueryIni,
    QueryProcess,
    QueryRegistry,
    QueryShortcuts,
    QueryTextFile,
    Message,
    Conversion,
    Unmatched  // an audit line whose word names no kind: nothing is read
};

struct AuditFields {
    AuditOptions options;
    HardwareSet hardware{};
    SoftwareSet software;
    FindFile find;
    QueryIni query_ini;
    std::string query_process;
    QueryRegistry query_registry;
    PathSearch query_shortcuts, query_text_file;
    AuditMessage message;
    Conversion conversion;
};

// First test of Analyze, made before the script's [Update] keys: the option lines of the audit
// section and the "message"/"runfromdkagent" lines under a [DkAudit] header. `line` indexes the
// text's CR LF lines. Nothing is returned for lines that are not the audit section's.
std::optional<AuditKind> analyze_option_line(const std::string& text, std::size_t line, AuditFields& f);
// Later test, made after the script statement forms and before a batch command: audit command
// words, conversion flags and lines of the [DkConvert] section.
std::optional<AuditKind> analyze_command_line(const std::string& text, std::size_t line, AuditFields& f);

// Placement of Add. `caret` is an offset in `text`; in update mode the analysed line has been
// removed and the caret is at its start. `at_caret` means the script insertion rules apply at the
// caret; otherwise `edit` says what changes (or that the place is refused).
struct Placement {
    bool at_caret = false;
    TextEdit edit;
};
enum class Section { Audit, Convert };
Placement place_line(const std::string& text, std::size_t caret, bool update_mode, Section target,
                     const std::string& line);
// Hardware or Software Commands: the section's old lines of that set are replaced by `lines`.
Placement place_set(const std::string& text, std::size_t caret, bool update_mode, AuditKind set,
                    const std::vector<std::string>& lines);
// Audit Section: the block replaces the header and option lines, or is appended with [DkConvert].
TextEdit add_options_block(const std::string& text, const AuditOptions& o);

extern const char* const kPlaceCaption;
extern const char* const kPlaceMessage;
extern const char* const kPlaceUpdateMessage;

}  // namespace dkedit::audit
