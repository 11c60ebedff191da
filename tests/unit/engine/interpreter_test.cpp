// Whole scripts through the interpreter and the section driver, compared by their logs.
#include "engine/interpreter.h"

#include <gtest/gtest.h>

#include "fakes.h"

namespace dravik {
namespace {

struct Script : test::TestRun {
    // Runs [Update] + `body` and returns the log between "Processing ..." and "Update completed".
    std::vector<std::string> run(const std::string& body, const StatementHandlers& handlers = {}) {
        run_script(body, handlers);
        std::vector<std::string> lines;
        std::string text = log();
        for (size_t start = 0; start < text.size();) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            lines.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        EXPECT_FALSE(lines.empty());
        EXPECT_EQ(lines.front().rfind("Processing ", 0), 0u);
        EXPECT_EQ(lines.back(), "Update completed, Test");
        return std::vector<std::string>(lines.begin() + 1, lines.end() - 1);
    }
    std::string var(const char* name) { return RunState_().vars.value_or_empty(name); }
    RunState& RunState_() { return test::TestRun::run; }
};

using Lines = std::vector<std::string>;

const char kCommon[] = "Searching for section, [Common]";
const char kFound[] = "Section found, Reading commands.";
const char kResumed[] = "Section found, Resuming execution.";
const char kCleanup[] = "Searching for section, [Cleanup]";

TEST(Interpreter, IfElseIfElseWithSkippedInnerBlocks) {
    Script s;
    Lines log = s.run(
        "[Common]\n"
        "@SET a = 1\n"
        "@IF {a} = 2\n"
        "  @IF c = c\n"
        "  @SET x = inner\n"
        "  @ENDIF\n"
        "@ELSEIF {a} = 1\n"
        "@SET branch = elseif\n"
        "@ELSE\n"
        "@SET branch = else\n"
        "@ENDIF\n"
        "@if {branch} = ELSEIF\n"
        "@SET ok = yes\n"
        "@EndIf\n");
    EXPECT_EQ(log, (Lines{kCommon, kFound, "@SET a = 1, Variable set.", "@IF {a} = 2,  Evaluated as FALSE.",
                          "@ELSEIF {a} = 1, Evaluated as TRUE.", "@SET branch = elseif, Variable set.",
                          "@ELSE, Skipping ELSE block.", "@ENDIF, Found end of IF block.",
                          "@if {branch} = ELSEIF, Evaluated as TRUE.", "@SET ok = yes, Variable set.",
                          "@EndIf, Found end of IF block.", kCleanup}));
    EXPECT_EQ(s.var("x"), "");
    EXPECT_EQ(s.var("branch"), "elseif");
    EXPECT_EQ(s.var("ok"), "yes");
    EXPECT_TRUE(s.RunState_().blocks.empty());
}

TEST(Interpreter, FalseChainReachesElse) {
    Script s;
    Lines log = s.run(
        "[Common]\n"
        "@IF 1 = 2\n"
        "@ELSEIF 1 = 3\n"
        "@ELSEIF 1 > 3\n"
        "@ELSE\n"
        "@SET e = 1\n"
        "@ENDIF\n"
        "@ELSE\n"
        "@ENDIF\n");
    EXPECT_EQ(log, (Lines{kCommon, kFound, "@IF 1 = 2,  Evaluated as FALSE.", "@ELSEIF 1 = 3. Evaluated as FALSE.",
                          "@ELSEIF 1 > 3. Evaluated as FALSE.", "@ELSE, Executing commands in ELSE block.",
                          "@SET e = 1, Variable set.", "@ENDIF, Found end of IF block.",
                          "@ELSE, ELSE ignored.  No matching IF statement.",
                          "@ENDIF, ENDIF ignored.  No matching IF statement.", kCleanup}));
}

TEST(Interpreter, Conditions) {
    struct Case {
        const char* condition;
        bool result;
    } cases[] = {
        {"{Answer} = yes", true},  // Answer is YES: text compared without case
        {"9 < 10", true},          // numbers
        {"9 = 09", false},         // text
        {"{Flag}", true},          // one argument: true when it is empty
        {"x", false},
        {"a != b", true},
        {"a <> A", false},
        {"10 >= 10", true},
        {"abc < 1", true},
        {"\"two words\" = 'two words'", true},
        {"5 ?? 5", true},  // unknown operator is '='
        {"-3 <= -4", false},
    };
    for (const auto& c : cases) {
        Script s;
        s.RunState_().vars.set_variable("Answer", "YES");
        Lines log = s.run(std::string("[Common]\n@IF ") + c.condition + "\n@SET hit = 1\n@ENDIF\n");
        EXPECT_EQ(s.var("hit"), c.result ? "1" : "") << c.condition;
    }
}

TEST(Interpreter, DoWhileCountsAndEndifClosesADo) {
    Script s;
    Lines log = s.run(
        "[Common]\n"
        "@DO\n"
        "@SET i + 1\n"
        "@WHILE {i} < 3\n"
        "@DONE\n"
        "@ENDIF\n"
        "@WHILE 1 = 1\n"
        "@IF a = a\n"
        "@WHILE 1 = 1\n"
        "@ENDIF\n");
    EXPECT_EQ(log, (Lines{kCommon, kFound, "@DO, Starting DO-WHILE block.", "@SET i + 1, Variable set.",
                          "@WHILE {i} < 3, Evaluated as TRUE.", "@SET i + 1, Variable set.",
                          "@WHILE {i} < 3, Evaluated as TRUE.", "@SET i + 1, Variable set.",
                          "@WHILE {i} < 3, Finished processing DO-WHILE block.", "@DONE, Starting DO-WHILE block.",
                          "@ENDIF, Found end of IF block.", "@WHILE 1 = 1, WHILE ignored.  No matching DO statement.",
                          "@IF a = a, Evaluated as TRUE.", "@WHILE 1 = 1, WHILE ignored.  No matching DO statement.",
                          "@ENDIF, Found end of IF block.", kCleanup}));
    EXPECT_EQ(s.var("i"), "3");
}

TEST(Interpreter, GotoRunsTheSectionAndResumesTheCaller) {
    Script s;
    Lines log = s.run(
        "[Common]\n"
        "@SET n = 1\n"
        "@GOTO Install\n"
        "@SET back = yes\n"
        "@GOTO Missing\n"
        "@GOTO common\n"
        "[Install]\n"
        "@SET n + 1\n"
        "[Cleanup]\n"
        "; c\n");
    EXPECT_EQ(log, (Lines{kCommon, kFound, "@SET n = 1, Variable set.", "@GOTO Install, Calling the Install section.",
                          "Searching for section, [Install]", kFound, "@SET n + 1, Variable set.", kCommon, kResumed,
                          "@SET back = yes, Variable set.", "@GOTO Missing, Calling the Missing section.",
                          "Searching for section, [Missing]", kCommon, kResumed,
                          "@GOTO common, GOTO ignored.  Cannot call the current section.", kCleanup, kFound,
                          "; c, Comment ignored."}));
    EXPECT_EQ(s.var("n"), "2");
    EXPECT_EQ(s.var("back"), "yes");
}

TEST(Interpreter, SectionsCallingEachOther) {
    // A calls B, B calls A: A runs again from its start as a new frame. Its end discards the blocks of
    // "A" on top of the stack, which include the first A's open block.
    Script s;
    Lines log = s.run(
        "[Common]\n"
        "@GOTO A\n"
        "[A]\n"
        "@SET ca + 1\n"
        "@IF {ca} < 2\n"
        "@GOTO B\n"
        "@ENDIF\n"
        "[B]\n"
        "@GOTO A\n");
    EXPECT_EQ(log, (Lines{kCommon,
                          kFound,
                          "@GOTO A, Calling the A section.",
                          "Searching for section, [A]",
                          kFound,
                          "@SET ca + 1, Variable set.",
                          "@IF {ca} < 2, Evaluated as TRUE.",
                          "@GOTO B, Calling the B section.",
                          "Searching for section, [B]",
                          kFound,
                          "@GOTO A, Calling the A section.",
                          "Searching for section, [A]",
                          kFound,
                          "@SET ca + 1, Variable set.",
                          "@IF {ca} < 2,  Evaluated as FALSE.",
                          "@ENDIF, Found end of IF block.",
                          "Searching for section, [B]",
                          kResumed,
                          "Searching for section, [A]",
                          kResumed,
                          "@ENDIF, ENDIF ignored.  No matching IF statement.",
                          kCommon,
                          kResumed,
                          kCleanup}));
    EXPECT_TRUE(s.RunState_().calls.empty());
    EXPECT_TRUE(s.RunState_().blocks.empty());
}

TEST(Interpreter, EndStopsTheUpdateAndSkipsCleanup) {
    Script s;
    Lines log = s.run(
        "[Common]\n"
        "@END \n"
        "@SET y = 1\n"
        "@GOTO Sub\n"
        "[Sub]\n"
        "@DO\n"
        "@END\n"
        "@SET never = 1\n"
        "[Cleanup]\n"
        "; c\n");
    EXPECT_EQ(log, (Lines{kCommon, kFound,
                          "@END , @SET y = 1, Variable set.",  // "@END " is no keyword: its line stays open
                          "@GOTO Sub, Calling the Sub section.", "Searching for section, [Sub]", kFound,
                          "@DO, Starting DO-WHILE block.", "@END, Stopping the update."}));
    EXPECT_EQ(s.var("never"), "");
    EXPECT_TRUE(s.RunState_().blocks.empty());
    EXPECT_TRUE(s.RunState_().calls.empty());
}

TEST(Interpreter, ReturnElseToHeaderAndGotoInCleanup) {
    Script s;
    Lines log = s.run(
        "[Common]\n"
        "@IF a = a\n"
        "@ELSE\n"
        "@SET x = 1\n"
        "[Cleanup]\n"
        "@RETURN\n"
        "; not run\n"
        "[Other]\n");
    EXPECT_EQ(log, (Lines{kCommon, kFound, "@IF a = a, Evaluated as TRUE.", "@ELSE, Skipping ELSE block.",
                          "[Cleanup], End of section found before end of the ELSE block.", kCleanup, kFound,
                          "@RETURN, Finished this section."}));
    EXPECT_TRUE(s.RunState_().blocks.empty());

    Script t;
    Lines log2 = t.run(
        "[Cleanup]\n"
        "@GOTO Other\n"
        "; after\n"
        "[Other]\n"
        "@SET other = 1\n");
    EXPECT_EQ(log2, (Lines{kCommon, kCleanup, kFound, "@GOTO Other, Calling the Other section."}));
    EXPECT_EQ(t.var("other"), "");
}

TEST(Interpreter, CancelFlagStopsAfterTheStatement) {
    test::TestRun t;
    StatementHandlers handlers;
    handlers.prompt = [](RunState& run) {
        run.cancel = true;
        return true;
    };
    t.run_script("[Common]\n$ form\n@SET after = 1\n[Cleanup]\n; c\n", handlers);
    // The form's line stays open (the prompt logs its own outcome); the update stops after it and
    // Cleanup does not run.
    EXPECT_EQ(t.log().substr(t.log().find("Searching")),
              "Searching for section, [Common]\nSection found, Reading commands.\n"
              "$ form, Update completed, Test\n");
    EXPECT_EQ(t.run.vars.find("after"), nullptr);
}

TEST(Interpreter, UnknownKeywordsAndUnhandledLinesLeaveTheLineOpen) {
    Script s;
    Lines log = s.run("[Common]\n@FOO bar\n-f x\n$ hi\necho hi\n;c\n");
    EXPECT_EQ(log, (Lines{kCommon, kFound, "@FOO bar, -f x, $ hi, echo hi, ;c, Comment ignored.", kCleanup}));
}

TEST(Interpreter, SetForms) {
    Script s;
    s.run(
        "[Common]\n"
        "@SET n -5\n"
        "@SET m = 10\n"
        "@SET m - 5\n"
        "@SET greeting hello\n"
        "@SET msg = \"two words\"\n"
        "@SET cut = two words\n"
        "@SET \"two words\" = x\n"
        "@SET y = \"{two words}\"\n"
        "@SET Name = {UserName}\n"
        "@SET {braced} = b\n"
        "@SETTING = 1\n"
        "@SET d / 0\n"
        "@SET e = 7\n"
        "@SET e / 0\n"
        "@SET DateStamp = 1\n");
    EXPECT_EQ(s.var("n"), "-5");
    EXPECT_EQ(s.var("m"), "5");
    EXPECT_EQ(s.var("greeting"), "hello");
    EXPECT_EQ(s.var("msg"), "two words");
    EXPECT_EQ(s.var("cut"), "two");
    EXPECT_EQ(s.var("two words"), "x");
    EXPECT_EQ(s.var("y"), "x");
    EXPECT_NE(s.RunState_().vars.find("Name"), nullptr);
    EXPECT_EQ(s.var("Name"), "");
    EXPECT_EQ(s.var("braced"), "b");
    EXPECT_EQ(s.var("TING"), "1");
    EXPECT_EQ(s.var("e"), "7");
    EXPECT_EQ(s.var("DateStamp"), "20091102");
}

TEST(Interpreter, MidStatement) {
    Script s;
    s.RunState_().vars.set_variable("Path", "C:\\Temp");
    Lines log = s.run(
        "[Common]\n"
        "@MID {Path} Drive 1 2\n"
        "@MID {Path} Low 0 2\n"
        "@MID {Path} High 9 2\n"
        "@MID {Path} Tail 4 100\n"
        "@MID {Path} None 1 0\n"
        "@MID {Path} {Braced} 4 1\n"
        "@MID\n"
        "@MID {Path}\n"
        "@MID {Path} D\n"
        "@MID {Path} D 1\n");
    EXPECT_EQ(s.var("Drive"), "C:");
    EXPECT_EQ(s.RunState_().vars.find("Low"), nullptr);
    EXPECT_EQ(s.RunState_().vars.find("High"), nullptr);
    EXPECT_EQ(s.RunState_().vars.find("None"), nullptr);
    EXPECT_EQ(s.var("Tail"), "Temp");
    EXPECT_EQ(s.var("Braced"), "T");
    EXPECT_EQ(log,
              (Lines{kCommon, kFound, "@MID {Path} Drive 1 2, MID successful.", "@MID {Path} Low 0 2, MID successful.",
                     "@MID {Path} High 9 2, MID successful.", "@MID {Path} Tail 4 100, MID successful.",
                     "@MID {Path} None 1 0, MID successful.", "@MID {Path} {Braced} 4 1, MID successful.",
                     "@MID, Missing source variable.", "@MID {Path}, Missing destination variable.",
                     "@MID {Path} D, Missing start position.", "@MID {Path} D 1, Missing length.", kCleanup}));
}

TEST(Interpreter, SelfReferringVariablesDoNotHang) {
    Script s;
    s.run(
        "[Common]\n"
        "@SET a = {{a}}\n"
        "@SET out1 = [{a}]\n"
        "@SET b = {{c}}\n"
        "@SET c = {{b}}\n"
        "@SET out2 = [{b}]\n"
        "@SET d = {{d}{d}}\n"
        "@SET out3 = {d}\n");
    EXPECT_EQ(s.var("a"), "{a}");
    EXPECT_EQ(s.var("out1"), "[{a}]");
    EXPECT_EQ(s.var("out2").front(), '[');
    EXPECT_EQ(s.var("out2").back(), ']');
    EXPECT_LE(s.var("out3").size(), 2047u);
}

}  // namespace
}  // namespace dravik
