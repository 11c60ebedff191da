#include "form_layout.h"

#include <algorithm>

#include "engine/expand.h"
#include "engine/text.h"

namespace dravik {

namespace {

constexpr int kColumnWidth = 220;
constexpr int kColumnStep = 235;
constexpr int kWindowMargin = 10;  // least room from a column's right edge to the window's outer edge

struct Layout {
    int x = 10, y = 10, width = 245, height = 100, max_y = 0;
    int next_id = kFirstFormId;
    int lh = 0;

    // Moves down; in the first column the window grows with it.
    void grow(int d) {
        y += d;
        if (x < 220) height += d;
    }
};

class PageBuilder {
  public:
    PageBuilder(RunState& run, const FontMetrics& m, FormSession& s) : run_(run), m_(m), s_(s) {
        l_.lh = m.line_height();
    }
    void build();

  private:
    // Handles one statement; false when the page is full and the statement waits for the next.
    bool place_statement();
    int add(ChildWindow child) {
        child.id = l_.next_id++;
        page().windows.push_back(std::move(child));
        return static_cast<int>(page().windows.size()) - 1;
    }
    int add_label(const std::string& text, int height) {
        ChildWindow s;
        s.text = text;
        s.x = l_.x;
        s.y = l_.y;
        s.h = height;
        return add(std::move(s));
    }
    int add_spacer(int y) {
        ChildWindow s;
        s.x = l_.x;
        s.y = y;
        s.h = 10;
        return add(std::move(s));
    }
    // Name, label and default of an edit or list statement; a label goes above the control.
    std::string read_labelled_head(FormControl& c);
    void place_edit(FormControl& c, uint32_t style);
    void place_list(FormControl& c);
    void place_cbox(FormControl& c);
    bool place_opts(FormControl& c);
    void place_chooser(FormControl& c, bool folder);
    void place_text();
    void finish();
    FormPage& page() { return s_.page; }
    std::string arg(bool expand) { return run_.read_argument(expand); }

    RunState& run_;
    const FontMetrics& m_;
    FormSession& s_;
    Layout l_;
    bool stop_ = false;
};

FormKind kind_of(const std::string& word) {
    static const struct {
        const char* word;
        FormKind kind;
    } kWords[] = {{"edit", FormKind::kEdit}, {"pwd", FormKind::kPwd},   {"mask", FormKind::kMask},
                  {"list", FormKind::kList}, {"cbox", FormKind::kCbox}, {"opts", FormKind::kOpts},
                  {"file", FormKind::kFile}, {"dir", FormKind::kDir},   {"text", FormKind::kText},
                  {"stop", FormKind::kStop}};
    for (const auto& w : kWords) {
        if (iequals(word, w.word)) return w.kind;
    }
    return FormKind::kOther;
}

std::string PageBuilder::read_labelled_head(FormControl& c) {
    const int lh = l_.lh;
    c.name = arg(false);
    c.label = arg(true);
    std::string def = arg(true);
    if (!c.label.empty()) {
        const int a = label_lines_a(c.label.size());
        c.label_window = add_label(c.label, (a + 1) * lh + 10);
        l_.grow(a * lh);
    }
    return def;
}

void PageBuilder::place_edit(FormControl& c, uint32_t style) {
    const int lh = l_.lh;
    std::string def = read_labelled_head(c);
    ChildWindow e;
    e.cls = ChildClass::kEdit;
    e.text = def;
    e.style = style;
    e.ex_style = kExClientEdge;
    e.x = l_.x;
    e.y = l_.y;
    e.h = lh;
    e.subclass = Subclass::kEdit;
    c.control_window = add(std::move(e));
    l_.grow(lh + 10);
}

void PageBuilder::place_list(FormControl& c) {
    const int lh = l_.lh;
    std::string def = read_labelled_head(c);
    ChildWindow box;
    box.cls = ChildClass::kComboBox;
    box.style = kStyleList;
    box.ex_style = kExClientEdge;
    box.x = l_.x;
    box.y = l_.y;
    box.h = 80;
    box.subclass = Subclass::kCombo;
    for (;;) {
        std::string item = arg(true);
        if (item.empty()) break;
        if (item == def && box.selected < 0) box.selected = static_cast<int>(box.items.size());
        box.items.push_back(std::move(item));
    }
    if (box.selected < 0 && !box.items.empty()) box.selected = 0;
    c.control_window = add(std::move(box));
    l_.grow(lh + 10);
}

void PageBuilder::place_cbox(FormControl& c) {
    const int lh = l_.lh;
    c.name = arg(false);
    c.label = arg(true);
    std::string state = arg(true);
    if (c.label.empty()) return;
    ChildWindow box;
    box.cls = ChildClass::kButton;
    box.text = c.label;
    box.style = kStyleCheckBox;
    box.x = l_.x;
    box.y = l_.y;
    box.h = lh;
    box.subclass = Subclass::kButton;
    box.checked = iequals(state, "Yes");
    c.control_window = add(std::move(box));
    add_spacer(l_.y + lh);
    l_.grow(lh + 10);
}

bool PageBuilder::place_opts(FormControl& c) {
    const int lh = l_.lh;
    c.name = arg(false);
    c.label = arg(true);
    std::string def = arg(true);
    const int b = label_lines_b(c.label.size());
    if (l_.y + b * lh + 120 > 410) {
        if (l_.x > 245) return false;
        l_.x += 240;
        if (l_.x < 440) l_.width += kColumnStep;
        l_.height = 460;
        l_.y = 10;
    }
    if (!c.label.empty()) {
        c.label_window = add_label(c.label, b * lh);
        l_.grow(b * lh);
    }
    // Every token to the end of the line is a choice, an empty one after a trailing blank too; a
    // group holds six, further choices are dropped.
    while (run_.statement.pos < run_.statement.text.size()) {
        std::string choice = arg(true);
        if (c.choices.size() == kMaxChoices) continue;
        ChildWindow r;
        r.cls = ChildClass::kButton;
        r.text = choice;
        r.style = c.choice_windows.empty() ? kStyleFirstRadio : kStyleRadio;
        r.x = l_.x;
        r.y = l_.y;
        r.h = lh;
        r.subclass = Subclass::kButton;
        r.checked = choice == def;
        c.choice_windows.push_back(add(std::move(r)));
        c.choices.push_back(std::move(choice));
        l_.grow(lh);
    }
    add_spacer(l_.y);
    l_.grow(10);
    return true;
}

void PageBuilder::place_chooser(FormControl& c, bool folder) {
    const int lh = l_.lh;
    c.name = arg(false);
    c.label = arg(true);
    c.has_chooser = true;
    const size_t len = c.label.size();
    const int lines = folder ? label_lines_a(len) : label_lines_b(len);
    c.label_window = add_label(c.label, (lines + 1) * lh + 10);
    l_.grow(lines * lh);
    ChildWindow button;
    button.cls = ChildClass::kButton;
    button.text = folder ? "Browse For Folder" : "Browse For File";
    button.style = kStyleButton;
    button.x = l_.x;
    button.y = l_.y;
    button.w = 140;
    button.h = lh;
    button.subclass = Subclass::kButton;
    c.control_window = add(std::move(button));
    page().windows.back().id += kBrowseIdOffset;
    l_.grow(lh + 10);
}

void PageBuilder::place_text() {
    const int lh = l_.lh;
    std::string label = arg(true);
    const int a = label_lines_a(label.size());
    if (!label.empty()) add_label(label, a * lh + lh / 2);
    l_.y += a * lh + lh / 2;
    if (l_.x < 220) l_.height += a * lh;
}

bool PageBuilder::place_statement() {
    StatementCursor& st = run_.statement;
    st.pos = skip_blanks(st.text) + 1;
    const FormKind kind = kind_of(arg(false));
    FormControl c;
    c.kind = kind;
    switch (kind) {
        case FormKind::kEdit:
            place_edit(c, kStyleEdit);
            break;
        case FormKind::kPwd:
        case FormKind::kMask:
            place_edit(c, kStyleMaskedEdit);
            break;
        case FormKind::kList:
            place_list(c);
            break;
        case FormKind::kCbox:
            place_cbox(c);
            break;
        case FormKind::kOpts:
            if (!place_opts(c)) return false;
            break;
        case FormKind::kFile:
        case FormKind::kDir:
            place_chooser(c, kind == FormKind::kDir);
            break;
        case FormKind::kText:
            place_text();
            break;
        case FormKind::kStop:
            stop_ = true;
            page().has_stop = true;
            break;
        case FormKind::kOther:
            break;
    }
    if (kind == FormKind::kStop || kind == FormKind::kOther) return true;
    const int first = c.control_window >= 0 ? c.control_window : c.choice_windows.empty() ? -1 : c.choice_windows[0];
    if (first >= 0) page().ring.push_back({c.name, first});
    if (kind != FormKind::kText) page().controls.push_back(std::move(c));
    return true;
}

void PageBuilder::build() {
    ScriptReader& reader = run_.reader;
    page() = FormPage{};
    s_.more_pages = false;
    int32_t saved = reader.tell();
    std::string line = run_.statement.text;
    for (;;) {
        const size_t first = skip_blanks(line);
        if (!line.empty()) {
            if (first < line.size() && line[first] == ';') {
                if (!reader.read_line(line)) break;
                s_.current_logged = false;
                continue;
            }
            std::string_view rest = std::string_view(line).substr(std::min(first, line.size()));
            if (rest.empty() || rest[0] != '$' || rest.substr(0, 2) == "$ " || rest.substr(0, 2) == "$?") {
                reader.seek(saved, 0);
                break;
            }
            if (l_.y > 330) {
                l_.x += kColumnStep;
                if (l_.x < 440) l_.width += kColumnStep;
                l_.height = 460;
                l_.y = 10;
                if (l_.x > 500) {
                    s_.more_pages = true;
                    break;
                }
            }
            run_.statement.reset(line);
            if (!place_statement()) {
                s_.more_pages = true;
                break;
            }
            l_.max_y = std::max(l_.max_y, l_.y);
            if (!s_.current_logged) run_.log.line(std::string(rest) + ", Getting user input.\n");
            s_.current_logged = true;
        }
        saved = reader.tell();
        if (stop_ || !reader.read_line(line)) break;
        s_.current_logged = false;
    }
    // The statement that did not fit stays the current line for the next page.
    if (s_.more_pages) run_.statement.reset(line);
    finish();
}

void PageBuilder::finish() {
    const int lh = l_.lh;
    if (l_.max_y < l_.height - 90) l_.height = l_.max_y + 90;
    if (l_.width > 1000 || l_.y <= lh) l_.width = 240;
    // Whatever the arithmetic above gave, every column must lie inside the window.
    for (const ChildWindow& w : page().windows) l_.width = std::max(l_.width, w.x + kColumnWidth + kWindowMargin);

    const int bw = 8 * m_.avg_width;
    const int bx = (l_.width - (3 * bw + 15)) / 2 + 4;
    const int by = l_.height - 60;
    const struct {
        const char* text;
        int id;
        const char* ring;
        int dx;
    } kButtons[] = {{"Done", kIdDone, "btnContinue", 0},
                    {"Cancel", kIdCancel, "btnCancel", bw + 5},
                    {"End", kIdEnd, "btnEnd", 2 * bw + 10}};
    for (const auto& b : kButtons) {
        ChildWindow s;
        s.cls = ChildClass::kButton;
        s.text = b.text;
        s.style = b.id == kIdDone ? kStyleDefaultButton : kStyleButton;
        s.x = bx + b.dx;
        s.y = by;
        s.w = bw;
        s.h = lh;
        s.id = b.id;
        s.subclass = Subclass::kButton;
        s.enabled = b.id != kIdEnd || page().has_stop;
        page().windows.push_back(std::move(s));
        page().ring.push_back({b.ring, static_cast<int>(page().windows.size()) - 1});
    }
    page().width = l_.width;
    page().height = l_.height;

    page().focus_window = page().ring.front().window;
    if (!page().controls.empty()) {
        const FormControl& c = page().controls.front();
        if (c.control_window >= 0) {
            page().focus_window = c.control_window;
        } else if (!c.choice_windows.empty()) {
            page().focus_window = c.choice_windows.front();
        }
    }
}

std::string first_line(const std::string& text) {
    std::string s = text.substr(0, text.find_first_of("\r\n"));
    if (s.size() > kMaxArgument) s.resize(kMaxArgument);
    return s;
}

std::string_view without_braces(std::string_view name) {
    if (name.size() >= 2 && name.front() == '{' && name.back() == '}') return name.substr(1, name.size() - 2);
    return name;
}

}  // namespace

int label_lines_a(size_t len) {
    const int q = static_cast<int>(len / 35), r = static_cast<int>(len % 35);
    return r > 1 ? q + 1 : q;
}

int label_lines_b(size_t len) {
    const int q = static_cast<int>(len / 35), r = static_cast<int>(len % 35);
    return r > 0 ? q + 1 : q;
}

void build_form_page(RunState& run, const FontMetrics& metrics, FormSession& session) {
    PageBuilder(run, metrics, session).build();
}

bool same_variable(std::string_view a, std::string_view b) { return iequals(without_braces(a), without_braces(b)); }

void collect_answers(const FormPage& page, PageReader& reader, VariableStore& vars) {
    for (const FormControl& c : page.controls) {
        std::string answer;
        switch (c.kind) {
            case FormKind::kEdit:
            case FormKind::kPwd:
                answer = first_line(reader.text(c.control_window));
                break;
            case FormKind::kList:
                answer = reader.selected_item(c.control_window);
                break;
            case FormKind::kCbox:
                answer = c.control_window >= 0 && reader.checked(c.control_window) ? "Yes" : "No";
                break;
            case FormKind::kOpts:
                for (size_t i = 0; i < c.choice_windows.size(); ++i) {
                    if (reader.checked(c.choice_windows[i])) {
                        answer = c.choices[i];
                        break;
                    }
                }
                break;
            case FormKind::kFile:
            case FormKind::kDir:
                answer = c.chosen_path.empty() ? expand_variables(c.name, vars) : c.chosen_path;
                break;
            case FormKind::kMask:
                break;  // a masked entry is never stored; scripts rely on the empty value
            default:
                continue;
        }
        vars.set_variable(c.name, answer);
    }
}

}  // namespace dravik
