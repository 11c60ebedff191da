// Edit > Check Script: runs the script check over the text pane and lists the findings, one a line,
// in a message box; the caret goes to the line of the first finding. The document is not changed.
#include <windows.h>

#include <string>

#include "editor_win32.h"
#include "script_check.h"

namespace dkedit {
namespace {

constexpr size_t kMaxListed = 25;  // a message box taller than the screen loses its buttons

}  // namespace

void check_script_command(Editor& e) {
    const auto findings = dravik::check_script(pane_text(e.text));
    if (findings.empty()) {
        MessageBoxA(e.window, "No mistakes found.", "Check Script", MB_OK | MB_ICONINFORMATION);
        return;
    }
    std::string text = std::to_string(findings.size()) + (findings.size() == 1 ? " finding:" : " findings:") + "\r\n";
    for (size_t i = 0; i < findings.size() && i < kMaxListed; ++i) {
        text += "\r\nLine " + std::to_string(findings[i].line) + ": " + findings[i].message;
    }
    if (findings.size() > kMaxListed) text += "\r\n... and " + std::to_string(findings.size() - kMaxListed) + " more";

    const auto start = SendMessageA(e.text, EM_LINEINDEX, static_cast<WPARAM>(findings.front().line - 1), 0);
    if (start >= 0) {
        SendMessageA(e.text, EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(start));
        SendMessageA(e.text, EM_SCROLLCARET, 0, 0);
    }
    MessageBoxA(e.window, text.c_str(), "Check Script", MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace dkedit
