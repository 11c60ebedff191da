// Runs of batch lines through the interpreter: the batch file's bytes as the interpreter would run
// them, the log, the interpreter chosen, the wait marker and what is left behind.
#include "commands/batch_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "commands/process.h"
#include "engine/fakes.h"

namespace dravik::test {

namespace {

// Keeps what a started interpreter would have read; "runs" the batch by deleting the marker, as
// its last line does, unless the batch is to stop early.
class FakeProcessHost : public ProcessHost {
  public:
    std::vector<StartRequest> started;
    std::string batch_text, marker_text;
    bool batch_runs_to_end = true;

    std::unique_ptr<Process> start(const StartRequest& request, std::string&) override {
        started.push_back(request);
        std::string batch = request.parameters.substr(std::string(" /c ").size());
        std::string marker = marker_file_path(request.directory);
        batch_text = read_file(batch);
        marker_text = read_file(marker);
        if (batch_runs_to_end) std::remove(marker.c_str());
        return std::make_unique<Process>();
    }
    WaitEnd wait(Process&, int32_t) override { return WaitEnd::kEnded; }
    ProcessSearch find(const std::string&, std::unique_ptr<Process>&) override { return ProcessSearch::kNotFound; }
    void enter_directory(const std::string& path) override { std::filesystem::create_directories(path); }
    void clear_attributes(const std::string&) override {}
    std::string windows_directory() override { return "C:\\WINDOWS"; }
};

// The regular files anywhere under the folder, by name.
std::vector<std::string> files_under(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

const char kScript[] =
    "[Common]\r\n"
    "@SET dest = c:\\dest\r\n"
    "copy c:\\a.txt c:\\b.txt\r\n"
    "   ; a comment inside the run\r\n"
    "\r\n"
    "  xcopy %SRC% {dest} /s\r\n"
    "@SET after = 1\r\n";

TEST(BatchFile, RunOfLinesWrittenExpandedRunAndRemoved) {
    struct Case {
        int nt_version;
        bool comspec, runs_to_end;
        const char *name, *interpreter, *ending;
    } cases[] = {
        {2000, true, true, "Update.cmd", "C:\\WINNT\\system32\\cmd.exe", "Batch file completed, \"\""},
        {0, false, false, "Update.bat", "C:\\WINDOWS\\command.com", "Not all commands completed, \"\""},
        {2003, false, true, "Update.cmd", "C:\\WINDOWS\\cmd.exe", "Batch file completed, \"\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + std::string(" ") + c.interpreter);
        TestRun t;
        FakeProcessHost host;
        host.batch_runs_to_end = c.runs_to_end;
        t.env.values["SRC"] = "c:\\src";
        if (c.comspec) t.env.values["COMSPEC"] = "C:\\WINNT\\system32\\cmd.exe";
        t.run.temp_dir = t.dir.file("temp");
        t.run.nt_version = c.nt_version;
        StatementHandlers handlers;
        handlers.batch = [&host](RunState& run) { RunBatchFile(run, host); };
        t.run_script(kScript, handlers);

        const std::string batch = t.run.temp_dir + "\\" + c.name;
        EXPECT_EQ(host.batch_text,
                  "rem Written by the Dravik update agent for one run of script lines; deleted after the run.\r\n"
                  "rem ***Added by DravikLT.exe 2.0\r\n"
                  "@echo off\r\n"
                  "\r\n"
                  "rem ***SDF Commands for Test\r\n"
                  "\r\n"
                  "copy c:\\a.txt c:\\b.txt\r\n"
                  "  xcopy c:\\src c:\\dest /s\r\n"
                  "\r\n"
                  "\r\n"
                  "rem ***Added by DravikLT.exe\r\n"
                  "del " +
                      t.run.temp_dir + "\\update.mrk\r\n");
        EXPECT_EQ(host.marker_text.substr(0, 42), "Wait marker created by DravikLT.exe v2.0\r\n");
        ASSERT_EQ(host.started.size(), 1u);
        EXPECT_EQ(host.started[0].file, c.interpreter);
        EXPECT_EQ(host.started[0].parameters, " /c " + batch);
        EXPECT_EQ(host.started[0].directory, t.run.temp_dir);
        EXPECT_EQ(host.started[0].show, 0);

        const std::string log = t.log();
        const std::string expected =
            "Section found, Reading commands.\n"
            "@SET dest = c:\\dest, Variable set.\n"
            "copy c:\\a.txt c:\\b.txt, Starting new batch file.\n"
            "xcopy %SRC% {dest} /s, Added to batch file.\n"
            "Executing batch file, " +
            batch + "\n" + c.ending +
            "\n"
            "@SET after = 1, Variable set.\n"
            "Searching for section, [Cleanup]\n";
        EXPECT_NE(log.find(expected), std::string::npos) << log;
        // A batch that stopped early is remembered, and the update ends with a warning.
        EXPECT_EQ(t.run.batch_incomplete, !c.runs_to_end);
        EXPECT_EQ(t.ui.boxes.size(), c.runs_to_end ? 0u : 1u);
        if (!c.runs_to_end && !t.ui.boxes.empty()) {
            EXPECT_EQ(t.ui.boxes[0].title, "Update Warning");
        }
        EXPECT_EQ(files_under(t.dir.path()), (std::vector<std::string>{"test.sdf", "update.log"}));
    }
}

TEST(BatchFile, NothingToRunOrNoFileToWrite) {
    // A run of comments only: no batch file, no marker, nothing started; the reader stands at the
    // line that ended the run.
    TestRun t;
    FakeProcessHost host;
    t.run.temp_dir = t.dir.file("temp");
    t.run.reader.load_bytes("; one\r\n  ; two\r\n-file x\r\n");
    EXPECT_TRUE(RunBatchFile(t.run, host));
    EXPECT_TRUE(host.started.empty());
    EXPECT_EQ(files_under(t.dir.path()), std::vector<std::string>{});
    std::string line;
    ASSERT_TRUE(t.run.reader.read_line(line));
    EXPECT_EQ(line, "-file x");

    // A batch file that cannot be created: its lines are passed over, not run nor met again.
    TestRun u;
    u.run.temp_dir = u.dir.file("temp") + "/missing";
    std::filesystem::create_directories(u.dir.file("temp"));
    std::filesystem::create_directories(u.run.temp_dir + "\\Update.bat");  // a folder in its place
    StatementHandlers handlers;
    handlers.batch = [&host](RunState& run) { EXPECT_FALSE(RunBatchFile(run, host)); };
    u.run_script("[Common]\r\necho one\r\necho two\r\n@SET after = 1\r\n", handlers);
    EXPECT_TRUE(host.started.empty());
    EXPECT_NE(u.log().find("echo one, Starting new batch file.\n"
                           "Error creating batch file, " +
                           u.run.temp_dir +
                           "\\Update.bat\n"
                           "@SET after = 1, Variable set.\n"),
              std::string::npos)
        << u.log();
}

}  // namespace

}  // namespace dravik::test
