#include "engine/update_run.h"

#include <gtest/gtest.h>

#include <deque>

#include "fakes.h"

namespace dravik {
namespace {

using test::TestRun;

TEST(UpdateRun, FullRunLogsEveryStep) {
    TestRun t;
    t.run_script(
        "[Common]\r\n"
        "; first comment\r\n"
        "\r\n"
        "   ;indented\r\n"
        "[Cleanup]\r\n"
        ";bye\r\n");
    EXPECT_EQ(t.log(), "Processing " + t.script_path() +
                           ", Update = Test  Effective Date = 20091102\n"
                           "Searching for section, [Common]\n"
                           "Section found, Reading commands.\n"
                           "; first comment, Comment ignored.\n"
                           ";indented, Comment ignored.\n"
                           "Searching for section, [Cleanup]\n"
                           "Section found, Reading commands.\n"
                           ";bye, Comment ignored.\n"
                           "Update completed, Test\n");
    EXPECT_EQ(t.ui.starting, 1);
    EXPECT_EQ(t.ui.finished, 1);
    EXPECT_TRUE(t.ui.boxes.empty());
    EXPECT_FALSE(t.run.running);
    // Every prefixed entry carries the time prefix.
    EXPECT_EQ(test::read_file(t.log_path()).rfind("11/2/2009 14:05:01, Processing ", 0), 0u);
}

TEST(UpdateRun, ScriptWithoutCommonStillRunsCleanup) {
    TestRun t;
    t.run_script("[Cleanup]\r\n;c\r\n");
    EXPECT_EQ(t.log(), "Processing " + t.script_path() +
                           ", Update = Test  Effective Date = 20091102\n"
                           "Searching for section, [Common]\n"
                           "Searching for section, [Cleanup]\n"
                           "Section found, Reading commands.\n"
                           ";c, Comment ignored.\n"
                           "Update completed, Test\n");
}

TEST(UpdateRun, EffectiveDateRules) {
    struct Case {
        const char* options;
        bool runs;
        const char* logged_date;
    } cases[] = {
        {"effectivedate = 20991231\r\nwaitfordate = yes", false, ""},
        {"effectivedate = 20991231", true, "20991231"},
        {"effectivedate = 20991231\r\nwaitfordate = no", true, "20991231"},
        {"effectivedate = 20091102\r\nwaitfordate = Y", true, "20091102"},  // today is not before it
        {"effectivedate = 20000101\r\nwaitfordate = yes", true, "20000101"},
        {"effectivedate = 2099-1-1\r\nwaitfordate = yes", true, "00002099"},  // 8 characters, read as 2099
        {"effectivedate = 2099011\r\nwaitfordate = yes", true, "20091102"},   // 7 characters: today
        {"effectivedate = 209901011\r\nwaitfordate = yes", true, "20091102"},
        {"", true, "20091102"},
    };
    for (const auto& c : cases) {
        TestRun t;
        t.run_script(std::string("[Update]\r\nupdate = U\r\nlog = ") + t.log_path() + "\r\n" + c.options + "\r\n");
        if (!c.runs) {
            // The log was trimmed (emptied) before the date was checked; nothing is written to it.
            EXPECT_EQ(test::read_file(t.log_path()), "") << c.options;
            EXPECT_EQ(t.ui.starting, 0);
            continue;
        }
        EXPECT_NE(t.log().find(std::string("Effective Date = ") + c.logged_date + "\n"), std::string::npos)
            << c.options << "\n"
            << t.log();
    }
}

TEST(UpdateRun, NothingHappensWithoutAScriptOrAfterTheStop) {
    TestRun t;
    run_update(t.run, t.dir.file("missing.sdf"));
    run_update(t.run, "");
    EXPECT_EQ(t.ui.starting, 0);
    EXPECT_TRUE(std::filesystem::is_empty(t.dir.path()));

    TestRun s;
    s.ui.stop = true;
    s.run_script("[Common]\r\n;x\r\n");
    EXPECT_FALSE(std::filesystem::exists(s.log_path()));
    EXPECT_EQ(s.ui.starting, 0);
}

TEST(UpdateRun, NoLogOptionMeansNoLog) {
    TestRun t;
    t.run_script("[Update]\r\nupdate = Quiet\r\n[Common]\r\n;x\r\n");
    EXPECT_FALSE(t.run.log.enabled());
    EXPECT_EQ(t.ui.starting, 1);
    EXPECT_EQ(t.run.update_name, "Quiet");
}

TEST(UpdateRun, LogPathIsUnquotedAndExpanded) {
    TestRun t;
    t.env.values["LOGDIR"] = t.dir.path();
    t.run.vars.set_variable("Name", "run");
    t.run_script("[Update]\r\nupdate = U\r\nlog = \"%LOGDIR%/{Name}.log\"\r\n");
    EXPECT_TRUE(std::filesystem::exists(t.dir.file("run.log")));
    EXPECT_EQ(t.run.log.path(), t.dir.file("run.log"));
}

TEST(UpdateRun, EachLoggedRunStartsWithAnEmptiedLog) {
    TestRun t;
    test::write_file(t.log_path(), "old entries\r\nRunning DravikLT from somewhere\r\nmore\r\n");
    t.run_script("[Update]\r\nupdate = Second\r\nlog = " + t.log_path() + "\r\n");
    std::string log = t.log();
    EXPECT_EQ(log.find("old entries"), std::string::npos);
    EXPECT_EQ(log.find("Running DravikLT"), std::string::npos);
    EXPECT_EQ(log.rfind("Processing ", 0), 0u);
}

TEST(UpdateRun, UpdateNameAndMessageAreCut) {
    TestRun t;
    std::string name(200, 'n');
    t.run_script("[Update]\r\nupdate = " + name + "\r\nlog = " + t.log_path() + "\r\n");
    EXPECT_EQ(t.run.update_name, std::string(128, 'n'));
}

TEST(UpdateRun, CompletionMessages) {
    {
        TestRun t;
        t.run_script("[Update]\r\nupdate = Office\r\npauseoncompletion = yes\r\n");
        ASSERT_EQ(t.ui.boxes.size(), 1u);
        EXPECT_EQ(t.ui.boxes[0].text, "The Office update is complete.");
        EXPECT_EQ(t.ui.boxes[0].title, "Update Complete");
        EXPECT_EQ(t.ui.boxes[0].icon, MessageIcon::kNone);
    }
    {
        TestRun t;
        t.run_script("[Update]\r\nupdate = Office\r\npauseoncompletion = y\r\nmessage = Bye\r\nreboot = ask\r\n");
        ASSERT_EQ(t.ui.boxes.size(), 2u);
        EXPECT_EQ(t.ui.boxes[0].text, "The Office update was cancelled.\nThe workstation will be rebooted.");
        EXPECT_EQ(t.ui.boxes[0].title, "Update Complete");
        EXPECT_EQ(t.ui.boxes[1].text, "Do you want to reboot this PC?");
    }
    {
        TestRun t;
        t.run.interrupted = true;
        UpdateOptions o;
        t.run.update_name = "Office";
        show_completion(t.run, o);
        ASSERT_EQ(t.ui.boxes.size(), 1u);
        EXPECT_EQ(t.ui.boxes[0].text, "The Office update may have been\ninterrupted or did not finish properly.");
        EXPECT_EQ(t.ui.boxes[0].title, "Update Warning");
        EXPECT_EQ(t.ui.boxes[0].icon, MessageIcon::kExclamation);
    }
    {
        TestRun t;
        t.run.cancel = true;
        UpdateOptions o;
        o.pause_on_completion = true;
        o.reboot = RebootMode::kReboot;
        t.run.update_name = "X";
        show_completion(t.run, o);
        ASSERT_EQ(t.ui.boxes.size(), 1u);
        EXPECT_EQ(t.ui.boxes[0].text, "The X update is complete.\nThe workstation will be rebooted.");
        EXPECT_EQ(t.ui.boxes[0].title, "Update Cancelled");
    }
}

TEST(UpdateRun, RebootModes) {
    EXPECT_EQ(reboot_mode("yes"), RebootMode::kReboot);
    EXPECT_EQ(reboot_mode("Ask"), RebootMode::kAsk);
    EXPECT_EQ(reboot_mode("later"), RebootMode::kNone);
    EXPECT_EQ(reboot_mode(""), RebootMode::kNone);
    EXPECT_EQ(reboot_mode("No"), RebootMode::kNone);
    {
        TestRun t;
        t.run_script("[Update]\r\nupdate = U\r\nlog = " + t.log_path() + "\r\nreboot = ask\r\n");
        EXPECT_EQ(t.system.reboots, 0);
        std::string log = t.log();
        EXPECT_NE(log.find("Update completed, U\nUser opted not to reboot, \"\"\n"), std::string::npos) << log;
    }
    {
        TestRun t;
        t.ui.answer_yes = true;
        t.run_script("[Update]\r\nupdate = U\r\nlog = " + t.log_path() + "\r\nreboot = ask\r\n");
        EXPECT_EQ(t.system.reboots, 1);
        std::string log = t.log();
        EXPECT_NE(log.find("Preparing for reboot, \"\"\nError rebooting, Access is denied.\n"), std::string::npos)
            << log;
        ASSERT_EQ(t.ui.boxes.size(), 2u);
        EXPECT_EQ(t.ui.boxes[1].text, "Please close all applications and restart computer.");
        EXPECT_EQ(t.ui.boxes[1].title, "Workstation could not be rebooted");
        EXPECT_EQ(t.ui.boxes[1].icon, MessageIcon::kStop);
    }
    {
        TestRun t;
        t.system.reboot_succeeds = true;
        t.run_script("[Update]\r\nupdate = U\r\nlog = " + t.log_path() + "\r\nreboot = Yes\r\n");
        EXPECT_EQ(t.system.reboots, 1);
        EXPECT_TRUE(t.ui.boxes.empty());
        std::string log = t.log();
        EXPECT_NE(log.find("Preparing for reboot, \"\"\n"), std::string::npos);
        EXPECT_EQ(log.find("Error rebooting"), std::string::npos);
    }
}

// The section driver with scripted section results. Each call of the runner takes the next result;
// a section_called result pushes a frame named by `callee`.
struct ScriptedSections {
    using Results = std::deque<std::pair<SectionResult, std::string>>;
    ScriptedSections(RunState& r, Results res) : run(r), results(std::move(res)) {}
    RunState& run;
    Results results;
    std::vector<std::string> calls;

    SectionResult operator()(std::string_view name, bool resume) {
        calls.push_back(std::string(name) + (resume ? "+" : ""));
        if (results.empty()) return section_ended;
        auto [result, callee] = results.front();
        results.pop_front();
        if (result == section_called) {
            run.calls.current().resume = !run.calls.empty();
            run.calls.frames.push_back({0, callee, false});
        }
        return result;
    }
};

TEST(UpdateRun, SectionDriverFollowsCallsAndResumes) {
    TestRun t;
    ScriptedSections s{
        t.run,
        {{section_called, "A"}, {section_called, "B"}, {section_ended, ""}, {section_ended, ""}, {section_ended, ""}}};
    EXPECT_EQ(run_sections(t.run, std::ref(s)), section_ended);
    EXPECT_EQ(s.calls, (std::vector<std::string>{"Common", "A", "B", "A+", "Common+"}));
    EXPECT_TRUE(t.run.calls.empty());
    EXPECT_FALSE(t.run.interrupted);
}

TEST(UpdateRun, SectionDriverStopsOnEndInACalledSection) {
    TestRun t;
    ScriptedSections s{t.run, {{section_called, "A"}, {section_called, "B"}, {update_stopped, ""}}};
    EXPECT_EQ(run_sections(t.run, std::ref(s)), update_stopped);
    EXPECT_EQ(s.calls, (std::vector<std::string>{"Common", "A", "B"}));
    EXPECT_TRUE(t.run.calls.empty());
}

TEST(UpdateRun, SectionDriverEndsARepeatedlyFailingSectionAsInterrupted) {
    TestRun t;
    // A fails, is run once more and fails again: the sections end, interrupted.
    ScriptedSections s{t.run,
                       {{section_called, "A"},
                        {section_failed, ""},
                        {section_failed, ""},
                        {section_failed, ""},
                        {section_failed, ""}}};
    EXPECT_EQ(run_sections(t.run, std::ref(s)), section_failed);
    EXPECT_EQ(s.calls, (std::vector<std::string>{"Common", "A", "A"}));
    EXPECT_TRUE(t.run.interrupted);
    EXPECT_TRUE(t.run.calls.empty());

    // A failure followed by success goes on normally.
    TestRun u;
    ScriptedSections ok{u.run, {{section_called, "A"}, {section_failed, ""}, {section_ended, ""}, {section_ended, ""}}};
    EXPECT_EQ(run_sections(u.run, std::ref(ok)), section_ended);
    EXPECT_EQ(ok.calls, (std::vector<std::string>{"Common", "A", "A", "Common+"}));
    EXPECT_FALSE(u.run.interrupted);

    // Common itself failing is interrupted at once.
    TestRun v;
    ScriptedSections common{v.run, {{section_failed, ""}}};
    EXPECT_EQ(run_sections(v.run, std::ref(common)), section_failed);
    EXPECT_TRUE(v.run.interrupted);
}

TEST(UpdateRun, FailingCalledSectionStillRunsCleanupWithAWarning) {
    TestRun t;
    // A prompt handler that always fails stands for a form that cannot be shown; the driver sees
    // Common fail, which is an interrupted run whose Cleanup still runs.
    StatementHandlers handlers;
    handlers.prompt = [](RunState&) { return false; };
    t.run_script("[Common]\r\n$form line\r\n;not reached\r\n[Cleanup]\r\n;c\r\n", handlers);
    std::string log = t.log();
    EXPECT_EQ(log.find("not reached"), std::string::npos);
    EXPECT_NE(log.find("[Cleanup]"), std::string::npos);
    EXPECT_TRUE(t.run.interrupted);
    ASSERT_EQ(t.ui.boxes.size(), 1u);
    EXPECT_EQ(t.ui.boxes[0].title, "Update Warning");
}

}  // namespace
}  // namespace dravik
