// The editor's settings in the registry (HKCU Software\Quorvel\DkEdit): window placement as
// double words, recent files as string values "1" to "10", and the Recent Files menu built from them.
#include <windows.h>

#include <string>
#include <vector>

#include "editor_win32.h"
#include "resource.h"

namespace dkedit {
namespace {

const char kKey[] = "Software\\Quorvel\\DkEdit";

class Key {
  public:
    explicit Key(bool create) {
        LONG r = create ? RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key_,
                                          nullptr)
                        : RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key_);
        if (r != ERROR_SUCCESS) key_ = nullptr;
    }
    ~Key() {
        if (key_) RegCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

void read_dword(HKEY key, const char* name, int& value) {
    DWORD data = 0, size = sizeof data, type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) == ERROR_SUCCESS &&
        type == REG_DWORD) {
        value = static_cast<int>(data);
    }
}

void write_dword(HKEY key, const char* name, unsigned value) {
    DWORD data = value;
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
}

std::vector<std::string> read_recent() {
    std::vector<std::string> entries;
    Key key(false);
    if (!key.get()) return entries;
    for (int i = 1; i <= kMaxRecent; ++i) {
        char data[MAX_PATH + 1] = "";
        DWORD size = sizeof data - 1, type = 0;
        const std::string name = std::to_string(i);
        if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
                ERROR_SUCCESS ||
            type != REG_SZ || !data[0]) {
            break;
        }
        entries.emplace_back(data);
    }
    return entries;
}

}  // namespace

void read_placement(WindowPlacement& p) {
    Key key(false);
    if (!key.get()) return;
    int maximized = 0;
    read_dword(key.get(), "Maximized", maximized);
    p.maximized = maximized != 0;
    read_dword(key.get(), "X", p.x);
    read_dword(key.get(), "Y", p.y);
    read_dword(key.get(), "Width", p.width);
    read_dword(key.get(), "Height", p.height);
}

void write_placement(const WindowPlacement& p) {
    Key key(true);
    if (!key.get()) return;
    const StoredSettings s = stored_settings(p);
    write_dword(key.get(), "Maximized", s.maximized);
    if (!s.has_position) return;
    write_dword(key.get(), "X", s.x);
    write_dword(key.get(), "Y", s.y);
    write_dword(key.get(), "Width", s.width);
    write_dword(key.get(), "Height", s.height);
}

void remember_recent(const std::string& path) {
    const std::vector<std::string> entries = add_recent(read_recent(), path);
    Key key(true);
    if (!key.get()) return;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string name = std::to_string(i + 1);
        RegSetValueExA(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(entries[i].c_str()),
                       static_cast<DWORD>(entries[i].size() + 1));
    }
}

void rebuild_recent_menu(HMENU popup) {
    // The Recent Files popup is the one whose first item is a recent file (or "No Files").
    const UINT first = GetMenuItemID(popup, 0);
    if (first < ID_RECENT_FIRST || first > ID_RECENT_LAST) return;
    while (GetMenuItemCount(popup) > 0) DeleteMenu(popup, 0, MF_BYPOSITION);
    const std::vector<std::string> entries = read_recent();
    if (entries.empty()) {
        AppendMenuA(popup, MF_STRING, ID_RECENT_FIRST, "No Files");
        return;
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        AppendMenuA(popup, MF_STRING, ID_RECENT_FIRST + i, recent_item_text(number, entries[i]).c_str());
    }
}

}  // namespace dkedit
