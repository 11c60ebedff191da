// Help through the HTML Help control: "Dravik.chm" beside the executable, HH_HELP_CONTEXT with the
// context of the place asked from. When hhctrl.ocx cannot be loaded, help does nothing from then on.
#include <windows.h>

#include "editor_win32.h"

namespace dkedit {
namespace {

constexpr UINT kHelpContext = 0x0F;  // HH_HELP_CONTEXT
constexpr UINT kCloseAll = 0x12;     // HH_CLOSE_ALL

}  // namespace

Help::~Help() {
    if (module_) FreeLibrary(module_);
}

bool Help::load() {
    if (entry_) return true;
    if (failed_) return false;
    module_ = LoadLibraryA("hhctrl.ocx");
    entry_ = module_ ? reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module_, "HtmlHelpA"))) : nullptr;
    if (!entry_) {
        failed_ = true;
        return false;
    }
    char exe[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    file_ = exe;
    std::size_t slash = file_.find_last_of("\\/");
    file_ = file_.substr(0, slash == std::string::npos ? 0 : slash + 1) + "Dravik.chm";
    return true;
}

void Help::show(HWND owner, int context) {
    if (!load()) return;
    used_ = true;
    entry_(owner, file_.c_str(), kHelpContext, static_cast<DWORD_PTR>(context));
}

// At the end the help windows this program opened are closed.
void Help::close() {
    if (used_ && entry_) entry_(nullptr, nullptr, kCloseAll, 0);
    used_ = false;
}

}  // namespace dkedit
