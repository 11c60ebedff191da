// The command builder's catalogue: every kind the editor can write, its fields (label, edit
// behaviour, prompt or option title, choices, default, required flag, shared value slot) and the
// command tree with its two roots. Kinds carry small hooks for what a table cannot say: fields
// that are not applicable in a combination, conditional requirements, labels that change, the
// statement text and the Add placement. The window code works over this model only, so a kind
// added to the catalogue needs no window code of its own.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace dkedit {

// How a field is edited.
enum class EditCode {
    Text,            // T: string field dialog
    File,            // F: string field dialog with a file Browse
    Folder,          // D: string field dialog with a folder Browse
    Variable,        // V: stored and written with braces, listed without
    TextOrVariable,  // TV: "Text" / "Variable" radio buttons
    Number,          // N: whole number of seconds typed as text
    Choice,          // C: option field dialog
    Toggle,          // B: each activation flips between the two choices
    Item,            // I: one item of the user-interface command's item list
};

// Field state icon in the field list.
enum class FieldIcon { Empty, Set, Choice, NotApplicable };

// Icons of the command tree.
enum class TreeIcon { Logo, Audit, Toolbox, Arrow };

struct Choice {
    std::string value;  // the stored value (also the dialog's radio button text)
    std::string shown;  // the value shown in the field list, when it differs; empty = value
    const std::string& display() const { return shown.empty() ? value : shown; }
};

class FieldStore;
struct Kind;

struct Field {
    std::string label;
    EditCode edit = EditCode::Text;
    std::string prompt;           // string dialog caption, or the option dialog's title
    std::string description;      // option dialog only
    std::vector<Choice> choices;  // C: in dialog order; B: the two values, the first the default
    std::string initial;          // default value (C/B: a choice's value)
    bool required = false;
    // Fields with the same non-empty slot share one stored value across kinds.
    std::string slot;
    // Optional: true while the field is not applicable (value kept, not written).
    std::function<bool(const Kind&, const FieldStore&)> not_applicable;
    // Optional: required only in some combinations (overrides `required` when set).
    std::function<bool(const Kind&, const FieldStore&)> required_when;
    // Optional: the label shown, when it depends on other values.
    std::function<std::string(const Kind&, const FieldStore&)> label_when;
    // Shows the choice icon whatever it holds (unless not applicable).
    bool choice_icon = false;
    // The string dialog opens empty instead of with the stored value.
    bool opens_empty = false;
    // Optional: the value stored for a typed text given the old one; nothing keeps the old one.
    std::function<std::optional<std::string>(const std::string& typed, const std::string& old)> accept;
    // Optional: the value shown in the field list.
    std::function<std::string(const std::string& stored)> display;
    // Optional: the value shown in the field list, when it depends on other values.
    std::function<std::string(const Kind&, const FieldStore&)> display_when;
    // Optional: run after an edit stored a value (`old` is the value before), for couplings.
    std::function<void(const Kind&, FieldStore&, const std::string& old)> after_edit;
    // Optional: a field edited through dialogs that depend on other values, one after another;
    // each step is edited as that field would be (its `initial` preset). When every dialog is
    // done, `combine_steps` gives the value stored; a cancelled one leaves the value as it was.
    std::function<std::vector<Field>(const Kind&, const FieldStore&)> edit_steps;
    std::function<std::string(const Kind&, const FieldStore&, const std::vector<std::string>&)> combine_steps;
};

// Text pane change asked for by Add or Update: replace [start, end) with `insert`, leave the
// caret at `caret`; or refuse with a message box.
struct TextEdit {
    bool refused = false;
    std::string message, caption;
    std::size_t start = 0, end = 0;
    std::string insert;
    std::size_t caret = 0;
};

struct AddRequest {
    std::string text;  // the whole text pane (CR LF lines)
    std::size_t sel_start = 0, sel_end = 0;
    std::string statement;
    bool update_mode = false;  // the analysed line was already removed; caret at its start
};

// Sub-operation families: the file and registry commands are built of a head and parts.
enum class Family { None, File, Registry };

struct Kind {
    std::string id;    // unique, e.g. "script.comment", "audit.comment"
    std::string name;  // tree label
    std::vector<Field> fields;
    Family family = Family::None;
    bool head = false;  // "File" / "Registry": shows fields, never complete by itself
    bool never_complete = false;
    bool user_interface = false;  // owns the item list
    bool update_in_place = false;  // Update keeps the analysed line: the kind's Add rewrites its lines
    // Statement text of the kind (one line, or several CR LF lines for a section block).
    std::function<std::string(const Kind&, const FieldStore&)> compose;
    // Text shown in the preview when it differs from the statement (e.g. "[Update] ...").
    std::function<std::string(const Kind&, const FieldStore&)> preview;
    // Extra completeness condition beyond the required fields (e.g. the head's file name).
    std::function<bool(const Kind&, const FieldStore&)> complete_when;
    // Optional Add of its own (placement and insertion); otherwise the script Add is used.
    std::function<TextEdit(const Kind&, const FieldStore&, const AddRequest&)> add;
};

enum class TreeRole { Group, Kind, HeadKind };

struct TreeItem {
    std::string label;
    int level = 0;  // 0 = root
    TreeRole role = TreeRole::Group;
    TreeIcon icon = TreeIcon::Arrow;
    TreeIcon selected_icon = TreeIcon::Arrow;
    std::string kind_id;  // for Kind and HeadKind
};

// A part of the catalogue: the tree items under one root (the root first) and their kinds.
struct CatalogueRoot {
    std::vector<TreeItem> tree;
    std::vector<Kind> kinds;
    // Optional: reads a line that belongs to this root's kinds (`line_index` into the text's
    // lines) into the store; returns the kind id, or nothing when the line is not its own.
    // Analyze calls it for lines that no script form recognises, before taking them as a batch
    // command.
    std::function<std::optional<std::string>(const std::string& text, std::size_t line_index, FieldStore&)> analyze;
    // Optional: the same, asked first for every non-blank line, before the script's [Update] keys.
    std::function<std::optional<std::string>(const std::string& text, std::size_t line_index, FieldStore&)>
        analyze_first;
};

// Process-wide field values, item list and sub-operation list.
class FieldStore {
  public:
    static constexpr std::size_t kMaxText = 499;
    static constexpr std::size_t kMaxSubops = 20;

    // The slot of a field: its shared slot, or "<kind id>/<label>".
    static std::string key(const Kind& kind, const Field& field);
    const std::string& get(const std::string& key) const;
    void set(const std::string& key, std::string value);
    // By kind and label (the field must exist in the kind).
    const std::string& value(const Kind& kind, const std::string& label) const;
    void set_value(const Kind& kind, const std::string& label, std::string value);

    std::vector<std::string> items;   // user-interface list / option items
    std::vector<std::string> subops;  // sub-operation entries
    std::size_t subop_index = 0;

    void clear() {
        values_.clear();
        items.clear();
        subops.clear();
        subop_index = 0;
    }

  private:
    std::map<std::string, std::string> values_;
};

class Catalogue {
  public:
    Catalogue();  // the script root and the audit root (audit_catalogue())
    const std::vector<TreeItem>& tree() const { return tree_; }
    const Kind* find(const std::string& id) const;
    const std::vector<Kind>& kinds() const { return kinds_; }
    const std::vector<CatalogueRoot>& roots() const { return roots_; }

    // Every field of every kind to its default, lists emptied.
    void reset(FieldStore& store) const;

  private:
    std::vector<CatalogueRoot> roots_;
    std::vector<TreeItem> tree_;
    std::vector<Kind> kinds_;
};

// Field helpers used by the list, the dialogs and completeness.
bool field_not_applicable(const Kind& kind, const Field& field, const FieldStore& store);
bool field_required(const Kind& kind, const Field& field, const FieldStore& store);
std::string field_label(const Kind& kind, const Field& field, const FieldStore& store);
std::string field_display(const Kind& kind, const Field& field, const FieldStore& store);
FieldIcon field_icon(const Kind& kind, const Field& field, const FieldStore& store);
bool kind_complete(const Kind& kind, const FieldStore& store);

// The stored form of a variable reference typed as text: x, {x and x} all give {x}; empty stays.
std::string as_variable(const std::string& text);

}  // namespace dkedit
