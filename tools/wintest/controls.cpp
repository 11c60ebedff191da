// wintest commands on the common controls of another process: tree views and list views keep
// their items in the owner's memory, so the structures are placed there with VirtualAllocEx.
//
//   wintest treeselect <caption> <path>          selects the tree item "Root/Child/..." (labels)
//   wintest rows <caption> <id>                  list view rows: text|text of column 1|image
//   wintest rowselect <caption> <id> <row>       selects and focuses a list view row
//   wintest setsel <caption> <id> <start> <end>  sets an edit control's selection
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// A block of memory in the process that owns a window.
class Remote {
  public:
    Remote(HWND window, SIZE_T size) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (process_) address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    }
    ~Remote() {
        if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        if (process_) CloseHandle(process_);
    }
    Remote(const Remote&) = delete;
    Remote& operator=(const Remote&) = delete;
    char* at(SIZE_T offset) const { return static_cast<char*>(address_) + offset; }
    bool write(SIZE_T offset, const void* data, SIZE_T size) const {
        return WriteProcessMemory(process_, at(offset), data, size, nullptr) != 0;
    }
    bool read(SIZE_T offset, void* data, SIZE_T size) const {
        return ReadProcessMemory(process_, at(offset), data, size, nullptr) != 0;
    }
    bool ok() const { return address_ != nullptr; }

  private:
    HANDLE process_ = nullptr;
    void* address_ = nullptr;
};

constexpr SIZE_T kText = 1024;  // text buffer after the structure

struct ControlSearch {
    int id;
    HWND found;
};

BOOL CALLBACK match_control(HWND child, LPARAM lparam) {
    auto* s = reinterpret_cast<ControlSearch*>(lparam);
    if (GetDlgCtrlID(child) != s->id) return TRUE;
    s->found = child;
    return FALSE;
}

HWND control_with_id(HWND window, int id) {
    ControlSearch search{id, nullptr};
    EnumChildWindows(window, match_control, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string tree_label(HWND tree, const Remote& mem, HTREEITEM item) {
    TVITEMA t{};
    t.mask = TVIF_TEXT;
    t.hItem = item;
    t.pszText = mem.at(sizeof t);
    t.cchTextMax = kText;
    char text[kText] = "";
    if (!mem.write(0, &t, sizeof t) || !SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(mem.at(0))))
        return "";
    mem.read(sizeof t, text, kText - 1);
    return text;
}

int select_tree_item(HWND tree, const std::string& path) {
    Remote mem(tree, sizeof(TVITEMA) + kText);
    if (!mem.ok()) return 1;
    HTREEITEM item = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    std::size_t from = 0;
    for (;;) {
        const std::size_t slash = path.find('/', from);
        const std::string label = path.substr(from, slash == std::string::npos ? std::string::npos : slash - from);
        while (item && tree_label(tree, mem, item) != label) {
            item = reinterpret_cast<HTREEITEM>(
                SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)));
        }
        if (!item) return 1;
        if (slash == std::string::npos) break;
        item = reinterpret_cast<HTREEITEM>(
            SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item)));
        from = slash + 1;
    }
    return SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)) ? 0 : 1;
}

int print_rows(HWND list) {
    Remote mem(list, sizeof(LVITEMA) + kText);
    if (!mem.ok()) return 1;
    const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        std::string texts[2];
        int image = 0;
        for (int column = 0; column < 2; ++column) {
            LVITEMA item{};
            item.mask = LVIF_TEXT | LVIF_IMAGE;
            item.iItem = row;
            item.iSubItem = column;
            item.pszText = mem.at(sizeof item);
            item.cchTextMax = kText;
            char text[kText] = "";
            mem.write(0, &item, sizeof item);
            SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(mem.at(0)));
            mem.read(0, &item, sizeof item);
            mem.read(sizeof item, text, kText - 1);
            texts[column] = text;
            if (column == 0) image = item.iImage;
        }
        std::printf("%s|%s|%d\n", texts[0].c_str(), texts[1].c_str(), image);
    }
    return 0;
}

int select_row(HWND list, int row) {
    Remote mem(list, sizeof(LVITEMA));
    if (!mem.ok()) return 1;
    LVITEMA item{};
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    mem.write(0, &item, sizeof item);
    SetFocus(list);
    return SendMessageA(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(mem.at(0))) ? 0 : 1;
}

}  // namespace

bool is_control_command(const std::string& cmd) {
    return cmd == "treeselect" || cmd == "rows" || cmd == "rowselect" || cmd == "setsel";
}

int control_command(const std::string& cmd, HWND window, int argc, char** argv) {
    if (!window || argc < 4) return 1;
    if (cmd == "treeselect") return select_tree_item(control_with_id(window, 109), argv[3]);
    HWND control = control_with_id(window, std::atoi(argv[3]));
    if (!control) return 1;
    if (cmd == "rows") return print_rows(control);
    if (cmd == "rowselect" && argc >= 5) return select_row(control, std::atoi(argv[4]));
    if (cmd == "setsel" && argc >= 6) {
        SendMessageA(control, EM_SETSEL, std::atoi(argv[4]), std::atoi(argv[5]));
        return 0;
    }
    return 2;
}
