// The '$' statements: a message ("$ text"), a question ("$?text") and an input form (any other
// "$word" line and the form statements after it), page by page. Platform-neutral: the boxes,
// windows and the wait are the host's.
#pragma once

#include <string>

#include "form_layout.h"

namespace dravik {

constexpr unsigned kMessageFlags = 0x1030;   // OK, exclamation icon, system-modal
constexpr unsigned kQuestionFlags = 0x1024;  // Yes and No, question icon, system-modal
constexpr int kAnswerYes = 6;                // IDYES

class PromptHost {
  public:
    virtual ~PromptHost() = default;
    // A message box owned by the status window; returns the button chosen.
    virtual int message_box(const std::string& text, const std::string& caption, unsigned flags) = 0;
    virtual FontMetrics form_metrics() = 0;
    // Creates and shows the windows of session.page; false when they cannot be made.
    virtual bool show_page(FormSession& session) = 0;
    // Waits for Done, Cancel or End while dispatching the prompt window's messages; returns at once
    // (false) when the running flag is clear.
    virtual bool wait_for_answer() = 0;
};

// How a page was left: Done stores the answers (read through `reader`) and sets MsgState "OK";
// Cancel sets "Cancel" and stores nothing, a further page still follows; End stores nothing, shows
// no further page and stops the script. The page's controls are freed in every case.
void answer_page(RunState& run, FormSession& session, int button_id, PageReader* reader);

// Runs the '$' statement in run.statement (position after the '$'). False when a form page could
// not be built: the section then fails.
bool run_prompt_statement(RunState& run, PromptHost& host, FormSession& session);

}  // namespace dravik
