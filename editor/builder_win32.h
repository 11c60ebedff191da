// The command builder's Win32 side: the tree, the field list, the field dialogs and the buttons
// (Win32 only). Everything it shows comes from the catalogue.
#pragma once

#include <windows.h>

#include <string>

#include "catalogue.h"

namespace dkedit {

struct Editor;

enum class StringMode { Plain, File, Folder, TextOrVariable, Item };

struct StringRequest {
    std::string caption;  // the field's prompt
    std::string value;    // in: shown; out: typed
    StringMode mode = StringMode::Plain;
    bool variable = false;  // TV: "Variable" selected
    std::string kind_name;  // Browse resolves shortcuts for Shortcut, keeps the name for Program Wait
};

constexpr int kOptionCount = 15;

// IDOK, IDCANCEL, or IDC_STRING_BROWSE for Remove.
int run_string_dialog(HINSTANCE instance, HWND owner, StringRequest& request);
// The index of the chosen choice, or -1.
int run_option_dialog(HINSTANCE instance, HWND owner, const Field& field, int selected);

void create_builder(Editor& editor);
void destroy_builder(Editor& editor);
void reset_builder(Editor& editor);
bool builder_command(Editor& editor, int id, int code);
void builder_notify(Editor& editor, const NMHDR& header);
void end_update_mode(Editor& editor);

}  // namespace dkedit
