// User-input forms without the windows: a run of "$word ..." statements becomes a page description
// (every child window with its class, styles, rectangle, id and text, in creation order), and the
// answers read back from the windows become script variables. The prompt window creates what the
// page lists; nothing here knows about Win32.
//
// Layout: controls go down a column 220 wide from (10, 10); past y = 330 a new column starts 235 to
// the right; a statement that would open a fourth column starts the next page. Label heights count
// lines of 35 characters.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/run_state.h"

namespace dravik {

enum class FormKind {
    kEdit = 0,
    kMask = 1,
    kList = 2,
    kCbox = 3,
    kFile = 4,
    kDir = 5,
    kOpts = 6,
    kText = 7,
    kPwd = 8,
    kStop,
    kOther
};

enum class ChildClass { kStatic, kEdit, kComboBox, kButton };
enum class Subclass { kNone, kEdit, kCombo, kButton };

constexpr int kIdDone = 1068;    // IDC_CONTINUE
constexpr int kIdEnd = 1069;     // IDC_END
constexpr int kIdCancel = 1071;  // IDC_CANCEL
constexpr int kFirstFormId = 2000;
constexpr int kBrowseIdOffset = 4000;
constexpr int kFirstBrowseId = 3001;  // ids from here on are browse buttons
constexpr size_t kMaxChoices = 6;

// Window styles as the form uses them (values of the Win32 constants).
constexpr uint32_t kStyleLabel = 0x50000000;
constexpr uint32_t kStyleEdit = 0x50800080;
constexpr uint32_t kStyleMaskedEdit = 0x508000A0;
constexpr uint32_t kStyleList = 0x50B10203;
constexpr uint32_t kStyleCheckBox = 0x50010003;
constexpr uint32_t kStyleFirstRadio = 0x50030009;
constexpr uint32_t kStyleRadio = 0x50010009;
constexpr uint32_t kStyleButton = 0x50010000;
constexpr uint32_t kStyleDefaultButton = 0x50010001;
constexpr uint32_t kExClientEdge = 0x200;

struct FontMetrics {
    int height = 16;    // character height plus external leading
    int avg_width = 7;  // average character width
    int line_height() const { return 7 * height / 5; }
};

// One child window of a page.
struct ChildWindow {
    ChildClass cls = ChildClass::kStatic;
    std::string text;
    uint32_t style = kStyleLabel;
    uint32_t ex_style = 0;
    int x = 0, y = 0, w = 220, h = 0;
    int id = 0;
    Subclass subclass = Subclass::kNone;
    bool checked = false;
    bool enabled = true;
    std::vector<std::string> items;  // combo box entries
    int selected = -1;               // combo box selection
};

// One form statement and the windows that belong to it (indexes into FormPage::windows).
struct FormControl {
    FormKind kind = FormKind::kOther;
    std::string name;   // as written, with or without braces
    std::string label;  // the chooser's title for file and dir
    int label_window = -1;
    int control_window = -1;
    std::vector<int> choice_windows;
    std::vector<std::string> choices;
    bool has_chooser = false;
    std::string chosen_path;
};

struct RingEntry {
    std::string name;
    int window;
};

struct FormPage {
    std::vector<ChildWindow> windows;
    std::vector<FormControl> controls;
    std::vector<RingEntry> ring;  // in Tab order, buttons last
    int width = 245, height = 100;
    bool has_stop = false;
    int focus_window = -1;  // the window that gets the focus first
};

// The form being answered: its page, whether further statements wait for another page, and whether
// the current statement line is already in the log.
struct FormSession {
    FormPage page;
    bool more_pages = false;
    bool current_logged = true;
};

// Lines a label of `len` characters takes: A counts a last line of one character as none, B does not.
int label_lines_a(size_t len);
int label_lines_b(size_t len);

// Builds one page from the statement in run.statement and the lines after it, read through the
// run's script reader, which is left at the first line the page did not consume. Sets
// session.more_pages when the page was full. Throws std::bad_alloc only.
void build_form_page(RunState& run, const FontMetrics& metrics, FormSession& session);

// What the windows hold when the form is answered with Done.
class PageReader {
  public:
    virtual ~PageReader() = default;
    virtual std::string text(int window) = 0;
    virtual bool checked(int window) = 0;
    virtual std::string selected_item(int window) = 0;
};

// Stores every answer of the page in its variable, in statement order.
void collect_answers(const FormPage& page, PageReader& reader, VariableStore& vars);

// Whether two control names bind the same variable ("{Dir}" and "dir" do).
bool same_variable(std::string_view a, std::string_view b);

// Gives the chosen path of control `index` to the other controls bound to its variable: choosers
// take it as their path; the others get it as window text through `set_text`.
template <typename SetText>
void share_chosen_path(FormPage& page, size_t index, SetText set_text) {
    const FormControl& source = page.controls[index];
    for (size_t i = 0; i < page.controls.size(); ++i) {
        FormControl& c = page.controls[i];
        if (i == index || !same_variable(c.name, source.name)) continue;
        if (c.has_chooser) {
            c.chosen_path = source.chosen_path;
        } else if (c.control_window >= 0) {
            set_text(c.control_window, source.chosen_path);
        }
    }
}

}  // namespace dravik
