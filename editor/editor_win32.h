// The editor's one state object and the Win32 pieces that work on it (Win32 only).
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <utility>
#include <vector>

#include "catalogue.h"
#include "editor_core.h"

namespace dkedit {

// HTML Help through hhctrl.ocx, loaded on first use; after a failed load it stays silent.
class Help {
  public:
    ~Help();
    void show(HWND owner, int context);
    void close();

  private:
    using Entry = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);
    bool load();
    std::string file_;
    HMODULE module_ = nullptr;
    Entry entry_ = nullptr;
    bool failed_ = false;
    bool used_ = false;
};

struct Editor {
    HINSTANCE instance = nullptr;
    HWND window = nullptr;
    HWND tree = nullptr, fields = nullptr, preview = nullptr, text = nullptr;
    HWND add = nullptr, analyze = nullptr, remove = nullptr, reset = nullptr, previous = nullptr, next = nullptr;
    HFONT font = nullptr;
    std::string path;
    bool modified = false;
    WindowPlacement placement;
    std::string last_search, last_replace;
    std::string command_line_file;
    Help help;
    // Command builder (builder_win32.cpp).
    Catalogue catalogue;
    FieldStore store;
    std::vector<std::pair<HTREEITEM, int>> tree_items;  // handle and index in catalogue.tree()
    int shown = -1;                                     // the tree item whose fields are shown
    Family subop_family = Family::None;                 // the command the sub-operation list belongs to
    bool keep_subops = false, complete = false, update_mode = false;
    HIMAGELIST tree_images = nullptr, field_images = nullptr;
};

// Main window (main_window_win32.cpp).
bool register_main_class(HINSTANCE instance);
HWND create_main_window(Editor& editor);
bool pre_translate(Editor& editor, MSG& msg);

// Documents (document_win32.cpp).
std::string pane_text(HWND edit);
void new_document(Editor& editor);
void open_document(Editor& editor, const std::string& request);
bool save_document(Editor& editor, bool save_as);
bool save_prompt(Editor& editor, const char* question);
const char* open_question(const Editor& editor);
extern const char kCloseQuestion[];

// Registry (settings_win32.cpp).
void read_placement(WindowPlacement& placement);
void write_placement(const WindowPlacement& placement);
void remember_recent(const std::string& path);
void rebuild_recent_menu(HMENU popup);

// Find and Replace (find_replace_win32.cpp).
void show_find(Editor& editor);
void show_replace(Editor& editor);

// Check Script (script_check_win32.cpp): reports the script's mistakes; the text stays as it is.
void check_script_command(Editor& editor);

}  // namespace dkedit
