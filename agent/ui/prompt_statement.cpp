#include "prompt_statement.h"

#include <new>

#include "engine/expand.h"
#include "engine/text.h"

namespace dravik {

namespace {

// The text of a message or question starting at `pos`: a quoted argument, or the rest of the line
// with environment references replaced before variables.
std::string prompt_text(RunState& run, size_t pos) {
    StatementCursor& st = run.statement;
    st.pos = skip_blanks(st.text, pos);
    if (st.pos < st.text.size() && st.text[st.pos] == '"') return run.read_argument(true);
    std::string rest = st.pos < st.text.size() ? st.text.substr(st.pos) : std::string();
    return expand_variables(expand_environment(rest, run.services.environment), run.vars);
}

// The message-box flag holds the activity bar still while a box is open.
int show_box(RunState& run, PromptHost& host, const std::string& text, unsigned flags) {
    run.message_box = true;
    int answer = host.message_box(text, "Dravik Message", flags);
    run.message_box = false;
    return answer;
}

bool run_form(RunState& run, PromptHost& host, FormSession& session) {
    run.log.write("Getting user input.\n");
    session.more_pages = true;
    session.current_logged = true;
    while (session.more_pages) {
        bool built = false;
        try {
            build_form_page(run, host.form_metrics(), session);
            built = host.show_page(session);
        } catch (const std::bad_alloc&) {
        }
        if (!built) {
            run.log.write("Error obtaining user input.\n");
            return false;
        }
        host.wait_for_answer();
    }
    return true;
}

}  // namespace

void answer_page(RunState& run, FormSession& session, int button_id, PageReader* reader) {
    if (button_id == kIdDone) {
        if (reader) collect_answers(session.page, *reader, run.vars);
        run.vars.set_variable("MsgState", "OK");
    } else if (button_id == kIdCancel) {
        run.vars.set_variable("MsgState", "Cancel");
    } else if (button_id == kIdEnd) {
        session.more_pages = false;
        run.cancel = true;
    }
    session.page.controls.clear();
}

bool run_prompt_statement(RunState& run, PromptHost& host, FormSession& session) {
    const std::string& text = run.statement.text;
    const size_t at = run.statement.pos;  // just after the '$'
    const char next = at < text.size() ? text[at] : '\0';
    if (next == ' ') {
        run.log.write("Displaying message to user.\n");
        show_box(run, host, prompt_text(run, at), kMessageFlags);
        run.vars.set_variable("MsgState", "OK");
        return true;
    }
    if (next == '?') {
        const int answer = show_box(run, host, prompt_text(run, at + 1), kQuestionFlags);
        run.vars.set_variable("MsgState", answer == kAnswerYes ? "Yes" : "No");
        return true;
    }
    return run_form(run, host, session);
}

}  // namespace dravik
