// The prompt window's state: the form being answered, its windows and font, the focus ring, and the
// passphrase typed at the passphrase prompt. Belongs to the worker thread. Win32 only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "focus_ring.h"
#include "form_layout.h"
#include "prompt_statement.h"

namespace dravik {

class AgentApp;

class PromptState : public PromptHost {
  public:
    explicit PromptState(AgentApp& app) : app(app) {}
    ~PromptState() override;
    PromptState(const PromptState&) = delete;
    PromptState& operator=(const PromptState&) = delete;

    int message_box(const std::string& text, const std::string& caption, unsigned flags) override;
    FontMetrics form_metrics() override;
    bool show_page(FormSession& session) override;
    bool wait_for_answer() override;

    // Hides the window and destroys the page's controls (a form left open when the run ends).
    void close_page();
    // Overwrites the passphrase's characters before letting it go.
    void forget_passphrase();

    AgentApp& app;
    FormSession session;
    std::vector<HWND> windows;  // the page's child windows, as session.page.windows
    HFONT font = nullptr;
    FocusRing ring;
    HWND passphrase_edit = nullptr;  // set while the passphrase prompt is up
    bool passphrase_ok = false;
    std::string passphrase;  // at most 255 characters; kept in memory only
};

// Shows the passphrase prompt and waits for it at most 120 seconds.
void run_passphrase_prompt(AgentApp& app);

}  // namespace dravik
