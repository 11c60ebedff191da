// Documents: New, Open, Save and Save As, the save prompts and the window title.
#include <windows.h>

#include <commdlg.h>

#include <vector>

#include "editor_win32.h"
#include "engine/file_replace.h"

namespace dkedit {

const char kCloseQuestion[] = "Would you like to save this SDF?";

namespace {

const char kPromptCaption[] = "Save SDF?";

void error_box(Editor& e, const char* what, const std::string& path) {
    std::string text = std::string(what) + "\"" + path + "\"";
    MessageBoxA(e.window, text.c_str(), "Error", MB_OK | MB_ICONERROR);
}

void set_clean(Editor& e) {
    e.modified = false;
    SetWindowTextA(e.window, document_title(e.path).c_str());
}

std::string directory_of(const std::string& path) {
    std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool ask_open_path(Editor& e, std::string& path) {
    char name[MAX_PATH] = "";
    const std::string folder = directory_of(e.path);
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = e.window;
    ofn.lpstrFilter =
        "SDF and Audit Files (*.SDF;*.INI)\0*.SDF;*.INI\0SDF Files, (*.SDF)\0*.SDF\0"
        "Audit Files, (*.INI)\0*.INI\0All Files, (*.*)\0*.*\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = name;
    ofn.nMaxFile = sizeof name;
    ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    ofn.lpstrTitle = "Select File";
    ofn.Flags = OFN_EXPLORER | OFN_LONGNAMES;
    if (!GetOpenFileNameA(&ofn)) return false;
    path = name;
    return true;
}

bool ask_save_path(Editor& e, std::string& path) {
    char name[MAX_PATH] = "";
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = e.window;
    ofn.lpstrFilter = "SDF Files, (*.SDF)\0*.SDF\0Audit Files, (*.INI)\0*.INI\0All Files (*.*)\0*.*\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = name;
    ofn.nMaxFile = sizeof name - 4;  // room for ".SDF"
    ofn.lpstrTitle = "Input File Name";
    ofn.Flags = OFN_EXPLORER | OFN_LONGNAMES | OFN_OVERWRITEPROMPT;
    if (!GetSaveFileNameA(&ofn)) return false;
    path = with_default_extension(name);
    return true;
}

// Writes the bytes beside the target ("path@") and lets the one replace primitive put them in place,
// so a failed write never leaves the old document cut.
bool write_file(const std::string& path, const std::string& bytes) {
    const std::string temporary = path + "@";
    HANDLE h = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = bytes.empty() || (WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                                written == bytes.size());
    ok = FlushFileBuffers(h) && ok;
    CloseHandle(h);
    if (ok && dravik::replace_file(temporary, path)) return true;
    DeleteFileA(temporary.c_str());
    return false;
}

}  // namespace

std::string pane_text(HWND edit) {
    std::vector<char> buffer(static_cast<std::size_t>(GetWindowTextLengthA(edit)) + 1);
    int got = GetWindowTextA(edit, buffer.data(), static_cast<int>(buffer.size()));
    return std::string(buffer.data(), static_cast<std::size_t>(got > 0 ? got : 0));
}

const char* open_question(const Editor& e) {
    return e.path.empty() ? "Would you like to save this new SDF?" : "Would you like to save changes to this SDF?";
}

bool save_prompt(Editor& e, const char* question) {
    if (!e.modified) return true;
    if (MessageBoxA(e.window, question, kPromptCaption, MB_YESNO) != IDYES) return true;
    // A cancelled or failed save cancels what was asked for: the edits must not be lost.
    return save_document(e, false);
}

void new_document(Editor& e) {
    if (!save_prompt(e, kCloseQuestion)) return;
    SetWindowTextA(e.text, "");
    e.path.clear();
    set_clean(e);
}

void open_document(Editor& e, const std::string& request) {
    if (!save_prompt(e, open_question(e))) return;
    std::string path = path_from_open_text(request);
    if (path.empty() && !ask_open_path(e, path)) return;
    SetWindowTextA(e.text, "");
    SendMessageA(e.text, EM_SETSEL, 0, 0);
    HANDLE h =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error_box(e, "Could not open or create ", path);
        return;
    }
    e.path = path;
    std::string bytes;
    char block[499];
    DWORD got = 0;
    while (ReadFile(h, block, sizeof block, &got, nullptr) && got > 0) bytes.append(block, got);
    CloseHandle(h);
    // The whole text in one step: inserting blocks one by one could split a CR LF pair.
    SetWindowTextA(e.text, bytes.c_str());
    SendMessageA(e.text, EM_SETSEL, 0, 0);
    SendMessageA(e.text, EM_SCROLLCARET, 0, 0);
    SetFocus(e.text);
    set_clean(e);
    remember_recent(e.path);
}

bool save_document(Editor& e, bool save_as) {
    if (e.path.empty() || save_as) {
        std::string chosen;
        if (!ask_save_path(e, chosen)) return false;
        e.path = chosen;
    }
    if (!write_file(e.path, save_text(split_lines(pane_text(e.text))))) {
        error_box(e, "Could not save ", e.path);
        return false;
    }
    set_clean(e);
    remember_recent(e.path);
    return true;
}

}  // namespace dkedit
