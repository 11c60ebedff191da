"""The update agent from start to end under Wine: the update log, the effective date, the command
line, the help dialog and the reboot question."""
import os
import subprocess
import time

from harness import WineTestCase, ENV


def processing(script, name, date):
    return f"Processing {script}, Update = {name}  Effective Date = {date}"


class UpdateRun(WineTestCase):
    def script(self, options, body="[Common]\n; nothing to do\n"):
        return self.write_script("x.sdf", "[Update]\n" + options + "\n" + body)

    def test_full_run_logs_processing_sections_and_completion(self):
        script = self.script(f"update = Office\neffectivedate = 20090101\nlog = {self.win('u.log')}\n",
                             "[Common]\n; first\n\n   ;second\n[Cleanup]\n; bye\n")
        # A relative script path is resolved against the current directory.
        self.assertEqual(self.run_agent("x.sdf"), 0)
        self.assertEqual(self.log_entries("u.log"), [
            processing(script, "Office", "20090101"),
            "Searching for section, [Common]",
            "Section found, Reading commands.",
            "; first, Comment ignored.",
            ";second, Comment ignored.",
            "Searching for section, [Cleanup]",
            "Section found, Reading commands.",
            "; bye, Comment ignored.",
            "Update completed, Office",
        ])
        # The time prefix is month/day/year with two-digit time fields.
        first = self.read_log("u.log").split("\r\n")[0]
        self.assertRegex(first, r"^\d{1,2}/\d{1,2}/\d{4} \d\d:\d\d:\d\d, Processing ")

    def test_switch_forms_run_the_same_script(self):
        self.script(f"update = Forms\nlog = {self.win('u.log')}\n")
        for args in (["/f", self.win("x.sdf")], ["-F", self.win("x.sdf")], [self.win("x.sdf")],
                     ["/F", "x.sdf", "-unknown"]):
            os.remove(self.path("u.log")) if os.path.exists(self.path("u.log")) else None
            self.assertEqual(self.run_agent(*args), 0)
            self.assertEqual(self.log_entries("u.log")[-1], "Update completed, Forms", args)

    def test_waitfordate_in_the_future_ends_silently(self):
        self.script(f"update = Later\neffectivedate = 20991231\nwaitfordate = yes\nlog = {self.win('u.log')}\n")
        self.assertEqual(self.run_agent("x.sdf"), 0)
        self.assertEqual(self.read_log("u.log"), "")
        # Without waitfordate the same date runs and is logged as written.
        self.script(f"update = Later\neffectivedate = 20991231\nlog = {self.win('u.log')}\n")
        self.assertEqual(self.run_agent("x.sdf"), 0)
        self.assertIn("Effective Date = 20991231", self.log_entries("u.log")[0])

    def test_missing_script_ends_at_once_without_a_log(self):
        started = time.time()
        self.assertEqual(self.run_agent(self.win("missing.sdf")), 0)
        self.assertEqual(self.run_agent(), 0)  # no script at all
        self.assertLess(time.time() - started, 60)
        self.assertEqual(os.listdir(self.dir), [])

    def test_quick_runs_in_parallel_pairs_all_end_by_themselves(self):
        # A run that ends at once (missing script) beside a run of a tiny script, many times over: the
        # load makes the threads' ends overlap the process's end. Every run must end on its own
        # with exit code 0 (Wine ends a process it finds half-exited with SIGKILL: -9 here), well
        # within its bound, and no agent may be left in the Wine session.
        self.script(f"update = Quick\nlog = {self.win('u.log')}\n")
        bound = 60
        outcomes = []
        for _ in range(15):
            started = time.time()
            pair = [self.start_agent(self.win("missing.sdf")), self.start_agent("x.sdf")]
            for kind, p in zip(("missing", "tiny"), pair):
                try:
                    code = p.wait(timeout=bound)
                except subprocess.TimeoutExpired:
                    code = "timeout"
                outcomes.append((kind, code, time.time() - started < bound))
        self.assertEqual([o for o in outcomes if o[1:] != (0, True)], [])
        self.assertEqual(self.log_entries("u.log")[-1], "Update completed, Quick")
        procs = self.wintest("procs").stdout.decode("latin-1").lower()
        self.assertIn("wintest.exe", procs)  # the listing works
        self.assertNotIn("dravik", procs)

    def test_second_run_leaves_only_its_own_entries(self):
        self.script(f"update = First\nlog = {self.win('u.log')}\n")
        self.assertEqual(self.run_agent("x.sdf"), 0)
        self.script(f"update = Second\nlog = {self.win('u.log')}\n")
        self.assertEqual(self.run_agent("x.sdf"), 0)
        log = self.log_entries("u.log")
        self.assertEqual(sum(1 for line in log if line.startswith("Processing ")), 1)
        self.assertEqual(log[-1], "Update completed, Second")
        self.assertFalse(any("First" in line for line in log))

    def test_log_in_a_missing_directory_does_not_stop_the_run(self):
        self.script(f"update = Nowhere\nlog = {self.win('no-such-dir')}\\u.log\npauseoncompletion = no\n")
        started = time.time()
        self.assertEqual(self.run_agent("x.sdf"), 0)
        self.assertLess(time.time() - started, 30)  # the log's waiting open does not wait for a bad path
        self.assertEqual(os.listdir(self.dir), ["x.sdf"])

    def test_command_line_assignments_reach_the_script(self):
        # The log path is expanded with {name} and %NAME%: the file's name shows what arrived.
        self.script("update = Vars\nlog = \"{LogDir}\\{Dept}-{Site}-{Room}-{DkKey}-%DRAVIK_IT%.log\"\n")
        ENV["DRAVIK_IT"] = "env1"
        try:
            code = self.run_command_line(f"x.sdf LogDir={self.win('')} Dept=Sales -V Site=\"North Hall\" "
                                         f"Room = 12 -P key1")
        finally:
            del ENV["DRAVIK_IT"]
        self.assertEqual(code, 0)
        name = "Sales-North Hall-12-key1-env1.log"
        self.assertIn(name, os.listdir(self.dir))
        self.assertEqual(self.log_entries(name)[-1], "Update completed, Vars")

    def test_script_path_switch_and_quotes(self):
        os.mkdir(self.path("My Scripts"))
        self.write_script("My Scripts/x.sdf", f"[Update]\nupdate = Quoted\nlog = {self.win('u.log')}\n")
        for args in (f'/f "{self.win("My Scripts")}\\x.sdf"', f'"{self.win("My Scripts")}\\x.sdf"',
                     f"-f '{self.win('My Scripts')}\\x.sdf' -Z"):
            if os.path.exists(self.path("u.log")):
                os.remove(self.path("u.log"))
            self.assertEqual(self.run_command_line(args), 0)
            self.assertEqual(self.log_entries("u.log")[0],
                             processing(self.win("My Scripts") + "\\x.sdf", "Quoted", time.strftime("%Y%m%d")),
                             args)

    def test_help_dialog_alone(self):
        p = self.start_agent("-?")
        texts = self.window_texts("Help")
        self.screenshot("help-dialog")
        shown = [t for (_, _, t) in texts]
        self.assertIn("DravikLT v2.0", shown)
        self.assertIn("Usage: DravikLT.EXE  [/F] <path>\\n\\tRuns SDF specified in command line"
                      "\\n\\tNote: The command line is case insensitive", shown)
        self.assertIn("Done", shown)
        self.click("Help", "Done")
        self.assertEqual(p.wait(timeout=30), 0)

    def test_help_then_the_script_runs(self):
        self.script(f"update = AfterHelp\nlog = {self.win('u.log')}\n")
        p = self.start_agent("-?", "x.sdf")
        self.window_texts("Help")
        self.assertFalse(os.path.exists(self.path("u.log")))  # the run waits for the dialog
        self.click("Help", "Done")
        self.assertEqual(p.wait(timeout=60), 0)
        self.assertEqual(self.log_entries("u.log")[-1], "Update completed, AfterHelp")

    def test_reboot_ask_answered_no(self):
        self.script(f"update = Ask\nlog = {self.win('u.log')}\nreboot = Ask\n")
        p = self.start_agent("x.sdf")
        texts = [t for (_, _, t) in self.window_texts("Dravik Message")]
        self.screenshot("reboot-question")
        self.assertIn("Do you want to reboot this PC?", texts)
        self.click("Dravik Message", "No")
        self.assertEqual(p.wait(timeout=60), 0)
        self.assertEqual(self.log_entries("u.log")[-2:], ["Update completed, Ask", 'User opted not to reboot, ""'])

    def test_completion_message_when_asked(self):
        self.script(f"update = Done\nlog = {self.win('u.log')}\npauseoncompletion = yes\nreboot = no\n")
        p = self.start_agent("x.sdf")
        texts = [t for (_, _, t) in self.window_texts("Update Complete")]
        self.assertIn("The Done update is complete.", texts)
        # Meanwhile the status window has been minimised, which hides it and titles it "Dravik"; the
        # hidden prompt window is there too.
        windows = self.wintest("list").stdout.decode("latin-1").splitlines()
        self.assertIn("0|DravikLT|Dravik", windows)
        self.assertIn("0|DravikLT - User Prompt|DravikLT - User Prompt", windows)
        # Cleanup and the last entry wait for the message to be closed.
        self.assertNotIn("Update completed, Done", self.log_entries("u.log"))
        self.click("Update Complete", "OK")
        self.assertEqual(p.wait(timeout=60), 0)
        self.assertEqual(self.log_entries("u.log")[-1], "Update completed, Done")

    def test_reboot_yes_in_a_throwaway_wine_session(self):
        # Under Wine the restart request ends the Wine session of the prefix (wineboot
        # --end-session); the host is not touched. It runs in a prefix of its own so that the other
        # tests' session is not ended.
        state = self.path("reboot-wine")
        source = ENV["DRAVIK_SOURCE_DIR"]
        subprocess.run(["bash", f"{source}/scripts/wine-env.sh", "start", state], check=True, timeout=240,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            own = dict(ENV)
            with open(os.path.join(state, "env"), encoding="utf-8") as f:
                own.update(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
            self.script(f"update = Reboot\nlog = {self.win('u.log')}\nreboot = yes\n")
            p = subprocess.run([own["WINELOADER"], os.path.join(own["DRAVIK_WIN_BUILD"], "bin", "DravikLT.exe"),
                                "x.sdf"], cwd=self.dir, env=own, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
            self.assertEqual(p.returncode, 0)
            log = self.log_entries("u.log")
            self.assertEqual(log[-2:], ["Update completed, Reboot", 'Preparing for reboot, ""'])
        finally:
            subprocess.run(["bash", f"{source}/scripts/wine-env.sh", "stop", state], timeout=60,
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
