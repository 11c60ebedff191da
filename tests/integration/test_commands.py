"""The workstation commands in the real agent under Wine: files checked byte for byte, the
registry through Wine's reg.exe, started programs and batch files by their effects, and the log as
the agent wrote it."""
import os
import re
import shutil
import subprocess

from harness import BUILD, ENV, SLEEPER, WINE, WINTEST, WineTestCase, winpath

KEY = "Software\\DravikTest"
HKCU_KEY = "HKEY_CURRENT_USER\\" + KEY
# Where Wine keeps the renames that wait for the next restart.
SESSION_MANAGER = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager"
# Test components (tools/testcomponent): registering one sets HKCU\Software\DravikTest "Component"
# to its label, unregistering removes it.
COMPONENTS = {name: os.path.join(BUILD, "tools", f"component{name}.dll") for name in ("19", "110", "nv", "ne")}


def utf16(text):
    return b"\xff\xfe" + text.encode("utf-16-le")


class Commands(WineTestCase):
    def run_common(self, body, name="c.sdf", env=None):
        return super().run_common(body, name=name, update="Cmd", env=env)

    def write_bytes(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)

    def read_bytes(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def tearDown(self):
        self.reg("delete", HKCU_KEY, "/f")
        super().tearDown()

    def test_text_file_edits(self):
        ini = self.win("a.ini")
        self.write_bytes("a.ini", b"[Paths]\nPATH=c:\\old\nx=1\npath=c:\\other\n")
        log = self.run_common(
            f"-file {ini} -rl Path=c:\\new path=\n"
            f"-file {ini} -c -rS X x -a -is ! = -v n\n"
            f"-file {ini} -ib \"; top\" -ie \"; bottom\"\n"
            f"-file {ini} -dl x=1 -f c:\\ -v count\n"
            f"-file {self.win('missing.ini')} -rl a b -v r\n"
            f"-file {ini} -v exists\n"
            f"-file {ini}\n")
        self.assertEqual(self.read_bytes("a.ini"),
                         b"; top\r\n[Paths]\r\nPath=!c:\\new\r\npath=c:\\other\r\n; bottom\r\n")
        self.assertEqual(log, [
            f"-file {ini} -rl Path=c:\\new path=, 1 line replaced.",
            f"-file {ini} -c -rS X x -a -is ! = -v n, 1 occurrence replaced.",
            "-a -is ! = -v n, String inserted at 1 location.",
            f"-file {ini} -ib \"; top\" -ie \"; bottom\", Line inserted at the beginning of the file.",
            "-ie \"; bottom\", Line appended to the end of the file.",
            f"-file {ini} -dl x=1 -f c:\\ -v count, 1 line deleted.",
            "-f c:\\ -v count, Search string found at 2 locations.",
            f"-file {self.win('missing.ini')} -rl a b -v r, "
            "The file could not be opened or the temporary file could not be created.",
            f"-file {ini} -v exists, File exists.",
            f"-file {ini}, Invalid file command.",
        ])
        self.assertEqual([n for n in os.listdir(self.dir) if n.endswith("@")], [])

    def test_utf16_file_keeps_its_encoding(self):
        self.write_bytes("u.ini", utf16("[S]\r\nname=old\r\nk=\u3042\r\n"))
        ini = self.win("u.ini")
        log = self.run_common(f"-file {ini} -rs new old\n-file {ini} -ie last=1\n")
        self.assertEqual(self.read_bytes("u.ini"), utf16("[S]\r\nname=new\r\nk=\u3042\r\nlast=1\r\n"))
        self.assertEqual(log, [f"-file {ini} -rs new old, 1 occurrence replaced.",
                               f"-file {ini} -ie last=1, Line appended to the end of the file."])

    def test_text_edits_keep_the_file_identity(self):
        cannot = "The file could not be opened or the temporary file could not be created."
        names = ["hidden.ini", "secured.ini", "readonly.ini", "held.ini", "shared.ini"]
        for name in names:
            self.write_bytes(name, b"a=1\n")

        # Hidden and system (2 | 4); read-only (1).
        self.assertEqual(self.wintest("attr", self.win("hidden.ini"), "6").returncode, 0)
        hidden_before = int(self.wintest("attr", self.win("hidden.ini")).stdout.strip(), 16)
        self.assertEqual(hidden_before & 6, 6)
        self.assertEqual(self.wintest("attr", self.win("readonly.ini"), "1").returncode, 0)
        # A DACL of its own, not the one a new file gets. Wine keeps no DACL as given: it derives one
        # from the Unix owner and mode (here: write access for everyone), which still tells a replaced
        # file from a new one.
        r = self.wintest("sd", self.win("secured.ini"), "D:P(A;;FA;;;WD)(A;;FR;;;SY)")
        self.assertEqual(r.returncode, 0)
        sd_before = r.stdout.decode("latin-1").strip()
        self.assertNotEqual(sd_before, self.wintest("sd", self.win("held.ini")).stdout.decode("latin-1").strip())
        # held.ini open without any sharing; shared.ini open for reading only, so it can be read but
        # not replaced.
        holders = []
        for name, share in (("held.ini", "0"), ("shared.ini", "1")):
            out = self.path(name + ".out")
            with open(out, "wb") as sink:
                self.processes.append(subprocess.Popen(
                    [WINE, WINTEST, "hold", self.win(name), "60000", share], cwd=self.dir, env=ENV,
                    stdin=subprocess.DEVNULL, stdout=sink, stderr=sink))
            holders.append(out)
        for out in holders:
            self.wait_for(lambda: b"held" in self.read_bytes(os.path.basename(out)), what="hold " + out)

        lines = [f"-file {self.win(name)} -rs 2 1 -v r{i}" for i, name in enumerate(names)]
        log = self.run_common("\n".join(lines) + "\n")
        self.assertEqual(log, [
            lines[0] + ", 1 occurrence replaced.",
            lines[1] + ", 1 occurrence replaced.",
            lines[2] + ", " + cannot,
            lines[3] + ", " + cannot,
            lines[4] + ", " + cannot,
        ])
        for p in self.processes:
            p.kill()
            p.wait()

        self.assertEqual(self.read_bytes("hidden.ini"), b"a=2\r\n")
        self.assertEqual(int(self.wintest("attr", self.win("hidden.ini")).stdout.strip(), 16), hidden_before)
        self.assertEqual(self.read_bytes("secured.ini"), b"a=2\r\n")
        self.assertEqual(self.wintest("sd", self.win("secured.ini")).stdout.decode("latin-1").strip(), sd_before)
        for name in ("readonly.ini", "held.ini", "shared.ini"):
            self.assertEqual(self.read_bytes(name), b"a=1\n", name)
        self.assertEqual(int(self.wintest("attr", self.win("readonly.ini")).stdout.strip(), 16) & 1, 1)
        self.assertEqual(sorted(os.listdir(self.dir)), sorted(names + ["c.sdf", "u.log", "held.ini.out", "shared.ini.out"]))

    def test_registry_values_of_every_type(self):
        long_binary = " ".join(["01"] * 82)
        log = self.run_common(
            f"-reg CU {KEY} -m\n"
            f"-reg CU {KEY} -s Name SZ hello -s Count DW 42 -s Data BN \"0a ff 10\"\n"
            f"-reg CU {KEY} -s Long BN \"{long_binary}\" -s (Default) SZ dflt -s Flag NO x\n"
            f"-reg CU {KEY} -v Count n -v Data b -v Long l -v (default) d -v Name s\n")
        self.assertEqual(log, [
            f"-reg CU {KEY} -m, Created registry key.",
            f"-reg CU {KEY} -s Name SZ hello -s Count DW 42 -s Data BN \"0a ff 10\", Value set.",
            "-s Count DW 42 -s Data BN \"0a ff 10\", Value set.",
            "-s Data BN \"0a ff 10\", Value set.",
            f"-reg CU {KEY} -s Long BN \"{long_binary}\" -s (Default) SZ dflt -s Flag NO x, Value set.",
            "-s (Default) SZ dflt -s Flag NO x, Value set.",
            "-s Flag NO x, Value set.",
            f"-reg CU {KEY} -v Count n -v Data b -v Long l -v (default) d -v Name s, Setting {{n}} equal to 42.",
            "-v Data b -v Long l -v (default) d -v Name s, Setting {b} equal to 0A FF 10.",
            "-v Long l -v (default) d -v Name s, Setting {l} equal to Long binary values not supported..",
            "-v (default) d -v Name s, Setting {d} equal to dflt.",
            "-v Name s, Setting {s} equal to hello.",
        ])
        self.assertEqual(self.reg_value(HKCU_KEY, "Name"), ("REG_SZ", "hello"))
        self.assertEqual(self.reg_value(HKCU_KEY, "Count"), ("REG_DWORD", "0x2a"))
        self.assertEqual(self.reg_value(HKCU_KEY, "Data"), ("REG_BINARY", "0AFF10"))
        self.assertEqual(self.reg_value(HKCU_KEY, "Long"), ("REG_BINARY", "01" * 82))
        self.assertEqual(self.reg_value(HKCU_KEY, ""), ("REG_SZ", "dflt"))
        self.assertIsNone(self.reg_value(HKCU_KEY, "Flag"))

    def test_registry_deletes_and_errors(self):
        self.assertEqual(self.reg("add", HKCU_KEY + "\\Sub", "/v", "a", "/d", "1", "/f").returncode, 0)
        self.assertEqual(self.reg("add", HKCU_KEY, "/v", "gone", "/d", "1", "/f").returncode, 0)
        log = self.run_common(
            f"-reg CU {KEY} -d gone -d (Default)\n"
            f"-reg CU {KEY}\\Missing -v a r\n"
            f"-reg CU {KEY} -v nothing q\n"
            f"-reg CU {KEY}\\Sub -k -s a SZ b\n"
            f"-reg CU {KEY}\\Sub -k\n"
            f"-reg ZZ {KEY} -m\n")
        self.assertEqual(log[0], f"-reg CU {KEY} -d gone -d (Default), Deleted registry value.")
        error = re.compile(r"^(.*), Error (\w+) registry (key|value): (\S.*)$")
        expected = [("-d (Default)", "deleting", "value"),
                    (f"-reg CU {KEY}\\Missing -v a r", "opening", "key"),
                    (f"-reg CU {KEY} -v nothing q", "querying", "value")]
        for line, (statement, verb, what) in zip(log[1:4], expected):
            m = error.match(line)
            self.assertIsNotNone(m, line)
            self.assertEqual((m.group(1), m.group(2), m.group(3)), (statement, verb, what))
        self.assertEqual(log[4], f"-reg CU {KEY}\\Sub -k -s a SZ b, Deleted registry key.")
        m = error.match(log[5])
        self.assertEqual((m.group(1), m.group(2)), (f"-reg CU {KEY}\\Sub -k", "deleting"))
        self.assertEqual(log[6], f"-reg ZZ {KEY} -m, Syntax error: Invalid root key.")
        self.assertEqual(len(log), 7)
        self.assertIsNone(self.reg_value(HKCU_KEY, "gone"))
        self.assertNotEqual(self.reg("query", HKCU_KEY + "\\Sub").returncode, 0)  # deleted, "-s" not run
        self.assertEqual(self.reg("query", HKCU_KEY).returncode, 0)

    def test_a_registry_value_decides_a_branch(self):
        ini = self.win("branch.ini")
        self.write_bytes("branch.ini", b"[App]\r\n")
        log = self.run_common(
            f"-reg CU {KEY} -m -s Level DW 3\n"
            f"-reg CU {KEY} -v Level lvl\n"
            "@IF {lvl} >= 3\n"
            f"-file {ini} -ie Mode=high\n"
            "@ELSE\n"
            f"-file {ini} -ie Mode=low\n"
            "@ENDIF\n")
        self.assertEqual(self.read_bytes("branch.ini"), b"[App]\r\nMode=high\r\n")
        self.assertEqual(log, [
            f"-reg CU {KEY} -m -s Level DW 3, Created registry key.",
            "-s Level DW 3, Value set.",
            f"-reg CU {KEY} -v Level lvl, Setting {{lvl}} equal to 3.",
            "@IF {lvl} >= 3, Evaluated as TRUE.",
            f"-file {ini} -ie Mode=high, Line appended to the end of the file.",
            "@ELSE, Skipping ELSE block.",
            "@ENDIF, Found end of IF block.",
        ])

    def test_end_to_end_ini_and_registry(self):
        """Reads a value written to the registry back into a variable and uses it to edit an INI file."""
        ini = self.win("app.ini")
        self.write_bytes("app.ini", b"[App]\r\nVersion=1\r\nServer=old\r\n")
        log = self.run_common(
            f"-reg CU {KEY} -m -s Version DW 7\n"
            f"-reg CU {KEY} -v Version ver\n"
            f"-file {ini} -rl Version={{ver}} Version= -fs Version=7 -v found\n"
            f"-file {ini} -g server -v line\n"
            f"-reg CU {KEY} -s Server SZ {{line}}\n"
            f"-file {ini}.{{found}} -ie found={{found}}\n")
        self.assertEqual(self.read_bytes("app.ini"), b"[App]\r\nVersion=7\r\nServer=old\r\n")
        self.assertEqual(self.read_bytes("app.ini.1"), b"found=1\r\n")
        self.assertEqual(self.reg_value(HKCU_KEY, "Server"), ("REG_SZ", "Server=old"))
        self.assertEqual(log[:5], [
            f"-reg CU {KEY} -m -s Version DW 7, Created registry key.",
            "-s Version DW 7, Value set.",
            f"-reg CU {KEY} -v Version ver, Setting {{ver}} equal to 7.",
            f"-file {ini} -rl Version={{ver}} Version= -fs Version=7 -v found, 1 line replaced.",
            "-fs Version=7 -v found, Search string found.",
        ])
        # The line read ends its log entry without a line end: the next entry follows on the same line.
        self.assertRegex(log[5], r"^-file .* -g server -v line, Server=old\d{1,2}/\d{1,2}/\d{4} \d\d:\d\d:\d\d, "
                                 r"-reg CU .* -s Server SZ \{line\}, Value set\.$")
        self.assertEqual(log[6], f"-file {ini}.{{found}} -ie found={{found}}, Line appended to the end of the file.")

    # Programs, process waits and batch files. sleeper.exe <ms> <exit code> [file] writes the file
    # when its time is up; copies under other names tell the processes apart.

    def copy_sleeper(self, name):
        shutil.copy(SLEEPER, self.path(name))
        return self.win(name)

    def test_program_started_with_and_without_wait(self):
        sleeper, done, later = winpath(SLEEPER), self.win("done.txt"), self.win("later.txt")
        missing = self.win("nothere.exe")
        lines = [f'-program {sleeper} "2000 7 {done}" wait', f"-file {done} -v a",
                 f'-program {sleeper} "3000 0 {later}" nowait min', f"-file {later} -v b",
                 f"-program {missing} nowait"]
        # An error box for the missing program would keep the agent from ending.
        log = self.run_common("\n".join(lines) + "\n")
        self.assertEqual(log, [
            lines[0] + ", Process executed.", "-Program Wait, Process completed.",
            lines[1] + ", File exists.",
            lines[2] + ", Process executed.",
            lines[3] + ", File does not exist.",
            lines[4] + ", Error starting process: File not found.",
        ])
        self.wait_for(lambda: os.path.exists(self.path("later.txt")), what="the program started without wait")

    def test_wait_for_named_processes(self):
        sleeper, done = winpath(SLEEPER), self.win("done.txt")
        napper = self.copy_sleeper("napper.exe")
        lines = [f'-program {sleeper} "4000 0 {done}" nowait', f'-program {napper} "12000 0" nowait',
                 "-wait 1", "-wait SLEEPER -v found", f"-file {done} -v a", "-wait nosuchprocess -v missing",
                 "-wait napper.exe 1 -v late", f"-reg CU {KEY} -m",
                 f"-reg CU {KEY} -s found SZ {{found}} -s missing SZ {{missing}} -s late SZ {{late}}"]
        log = self.run_common("\n".join(lines) + "\n")
        self.assertEqual(log, [
            lines[0] + ", Process executed.",
            lines[1] + ", Process executed.",
            "-wait 1, Wait timed out.",  # the agent itself is the DravikLT found
            "-wait SLEEPER -v found, Process completed.",
            lines[4] + ", File exists.",
            "-wait nosuchprocess -v missing, Process not currently running.",
            "-wait napper.exe 1 -v late, Wait timed out.",
            lines[7] + ", Created registry key.",
            lines[8] + ", Value set.", "-s missing SZ {missing} -s late SZ {late}, Value set.",
            "-s late SZ {late}, Value set.",
        ])
        self.assertEqual([self.reg_value(HKCU_KEY, n) for n in ("found", "missing", "late")],
                         [("REG_SZ", "TRUE"), ("REG_SZ", "FALSE"), ("REG_SZ", "TRUE")])

        # Without VDMDBG the search uses PSAPI alone; without PSAPI too, the toolhelp functions.
        for i, missing_libraries in enumerate(("vdmdbg", "vdmdbg,psapi")):
            env = dict(ENV, WINEDLLOVERRIDES=ENV["WINEDLLOVERRIDES"] + f";{missing_libraries}=d")
            done = self.win(f"done{i}.txt")
            lines = [f'-program {sleeper} "2500 0 {done}" nowait', "-wait 1", "-wait SLEEPER", f"-file {done} -v a",
                     "-wait nosuchprocess"]
            self.assertEqual(self.run_common("\n".join(lines) + "\n", env=env), [
                lines[0] + ", Process executed.", "-wait 1, Wait timed out.", "-wait SLEEPER, Process completed.",
                lines[3] + ", File exists.", "-wait nosuchprocess, Process not currently running.",
            ], missing_libraries)

    def test_closing_the_agent_ends_a_wait(self):
        dozer = self.copy_sleeper("dozer.exe")
        self.write_script("c.sdf", f"[Update]\nupdate = Cmd\nshowprogress = yes\nlog = {self.win('u.log')}\n"
                                   f"[Common]\n-program {dozer} \"60000 0\" nowait\n-wait 1\n-wait dozer -v f\n")
        agent = self.start_agent("c.sdf")
        self.wait_for(lambda: os.path.exists(self.path("u.log")) and "-wait dozer -v f, " in self.read_log("u.log"),
                      what="the wait")
        self.assertEqual(self.wintest("close", "Dravik Status").returncode, 0)
        self.click("Update Cancelled", "OK")
        agent.wait(timeout=20)
        self.assertIn("-wait dozer -v f, Process completed.", self.log_entries("u.log"))

    def run_batch_script(self, body):
        """Runs Common with batch lines; returns the statements' log and the agent's temporary folder."""
        log = self.run_common(body)
        executing = [line for line in log if line.startswith("Executing batch file, ")]
        self.assertEqual(len(executing), 1, log)
        batch = executing[0][len("Executing batch file, "):]
        return log, batch, os.path.dirname(self.host_path(batch))

    def test_batch_lines_run_before_the_next_command(self):
        self.write_bytes("a.txt", b"alpha\r\n")
        a, b, c = self.win("a.txt"), self.win("b.txt"), self.win("c.txt")
        lines = [f"@SET src = {a}", f"copy {a} {b}", "   ; not written", f"  copy {{src}} {c}", f"-file {c} -v e"]
        log, batch, temp = self.run_batch_script("\n".join(lines) + "\n")
        self.assertEqual(log, [
            lines[0] + ", Variable set.",
            lines[1] + ", Starting new batch file.",
            f"copy {{src}} {c}, Added to batch file.",
            f"Executing batch file, {batch}",
            'Batch file completed, ""',
            lines[4] + ", File exists.",
        ])
        self.assertEqual(os.path.basename(batch.replace("\\", "/")).lower(), "update.bat")
        self.assertEqual((self.read_bytes("b.txt"), self.read_bytes("c.txt")), (b"alpha\r\n", b"alpha\r\n"))
        self.assertFalse({"update.bat", "update.cmd", "update.mrk"} & {n.lower() for n in os.listdir(temp)})

    def test_batch_that_exits_early_leaves_the_marker(self):
        one, two = self.win("one.txt"), self.win("two.txt")
        self.write_script("c.sdf", f"[Update]\nupdate = Cmd\nlog = {self.win('u.log')}\n[Common]\n"
                                   f"echo one> {one}\nexit\necho two> {two}\n-file {one} -v e\n")
        agent = self.start_agent("c.sdf")
        # The record of the incomplete batch turns the end of the update into a warning.
        texts = [t for _, cls, t in self.window_texts("Update Warning") if cls.lower() == "static" and t]
        self.assertIn("The Cmd update may have been\\ninterrupted or did not finish properly.", texts)
        self.click("Update Warning", "OK")
        self.assertEqual(agent.wait(timeout=30), 0)
        log = self.log_entries("u.log")
        start = log.index("Section found, Reading commands.") + 1
        batch = log[start + 3][len("Executing batch file, "):]
        self.assertEqual(log[start:start + 7], [
            f"echo one> {one}, Starting new batch file.",
            "exit, Added to batch file.",
            f"echo two> {two}, Added to batch file.",
            f"Executing batch file, {batch}",
            'Not all commands completed, ""',
            f"-file {one} -v e, File exists.",
            "Searching for section, [Cleanup]",
        ])
        self.assertFalse(os.path.exists(self.path("two.txt")))
        temp = os.path.dirname(self.host_path(batch))
        self.assertFalse({"update.bat", "update.cmd", "update.mrk"} & {n.lower() for n in os.listdir(temp)})

    # Shortcuts, read back through the shell-link component.

    def read_link(self, name):
        r = self.wintest("lnk", self.win(name))
        self.assertEqual(r.returncode, 0, name)
        return r.stdout.decode("latin-1").rstrip("\r\n").split("|")

    def test_shortcuts_saved_and_read_back(self):
        sleeper = winpath(SLEEPER)
        lines = [f'-shortcut "{self.win("new folder/Editor")}" {sleeper} "2000 0" {self.win("")} max',
                 f"-shortcut {self.win('Tool.lnk')} {sleeper}",
                 f"-shortcut {self.win('Small.LnK')} {sleeper} -x '' min",
                 f"-shortcut {self.win('a/b/Deep')} {sleeper}"]
        log = self.run_common("\n".join(lines) + "\n")
        self.assertEqual(log, [lines[0] + ", Shortcut saved.", lines[1] + ", Shortcut saved.",
                               lines[2] + ", Shortcut saved.", lines[3] + ", The shortcut could not be saved."])
        # ".LNK" is appended only to a name without ".lnk"; one missing folder level is made.
        self.assertEqual(os.listdir(self.path("new folder")), ["Editor.LNK"])
        self.assertEqual(sorted(n for n in os.listdir(self.dir) if n.lower().endswith(".lnk")),
                         ["Small.LnK", "Tool.lnk"])
        self.assertFalse(os.path.exists(self.path("a")))
        target, arguments, directory, show = self.read_link("new folder/Editor.LNK")
        self.assertEqual((target.lower(), arguments, directory.rstrip("\\").lower(), show),
                         (sleeper.lower(), "2000 0", self.win("").rstrip("\\").lower(), "3"))
        self.assertEqual(self.read_link("Tool.lnk")[1:], ["", "", "0"])  # no mode word: 0 passed through
        self.assertEqual(self.read_link("Small.LnK")[1:], ["-x", "", "7"])

    # Component registration with the test components.

    def put_component(self, variant, name):
        shutil.copy(COMPONENTS[variant], self.path(name))
        return self.win(name)

    def registered(self):
        value = self.reg_value(HKCU_KEY, "Component")
        return value[1] if value else None

    def test_register_in_place_unregister_and_delete(self):
        ctl, plain = self.put_component("19", "ctl.dll"), self.put_component("ne", "plain.dll")
        lines = [f"-xdll {ctl}", f"-xdll {plain}", f"-xdll {plain} -u", f"-xdll {self.win('none.dll')}"]
        self.assertEqual(self.run_common("\n".join(lines) + "\n"), [
            lines[0] + ", Control registered.",
            lines[1] + ", Control not registered: Could not find registration procedure.",
            lines[2] + ", Control not unregistered: Could not find unregistration procedure.",
            lines[3] + ", Control not registered: Could not find registration procedure.",
        ])
        self.assertEqual(self.registered(), "1.9")
        self.assertEqual(self.run_common(f"-xdll {ctl} -u\n"), [f"-xdll {ctl} -u, Control unregistered."])
        self.assertIsNone(self.registered())
        self.assertTrue(os.path.exists(self.path("ctl.dll")))
        # A registration after "-ud" keeps its file.
        lines = [f"-xdll {ctl} -r", f"-xdll {ctl} -ud", f"-xdll {plain} -r"]
        self.assertEqual(self.run_common("\n".join(lines) + "\n"), [
            lines[0] + ", Control registered.", lines[1] + ", Control unregistered and deleted.",
            lines[2] + ", Control not registered: Could not find registration procedure."])
        self.assertIsNone(self.registered())
        self.assertEqual(sorted(os.listdir(self.dir)), ["c.sdf", "plain.dll", "u.log"])

    def test_copy_by_version(self):
        ctl = self.put_component("19", "ctl.dll")
        newer, same, older = (self.put_component(v, n) for v, n in (("110", "new.dll"), ("110", "same.dll"),
                                                                     ("19", "old.dll")))
        refused = "Control not registered: Destination file is a newer version."
        # 1.10 is newer than 1.9; equal and older versions are neither copied nor registered.
        lines = [f"-xdll {ctl} -r {newer}", f"-xdll {ctl} -u", f"-xdll {ctl} -r {same}", f"-xdll {ctl} -r {older}"]
        self.assertEqual(self.run_common("\n".join(lines) + "\n"), [
            lines[0] + ", Control registered.", lines[1] + ", Control unregistered.",
            lines[2] + ", " + refused, lines[3] + ", " + refused])
        self.assertIsNone(self.registered())
        self.assertEqual(self.read_bytes("ctl.dll"), self.read_bytes("new.dll"))
        # "-rC" and "-rc" copy whatever the versions.
        for line, label in ((f"-xdll {ctl} -rC {older}", "1.9"), (f"-xdll {ctl} -rc {newer}", "1.10"),
                            (f"-xdll {ctl} -rc {newer}", "1.10")):
            self.assertEqual(self.run_common(line + "\n"), [line + ", Control registered."])
            self.assertEqual(self.registered(), label, line)

    def test_copy_by_time_without_version(self):
        ctl = self.put_component("nv", "ctl.dll")
        src = self.put_component("19", "src.dll")
        now = os.path.getmtime(self.path("ctl.dll"))
        os.utime(self.path("src.dll"), (now - 3600, now - 3600))
        lines = [f"-xdll {ctl} -r {src}", f"-xdll {ctl} -r {self.win('missing.dll')}",
                 f"-xdll {self.win('fresh.dll')} -r {src}"]
        self.assertEqual(self.run_common("\n".join(lines) + "\n"), [
            lines[0] + ", Control not registered: Destination file is a newer version.",
            lines[1] + ", Control not registered: Could not locate file to copy from.",
            lines[2] + ", Control registered.",  # nothing in place yet
        ])
        self.assertEqual(self.read_bytes("fresh.dll"), self.read_bytes("src.dll"))
        os.utime(self.path("src.dll"), (now + 3600, now + 3600))
        self.assertEqual(self.run_common(lines[0] + "\n"), [lines[0] + ", Control registered."])
        self.assertEqual(self.read_bytes("ctl.dll"), self.read_bytes("src.dll"))
        self.assertEqual(self.registered(), "1.9")

    def test_component_in_use_is_replaced_at_restart(self):
        ctl, newer = self.put_component("19", "ctl.dll"), self.put_component("110", "new.dll")
        before = self.reg_value(SESSION_MANAGER, "PendingFileRenameOperations")
        try:
            with open(self.path("held.out"), "wb") as sink:
                self.processes.append(subprocess.Popen([WINE, WINTEST, "hold", ctl, "60000"], cwd=self.dir, env=ENV,
                                                       stdin=subprocess.DEVNULL, stdout=sink, stderr=sink))
            self.wait_for(lambda: b"held" in self.read_bytes("held.out"), what="the component to be held open")
            lines = [f"-xdll {ctl} -r {newer}", f"-file {ctl}@ -v e"]
            log = self.run_common("\n".join(lines) + "\n")
            # "Copy on Reboot file:  " ends without a line end: the next entry follows on its line.
            self.assertEqual(len(log), 1, log)
            self.assertRegex(log[0], "^" + re.escape(lines[0] + ", Copy on Reboot file:  ") +
                             r"\d{1,2}/\d{1,2}/\d{4} \d\d:\d\d:\d\d, " + re.escape(lines[1] + ", File exists.") + "$")
            pending = self.reg_value(SESSION_MANAGER, "PendingFileRenameOperations")
            self.assertIsNotNone(pending)
            self.assertIn(f"\\??\\{ctl}@\\0!\\??\\{ctl}".lower(), pending[1].lower())
        finally:
            if before is None:
                self.reg("delete", SESSION_MANAGER, "/v", "PendingFileRenameOperations", "/f")
        for p in self.processes:
            p.kill()
            p.wait()
        # The copy waits beside the component; the source stays; nothing was registered.
        self.assertEqual(sorted(os.listdir(self.dir)), ["c.sdf", "ctl.dll", "ctl.dll@", "held.out", "new.dll", "u.log"])
        with open(COMPONENTS["110"], "rb") as f:
            newer_bytes = f.read()
        with open(COMPONENTS["19"], "rb") as f:
            older_bytes = f.read()
        self.assertEqual([self.read_bytes(n) for n in ("ctl.dll@", "new.dll", "ctl.dll")],
                         [newer_bytes, newer_bytes, older_bytes])
        self.assertIsNone(self.registered())
