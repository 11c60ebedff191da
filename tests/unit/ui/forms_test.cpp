// Input forms without windows: the page layout over whole scripts, the answers, the focus order,
// and the '$' statements through a recording host.
#include <gtest/gtest.h>

#include <map>

#include "engine/fakes.h"
#include "ui/focus_ring.h"
#include "ui/prompt_statement.h"

namespace dravik {
namespace {

// Shows nothing; answers each page with the next button of `buttons` (Done when none is left),
// reading the windows' answers from `texts` and `checked` by window id.
struct FakeHost : PromptHost, PageReader {
    RunState* run = nullptr;
    std::vector<FormPage> pages;
    std::vector<int> buttons;
    std::map<int, std::string> texts;
    std::map<int, bool> checked_ids;
    std::vector<std::pair<std::string, unsigned>> boxes;
    int box_answer = kAnswerYes;
    bool fail_page = false;

    int message_box(const std::string& text, const std::string&, unsigned flags) override {
        EXPECT_TRUE(run->message_box);
        boxes.push_back({text, flags});
        return box_answer;
    }
    FontMetrics form_metrics() override { return FontMetrics{16, 7}; }  // lh = 22
    bool show_page(FormSession& s) override {
        pages.push_back(s.page);
        return !fail_page;
    }
    // Answers the page just shown.
    bool wait_for_answer() override {
        const size_t n = pages.size() - 1;
        answer_page(*run, *session, n < buttons.size() ? buttons[n] : kIdDone, this);
        return true;
    }
    FormSession* session = nullptr;

    int id(int w) { return pages.back().windows[w].id; }
    std::string text(int w) override { return texts.count(id(w)) ? texts[id(w)] : pages.back().windows[w].text; }
    bool checked(int w) override {
        return checked_ids.count(id(w)) ? checked_ids[id(w)] : pages.back().windows[w].checked;
    }
    std::string selected_item(int w) override {
        const ChildWindow& s = pages.back().windows[w];
        return s.selected < 0 ? std::string() : s.items[s.selected];
    }
};

struct Forms : test::TestRun {
    FakeHost host;
    FormSession session;

    std::string run_form_script(const std::string& common) {
        host.run = &run;
        host.session = &session;
        StatementHandlers h;
        h.prompt = [this](RunState& r) { return run_prompt_statement(r, host, session); };
        run_script("[Common]\r\n" + common + "[Cleanup]\r\n", h);
        return log();
    }
    std::string var(const char* name) { return run.vars.value_or_empty(name); }
};

const ChildWindow& window_with_id(const FormPage& p, int id) {
    for (const ChildWindow& w : p.windows) {
        if (w.id == id) return w;
    }
    static ChildWindow none;
    ADD_FAILURE() << "no window " << id;
    return none;
}

using Rect = std::vector<int>;
Rect rect(const ChildWindow& s) { return {s.x, s.y, s.w, s.h}; }

TEST(FormLayout, LabelLinesAtTheWrappingBoundary) {
    const struct {
        size_t len;
        int a, b;
    } cases[] = {{0, 0, 0}, {1, 0, 1}, {2, 1, 1}, {35, 1, 1}, {36, 1, 2}, {37, 2, 2}, {70, 2, 2}, {71, 2, 3}};
    for (const auto& c : cases) {
        EXPECT_EQ(label_lines_a(c.len), c.a) << c.len;
        EXPECT_EQ(label_lines_b(c.len), c.b) << c.len;
    }
}

TEST(FormLayout, OnePageOfEveryControlKind) {
    Forms f;
    const std::string label36(36, 'x');
    f.run_form_script("$edit name \"" + label36 +
                      "\" Bob\r\n"
                      "\r\n"  // an empty line does not end the form
                      "; a comment inside the form\r\n"
                      "$pwd secret Secret\r\n"
                      "$cbox agree \"I agree\" YES\r\n"
                      "$cbox silent\r\n"
                      "$list colour Colour blue red green\r\n"
                      "$opts size Size M S M L \r\n"
                      "$file doc \"" +
                      label36 +
                      "\"\r\n"
                      "$text Hello\r\n"
                      "$frobnicate x\r\n"
                      "$stop\r\n"
                      "$edit later Later\r\n");
    ASSERT_EQ(f.host.pages.size(), 2u);  // $stop ended the first page
    const FormPage& p = f.host.pages[0];
    EXPECT_EQ(rect(window_with_id(p, 2000)), (Rect{10, 10, 220, 2 * 22 + 10}));  // 36 characters: A = 1
    EXPECT_EQ(rect(window_with_id(p, 2001)), (Rect{10, 32, 220, 22}));
    EXPECT_EQ(window_with_id(p, 2001).style, kStyleEdit);
    EXPECT_EQ(window_with_id(p, 2003).style, kStyleMaskedEdit);
    EXPECT_EQ(rect(window_with_id(p, 2003)), (Rect{10, 86, 220, 22}));
    const ChildWindow& agree = window_with_id(p, 2004);
    EXPECT_TRUE(agree.checked);
    EXPECT_EQ(rect(agree), (Rect{10, 118, 220, 22}));
    EXPECT_EQ(rect(window_with_id(p, 2005)), (Rect{10, 140, 220, 10}));  // the spacer; "$cbox silent" makes nothing
    const ChildWindow& list = window_with_id(p, 2007);
    EXPECT_EQ(list.items, (std::vector<std::string>{"red", "green"}));
    EXPECT_EQ(list.selected, 0);  // the default "blue" is not an item
    EXPECT_EQ(rect(list), (Rect{10, 172, 220, 80}));
    // Size label, then S, M, L and an empty fourth choice after the trailing blank.
    EXPECT_EQ(window_with_id(p, 2009).style, kStyleFirstRadio);
    EXPECT_EQ(window_with_id(p, 2010).style, kStyleRadio);
    EXPECT_TRUE(window_with_id(p, 2010).checked);
    EXPECT_EQ(window_with_id(p, 2012).text, "");
    EXPECT_EQ(rect(window_with_id(p, 2013)), (Rect{10, 314, 220, 10}));
    EXPECT_EQ(rect(window_with_id(p, 2014)), (Rect{10, 324, 220, 3 * 22 + 10}));  // file label: B + 1 lines
    EXPECT_EQ(rect(window_with_id(p, 6015)), (Rect{10, 368, 140, 22}));
    EXPECT_EQ(rect(window_with_id(p, 2016)), (Rect{245, 10, 220, 22 / 2 + 22}));  // y passed 330: second column
    // Finishing: maxY 400 is not below 460 - 90, so H stays; the buttons are centred in 480.
    EXPECT_EQ(p.width, 480);
    EXPECT_EQ(p.height, 460);
    EXPECT_EQ(rect(window_with_id(p, kIdDone)), (Rect{(480 - (3 * 56 + 15)) / 2 + 4, 400, 56, 22}));
    EXPECT_EQ(window_with_id(p, kIdCancel).x, window_with_id(p, kIdDone).x + 61);
    EXPECT_TRUE(window_with_id(p, kIdEnd).enabled);
    EXPECT_FALSE(f.host.pages[1].has_stop);
    std::vector<std::string> ring;
    for (const RingEntry& e : p.ring) ring.push_back(e.name);
    EXPECT_EQ(ring, (std::vector<std::string>{"name", "secret", "agree", "colour", "size", "doc", "btnContinue",
                                              "btnCancel", "btnEnd"}));
    // Done stores every answer; the second page is answered too.
    EXPECT_EQ(f.var("name"), "Bob");
    EXPECT_EQ(f.var("agree"), "Yes");
    EXPECT_EQ(f.var("silent"), "No");
    EXPECT_EQ(f.var("colour"), "red");
    EXPECT_EQ(f.var("size"), "M");
    EXPECT_EQ(f.var("doc"), "doc");
    EXPECT_EQ(f.var("MsgState"), "OK");
}

TEST(FormLayout, ColumnsPagesAndTheCarriedStatement) {
    Forms f;
    std::string body;
    for (int i = 0; i < 45; ++i) body += "$edit v" + std::to_string(i) + "\r\n";  // 32 rows each
    body += "@SET after = 1\r\n";
    std::string log = f.run_form_script(body);
    ASSERT_EQ(f.host.pages.size(), 2u);
    const FormPage& p = f.host.pages[0];
    // 11 rows per column (y > 330 after the eleventh), three columns, the 34th statement waits.
    EXPECT_EQ(p.controls.size(), 33u);
    EXPECT_EQ(p.windows[11].x, 245);
    EXPECT_EQ(p.windows[22].x, 480);
    EXPECT_EQ(p.width, 480 + 220 + 10);  // widened so that the third column can be seen
    EXPECT_EQ(p.height, 362 + 90);       // the lowest row plus room for the buttons
    EXPECT_EQ(f.host.pages[1].controls.size(), 12u);
    EXPECT_EQ(f.host.pages[1].controls[0].name, "v33");
    EXPECT_EQ(f.host.pages[1].width, 480);
    EXPECT_FALSE(window_with_id(p, kIdEnd).enabled);
    // Every statement is logged once, the carried one too; the set after the form runs.
    EXPECT_NE(log.find("$edit v0, Getting user input.\n$edit v1, Getting user input.\n"), std::string::npos);
    EXPECT_NE(log.find("$edit v33, Getting user input."), std::string::npos);
    EXPECT_EQ(log.find("$edit v33, Getting user input.", log.find("$edit v33,") + 1), std::string::npos);
    EXPECT_NE(log.find("@SET after = 1, Variable set."), std::string::npos);
}

TEST(FormLayout, OptsStartsItsOwnColumnOrPage) {
    Forms f;
    f.run_form_script(
        "$edit a\r\n$edit b\r\n$edit c\r\n$edit d\r\n$edit e\r\n$edit f\r\n$edit g\r\n$edit h\r\n"
        "$edit i\r\n$opts o \"\" x p q r s t u v w\r\n");
    const FormPage& p = f.host.pages[0];
    // y = 298: 298 + 0 + 120 > 410, so the group moves to x = 250 and the window widens to 480.
    EXPECT_EQ(window_with_id(p, 2009).x, 250);
    EXPECT_EQ(window_with_id(p, 2009).y, 10);
    EXPECT_EQ(p.width, 480);
    EXPECT_EQ(p.controls.back().choices, (std::vector<std::string>{"p", "q", "r", "s", "t", "u"}));  // six at most
    EXPECT_EQ(f.var("o"), "");  // the default "x" is no choice: nothing checked
}

TEST(FormAnswers, EveryKindAndTheSharedPath) {
    Forms f;
    f.host.texts = {{2000, "first line\r\nsecond"}, {2001, "typed"}};
    f.host.checked_ids = {{2003, false}, {2006, true}};
    f.run.vars.set_variable("target", "C:\\old");
    f.run_form_script(
        "$edit e\r\n$edit {target}\r\n$mask m\r\n$cbox c Check yes\r\n"
        "$opts o \"\" x a b c\r\n$dir {Target} Where\r\n$file plain\r\n");
    EXPECT_EQ(f.var("e"), "first line");
    EXPECT_EQ(f.var("m"), "");  // a masked entry is never stored
    EXPECT_EQ(f.var("c"), "No");
    EXPECT_EQ(f.var("o"), "b");
    EXPECT_EQ(f.var("plain"), "plain");
    // The dir answers after the edit bound to the same variable: with no path chosen it gives back
    // the variable's value, which the edit has just set.
    EXPECT_EQ(f.var("target"), "typed");

    FormPage page = f.host.pages[0];
    FormControl& dir = page.controls[5];
    dir.chosen_path = "D:\\new";
    std::vector<std::pair<int, std::string>> set;
    share_chosen_path(page, 5, [&set](int w, const std::string& t) { set.push_back({w, t}); });
    EXPECT_EQ(set, (std::vector<std::pair<int, std::string>>{{page.controls[1].control_window, "D:\\new"}}));
    EXPECT_TRUE(same_variable("{Dir}", "dir"));
    EXPECT_FALSE(same_variable("{Dir}", "dirs"));
}

TEST(FormAnswers, CancelEndAndAFailedPage) {
    Forms cancel;
    cancel.host.buttons = {kIdCancel};
    std::string body;
    for (int i = 0; i < 34; ++i) body += "$edit v" + std::to_string(i) + " \"\" typed\r\n";
    cancel.run_form_script(body);
    ASSERT_EQ(cancel.host.pages.size(), 2u);  // the second page still follows
    EXPECT_EQ(cancel.var("v0"), "");
    EXPECT_EQ(cancel.var("v33"), "typed");
    EXPECT_EQ(cancel.var("MsgState"), "OK");

    Forms end;
    end.host.buttons = {kIdEnd};
    std::string log = end.run_form_script(body + "@SET after = 1\r\n");
    EXPECT_EQ(end.host.pages.size(), 1u);
    EXPECT_TRUE(end.run.cancel);
    EXPECT_EQ(end.var("after"), "");
    EXPECT_EQ(log.find("[Cleanup]"), std::string::npos);

    Forms failed;
    failed.host.fail_page = true;
    log = failed.run_form_script("$edit a\r\n@SET after = 1\r\n");
    EXPECT_NE(log.find("$edit a, Getting user input.\nError obtaining user input.\n"), std::string::npos);
    EXPECT_EQ(failed.var("after"), "");
    EXPECT_TRUE(failed.run.interrupted);
}

TEST(PromptStatements, MessagesQuestionsAndWhereAFormEnds) {
    Forms f;
    f.env.values["USER"] = "ann";
    f.host.box_answer = 7;  // No
    std::string log = f.run_form_script(
        "@SET who = Bob\r\n"
        "$ Hello {who} %USER%\r\n"
        "@SET first = {MsgState}\r\n"
        "$\"quoted {who}\" rest\r\n"
        "$?Continue?\r\n"
        "@SET second = {MsgState}\r\n"
        "$edit a\r\n"
        "$? Sure\r\n");
    ASSERT_EQ(f.host.boxes.size(), 3u);
    EXPECT_EQ(f.host.boxes[0], (std::pair<std::string, unsigned>{"Hello Bob ann", kMessageFlags}));
    EXPECT_EQ(f.host.boxes[1].first, "Continue?");
    EXPECT_EQ(f.host.boxes[1].second, kQuestionFlags);
    EXPECT_EQ(f.host.boxes[2].first, "Sure");  // "$?" ended the form and was read again
    EXPECT_EQ(f.var("first"), "OK");
    EXPECT_EQ(f.var("second"), "No");
    EXPECT_EQ(f.host.pages.size(), 2u);  // "$\"quoted" is a form statement with an unknown word
    EXPECT_NE(log.find("$ Hello {who} %USER%, Displaying message to user.\n"), std::string::npos);
    EXPECT_FALSE(f.run.message_box);
}

TEST(FocusRing, DuplicatesLongNamesAndWrapping) {
    FocusRing ring;
    EXPECT_TRUE(ring.add(std::string(60, 'n'), 1));
    EXPECT_FALSE(ring.add(std::string(51, 'N') + "other", 2));  // the same once cut to 51
    EXPECT_TRUE(ring.add("b", 3));
    EXPECT_FALSE(ring.add("B", 4));
    EXPECT_TRUE(ring.add("btnContinue", 5));
    EXPECT_EQ(ring.next(1), 3u);
    EXPECT_EQ(ring.next(5), 1u);
    EXPECT_EQ(ring.previous(1), 5u);
    EXPECT_EQ(ring.next(99), 1u);
    EXPECT_EQ(ring.previous(99), 5u);
    ring.clear();
    EXPECT_EQ(ring.next(1), 0u);
}

}  // namespace
}  // namespace dravik
