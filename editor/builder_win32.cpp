// The command builder in the main window: the command tree, the field list with its state icons,
// row activation through the field dialogs, the preview, completeness, and the Add, Analyze,
// Update, Delete, Reset Values, "<" and ">" buttons. Kinds come from the catalogue only.
#include "builder_win32.h"

#include <commctrl.h>

#include <cstdio>

#include "editor_win32.h"
#include "resource.h"
#include "script_catalogue.h"
#include "statement.h"

namespace dkedit {

namespace {

constexpr LPARAM kItemRow = 1000;  // list rows from here on are items of the item list
constexpr COLORREF kMask = RGB(255, 0, 255);

// A 16 by 16 image drawn with GDI, added to the list with the mask colour transparent.
template <typename Draw>
void add_image(HIMAGELIST list, Draw draw) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 16, 16);
    HGDIOBJ old = SelectObject(dc, bitmap);
    HBRUSH back = CreateSolidBrush(kMask);
    RECT all{0, 0, 16, 16};
    FillRect(dc, &all, back);
    DeleteObject(back);
    draw(dc);
    SelectObject(dc, old);
    ImageList_AddMasked(list, bitmap, kMask);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
}

void shape(HDC dc, COLORREF fill, COLORREF pen_colour, int pen_width, bool ellipse, RECT r) {
    HBRUSH brush = CreateSolidBrush(fill);
    HPEN pen = CreatePen(PS_SOLID, pen_width, pen_colour);
    HGDIOBJ ob = SelectObject(dc, brush), op = SelectObject(dc, pen);
    if (ellipse) {
        Ellipse(dc, r.left, r.top, r.right, r.bottom);
    } else {
        Rectangle(dc, r.left, r.top, r.right, r.bottom);
    }
    SelectObject(dc, ob);
    SelectObject(dc, op);
    DeleteObject(brush);
    DeleteObject(pen);
}

void line(HDC dc, COLORREF colour, int width, POINT a, POINT b) {
    HPEN pen = CreatePen(PS_SOLID, width, colour);
    HGDIOBJ op = SelectObject(dc, pen);
    MoveToEx(dc, a.x, a.y, nullptr);
    LineTo(dc, b.x, b.y);
    SelectObject(dc, op);
    DeleteObject(pen);
}

void polygon(HDC dc, COLORREF colour, const POINT* points, int count) {
    HBRUSH brush = CreateSolidBrush(colour);
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ ob = SelectObject(dc, brush), op = SelectObject(dc, pen);
    Polygon(dc, points, count);
    SelectObject(dc, ob);
    SelectObject(dc, op);
    DeleteObject(brush);
    DeleteObject(pen);
}

// Tree images in TreeIcon order: logo, computer with a question mark, toolbox, arrow head.
HIMAGELIST tree_images(HINSTANCE instance) {
    HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 4, 0);
    HICON logo = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_DKEDIT), IMAGE_ICON, 16, 16, 0));
    if (logo) {
        ImageList_AddIcon(list, logo);
        DestroyIcon(logo);
    } else {
        add_image(list, [](HDC dc) { shape(dc, RGB(0, 64, 160), RGB(0, 0, 0), 1, false, {1, 1, 15, 15}); });
    }
    add_image(list, [](HDC dc) {
        shape(dc, RGB(192, 192, 192), RGB(0, 0, 0), 1, false, {1, 2, 15, 12});
        line(dc, RGB(0, 0, 0), 1, {4, 14}, {12, 14});
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 0, 160));
        TextOutA(dc, 5, 1, "?", 1);
    });
    add_image(list, [](HDC dc) {
        shape(dc, RGB(200, 40, 30), RGB(80, 0, 0), 1, false, {1, 6, 15, 15});
        shape(dc, RGB(200, 40, 30), RGB(80, 0, 0), 1, false, {5, 3, 11, 7});
    });
    add_image(list, [](HDC dc) {
        const POINT arrow[] = {{5, 3}, {12, 8}, {5, 13}};
        polygon(dc, RGB(0, 96, 0), arrow, 3);
    });
    return list;
}

// Field state images in FieldIcon order: red minus, green check, pinwheel, no-entry sign.
HIMAGELIST field_images() {
    HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 4, 0);
    add_image(list, [](HDC dc) { line(dc, RGB(220, 0, 0), 3, {3, 8}, {13, 8}); });
    add_image(list, [](HDC dc) {
        line(dc, RGB(0, 160, 0), 3, {3, 8}, {6, 12});
        line(dc, RGB(0, 160, 0), 3, {6, 12}, {13, 3});
    });
    add_image(list, [](HDC dc) {
        const COLORREF colours[] = {RGB(220, 0, 0), RGB(0, 160, 0), RGB(0, 0, 220), RGB(230, 200, 0)};
        const POINT blades[4][3] = {{{8, 8}, {8, 1}, {14, 4}},
                                    {{8, 8}, {15, 8}, {12, 14}},
                                    {{8, 8}, {8, 15}, {2, 12}},
                                    {{8, 8}, {1, 8}, {4, 2}}};
        for (int i = 0; i < 4; ++i) polygon(dc, colours[i], blades[i], 3);
    });
    add_image(list, [](HDC dc) {
        shape(dc, RGB(220, 0, 0), RGB(160, 0, 0), 1, true, {1, 1, 15, 15});
        line(dc, RGB(255, 255, 255), 2, {4, 8}, {12, 8});
    });
    return list;
}

const Kind* shown_kind(const Editor& e) {
    if (e.shown < 0) return nullptr;
    const TreeItem& item = e.catalogue.tree()[static_cast<std::size_t>(e.shown)];
    return item.role == TreeRole::Group ? nullptr : e.catalogue.find(item.kind_id);
}

bool shows_items(const Editor& e, const Kind& kind) {
    if (!kind.user_interface) return false;
    const std::string& type = e.store.value(kind, "Message Type");
    return type == "List Box" || type == "Option Buttons";
}

void set_row(HWND list, int row, const std::string& label, const std::string& value, int image, LPARAM param) {
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    item.iItem = row;
    item.pszText = const_cast<char*>(label.c_str());
    item.iImage = image;
    item.lParam = param;
    SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    item.mask = LVIF_TEXT;
    item.iSubItem = 1;
    item.pszText = const_cast<char*>(value.c_str());
    SendMessageA(list, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
}

// Rebuilds the field list (keeping its scroll position), the preview and the completeness.
void refresh(Editor& e) {
    const int top = static_cast<int>(SendMessageA(e.fields, LVM_GETTOPINDEX, 0, 0));
    SendMessageA(e.fields, WM_SETREDRAW, FALSE, 0);
    SendMessageA(e.fields, LVM_DELETEALLITEMS, 0, 0);
    const Kind* kind = shown_kind(e);
    int row = 0;
    if (kind) {
        for (std::size_t i = 0; i < kind->fields.size(); ++i) {
            const Field& f = kind->fields[i];
            set_row(e.fields, row++, field_label(*kind, f, e.store), field_display(*kind, f, e.store),
                    static_cast<int>(field_icon(*kind, f, e.store)), static_cast<LPARAM>(i));
        }
        if (shows_items(e, *kind)) {
            const bool list = e.store.value(*kind, "Message Type") == "List Box";
            for (std::size_t i = 0; i <= e.store.items.size(); ++i) {
                char label[40] = "";
                if (i < e.store.items.size())
                    std::snprintf(label, sizeof label, list ? "List Item %d" : "Option %d", static_cast<int>(i + 1));
                const std::string value = i < e.store.items.size() ? e.store.items[i] : "";
                set_row(e.fields, row++, label, value,
                        static_cast<int>(value.empty() ? FieldIcon::Empty : FieldIcon::Set),
                        kItemRow + static_cast<LPARAM>(i));
            }
        }
    }
    if (top > 0 && row > 0) {
        RECT r{};
        r.left = LVIR_BOUNDS;
        SendMessageA(e.fields, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&r));
        SendMessageA(e.fields, LVM_SCROLL, 0, top * (r.bottom - r.top));
    }
    SendMessageA(e.fields, WM_SETREDRAW, TRUE, 0);
    SetWindowTextA(e.preview, kind ? preview_text(e.catalogue, *kind, e.store).c_str() : "");
    e.complete = kind && kind_complete(*kind, e.store);
}

HTREEITEM tree_handle(const Editor& e, int index) {
    for (const auto& [handle, i] : e.tree_items) {
        if (i == index) return handle;
    }
    return nullptr;
}

int tree_index_of(const Editor& e, const std::string& kind_id) {
    const auto& tree = e.catalogue.tree();
    for (std::size_t i = 0; i < tree.size(); ++i) {
        if (tree[i].kind_id == kind_id) return static_cast<int>(i);
    }
    return -1;
}

// Shows a kind (or group) as the tree selection would; also used after Analyze and "<" / ">".
void show(Editor& e, int index, bool keep_subops) {
    const TreeItem& item = e.catalogue.tree()[static_cast<std::size_t>(index)];
    if (item.role != TreeRole::Kind)
        SendMessageA(e.tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(tree_handle(e, index)));
    e.shown = index;
    const Kind* kind = shown_kind(e);
    if (kind && !keep_subops && (kind->family == Family::None || kind->family != e.subop_family)) {
        e.store.subops.clear();
        e.store.subop_index = 0;
    }
    if (kind) e.subop_family = kind->family;
    refresh(e);
}

void select_kind(Editor& e, const std::string& kind_id) {
    const int index = tree_index_of(e, kind_id);
    if (index < 0) return;
    e.keep_subops = true;
    SendMessageA(e.tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(tree_handle(e, index)));
    e.keep_subops = false;
    show(e, index, true);  // also when the item was already selected
}

void edit_text_field(Editor& e, const Kind& kind, const Field& field) {
    const std::string key = FieldStore::key(kind, field);
    const std::string old = e.store.get(key);
    StringRequest r;
    r.caption = field.prompt;
    r.kind_name = kind.name;
    r.value = field.opens_empty ? "" : old;
    r.mode = field.edit == EditCode::File             ? StringMode::File
             : field.edit == EditCode::Folder         ? StringMode::Folder
             : field.edit == EditCode::TextOrVariable ? StringMode::TextOrVariable
                                                      : StringMode::Plain;
    r.variable = old.size() >= 2 && old.front() == '{' && old.back() == '}';
    if (run_string_dialog(e.instance, e.window, r) != IDOK) return;
    std::string value = r.value.substr(0, FieldStore::kMaxText);
    const bool variable = field.edit == EditCode::Variable || (field.edit == EditCode::TextOrVariable && r.variable);
    if (variable) value = as_variable(value);
    if (field.accept) {
        std::optional<std::string> accepted = field.accept(value, old);
        if (!accepted) return;
        value = *accepted;
    }
    e.store.set(key, value);
}

void edit_item(Editor& e, std::size_t index) {
    if (index >= e.store.items.size()) e.store.items.emplace_back();
    StringRequest r;
    r.caption = "Option for the user to select";
    r.value = e.store.items[index];
    r.mode = StringMode::Item;
    const int result = run_string_dialog(e.instance, e.window, r);
    if (result == IDOK) e.store.items[index] = r.value.substr(0, FieldStore::kMaxText);
    if (result == IDC_STRING_BROWSE) e.store.items.erase(e.store.items.begin() + static_cast<long>(index));
}

// A value made in several dialogs one after another (the conversion subtype): stored only when
// every dialog is done.
void edit_in_steps(Editor& e, const Kind& kind, const Field& field) {
    std::vector<std::string> answers;
    for (const Field& step : field.edit_steps(kind, e.store)) {
        if (step.edit == EditCode::Choice) {
            int selected = -1;
            for (std::size_t i = 0; i < step.choices.size(); ++i) {
                if (step.choices[i].value == step.initial) selected = static_cast<int>(i);
            }
            const int chosen = run_option_dialog(e.instance, e.window, step, selected);
            if (chosen < 0) return;
            answers.push_back(step.choices[static_cast<std::size_t>(chosen)].value);
        } else {
            StringRequest r;
            r.caption = step.prompt;
            r.kind_name = kind.name;
            r.value = step.initial;
            r.mode = step.edit == EditCode::File ? StringMode::File : StringMode::Plain;
            if (run_string_dialog(e.instance, e.window, r) != IDOK) return;
            answers.push_back(r.value.substr(0, FieldStore::kMaxText));
        }
    }
    if (!answers.empty()) e.store.set(FieldStore::key(kind, field), field.combine_steps(kind, e.store, answers));
}

void activate_row(Editor& e, int row) {
    const Kind* kind = shown_kind(e);
    if (!kind || row < 0) return;
    LVITEMA item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!SendMessageA(e.fields, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return;
    if (item.lParam >= kItemRow) {
        edit_item(e, static_cast<std::size_t>(item.lParam - kItemRow));
    } else {
        const Field& field = kind->fields[static_cast<std::size_t>(item.lParam)];
        const std::string key = FieldStore::key(*kind, field);
        const std::string value = e.store.get(key);
        if (field.edit_steps) {
            edit_in_steps(e, *kind, field);
        } else if (field.edit == EditCode::Toggle) {
            e.store.set(key, value == field.choices[0].value ? field.choices[1].value : field.choices[0].value);
        } else if (field.edit == EditCode::Choice) {
            int selected = -1;
            for (std::size_t i = 0; i < field.choices.size(); ++i) {
                if (field.choices[i].value == value) selected = static_cast<int>(i);
            }
            const int chosen = run_option_dialog(e.instance, e.window, field, selected);
            if (chosen >= 0) e.store.set(key, field.choices[static_cast<std::size_t>(chosen)].value);
        } else {
            edit_text_field(e, *kind, field);
        }
        if (field.after_edit && e.store.get(key) != value) field.after_edit(*kind, e.store, value);
    }
    refresh(e);
}

void set_update_mode(Editor& e, bool on) {
    e.update_mode = on;
    SetWindowTextA(e.add, on ? "Upd&ate" : "&Add");
}

void apply(Editor& e, const TextEdit& edit) {
    SendMessageA(e.text, EM_SETSEL, edit.start, edit.end);
    SendMessageA(e.text, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(edit.insert.c_str()));
    SendMessageA(e.text, EM_SETSEL, edit.caret, edit.caret);
    SendMessageA(e.text, EM_SCROLLCARET, 0, 0);
}

void add(Editor& e) {
    const Kind* kind = shown_kind(e);
    if (!kind || !e.complete) return;
    DWORD start = 0, end = 0;
    SendMessageA(e.text, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const bool update = e.update_mode;
    // Update removes the analysed line first; the [Update] block replaces its section itself.
    const bool remove_line = update && kind->id != "update_section" && !kind->update_in_place;
    if (remove_line) {
        const std::string text = pane_text(e.text);
        const LineSpan l = line_at(text, start);
        SendMessageA(e.text, EM_SETSEL, l.begin, l.next);
        SendMessageA(e.text, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(""));
        start = end = static_cast<DWORD>(l.begin);
    }
    AddRequest request{pane_text(e.text), start, end, build_statement(e.catalogue, *kind, e.store), remove_line};
    const bool comment = kind->id == "script.comment" || kind->id == "audit.comment";
    const TextEdit edit =
        kind->add ? kind->add(*kind, e.store, request) : plan_add(request, !comment, kind->id == "add_section");
    if (edit.refused) {
        if (remove_line) SendMessageA(e.text, EM_UNDO, 0, 0);
        MessageBoxA(e.window, edit.message.c_str(), edit.caption.c_str(), MB_OK | MB_ICONEXCLAMATION);
    } else {
        apply(e, edit);
    }
    if (update) set_update_mode(e, false);
}

void analyze(Editor& e) {
    DWORD start = 0, end = 0;
    SendMessageA(e.text, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const std::string text = pane_text(e.text);
    const std::optional<std::string> id = analyze_line(e.catalogue, text, line_at(text, start).index, e.store);
    if (!id) return;
    select_kind(e, *id);
    set_update_mode(e, true);
}

void delete_text(Editor& e) {
    end_update_mode(e);
    DWORD start = 0, end = 0;
    SendMessageA(e.text, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    if (start == end) {
        const LineSpan l = line_at(pane_text(e.text), start);
        SendMessageA(e.text, EM_SETSEL, l.begin, l.next);
    }
    SendMessageA(e.text, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(""));
}

// ">": stores the part at the current index and moves on to the next sub-operation.
void next_part(Editor& e) {
    const Kind* kind = shown_kind(e);
    if (!kind || kind->family == Family::None || kind->head || !e.complete) return;
    if (kind->family == Family::Registry && e.store.get("reg.action") == "Delete Key" &&
        !e.store.get("reg.path").empty())
        return;
    std::size_t& index = e.store.subop_index;
    if (index + 1 >= FieldStore::kMaxSubops) return;
    if (e.store.subops.size() <= index + 1) e.store.subops.resize(index + 2);
    const std::string part = kind->compose(*kind, e.store);
    e.store.subops[index] = index == 0 ? family_head(kind->family, *kind, e.store) + " " + part : " " + part;
    ++index;
    const std::string& entry = e.store.subops[index];
    if (entry.empty()) {
        select_kind(e, kind->family == Family::File ? "file" : "registry");
        return;
    }
    if (std::optional<std::string> id = analyze_subop(e.catalogue, kind->family, entry, false, e.store)) {
        select_kind(e, *id);
    }
}

void previous_part(Editor& e) {
    const Kind* kind = shown_kind(e);
    std::size_t& index = e.store.subop_index;
    if (index == 0 || !kind) return;
    if (!e.complete && index < e.store.subops.size()) e.store.subops[index].clear();
    --index;
    const Family family = kind->family == Family::None ? e.subop_family : kind->family;
    if (index >= e.store.subops.size()) return;
    if (std::optional<std::string> id =
            analyze_subop(e.catalogue, family, e.store.subops[index], index == 0, e.store)) {
        select_kind(e, *id);
    }
}

}  // namespace

void create_builder(Editor& e) {
    // Delete's focus ends update mode too.
    SetWindowLongPtrA(e.remove, GWL_STYLE, GetWindowLongPtrA(e.remove, GWL_STYLE) | BS_NOTIFY);
    e.tree_images = tree_images(e.instance);
    e.field_images = field_images();
    SendMessageA(e.tree, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(e.tree_images));
    SendMessageA(e.fields, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(e.field_images));
    std::vector<HTREEITEM> parents;
    const auto& tree = e.catalogue.tree();
    for (std::size_t i = 0; i < tree.size(); ++i) {
        const TreeItem& t = tree[i];
        parents.resize(static_cast<std::size_t>(t.level));
        TVINSERTSTRUCTA insert{};
        insert.hParent = parents.empty() ? TVI_ROOT : parents.back();
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
        insert.item.pszText = const_cast<char*>(t.label.c_str());
        insert.item.iImage = static_cast<int>(t.icon);
        insert.item.iSelectedImage = static_cast<int>(t.selected_icon);
        insert.item.lParam = static_cast<LPARAM>(i);
        HTREEITEM handle =
            reinterpret_cast<HTREEITEM>(SendMessageA(e.tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
        e.tree_items.emplace_back(handle, static_cast<int>(i));
        parents.push_back(handle);
    }
    reset_builder(e);
    e.shown = 0;
    SendMessageA(e.tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(tree_handle(e, 0)));
}

void destroy_builder(Editor& e) {
    if (e.tree_images) ImageList_Destroy(e.tree_images);
    if (e.field_images) ImageList_Destroy(e.field_images);
    e.tree_images = e.field_images = nullptr;
}

void reset_builder(Editor& e) {
    e.catalogue.reset(e.store);
    refresh(e);
}

void end_update_mode(Editor& e) {
    if (e.update_mode) set_update_mode(e, false);
}

bool builder_command(Editor& e, int id, int code) {
    switch (id) {
        case IDC_ADD:
            add(e);
            return true;
        case IDC_ANALYZE:
            analyze(e);
            return true;
        case IDC_DELETE:
            if (code == BN_SETFOCUS) {
                end_update_mode(e);
            } else {
                delete_text(e);
            }
            return true;
        case IDC_RESET:
            reset_builder(e);
            return true;
        case IDC_NEXT:
            next_part(e);
            return true;
        case IDC_PREVIOUS:
            previous_part(e);
            return true;
        default:
            return false;
    }
}

void builder_notify(Editor& e, const NMHDR& header) {
    if (header.hwndFrom == e.tree && header.code == TVN_SELCHANGEDA) {
        const auto& changed = reinterpret_cast<const NMTREEVIEWA&>(header);
        const int index = static_cast<int>(changed.itemNew.lParam);
        if (index == e.shown) return;
        show(e, index, e.keep_subops);
    } else if (header.hwndFrom == e.fields && (header.code == NM_DBLCLK || header.code == NM_RETURN)) {
        activate_row(e,
                     static_cast<int>(SendMessageA(e.fields, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED)));
    }
}

}  // namespace dkedit
