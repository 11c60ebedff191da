"""The sample updates of examples/ run under Wine in the test prefix: each writes the log kept in
tests/data/examples/<name>.log (time prefixes and the first line, which names the script's path,
left out) and leaves its effect behind. Every sample passes the script check."""
import os
import shutil
import unittest

from harness import BIN, BUILD, WineTestCase, reg_delete, wine, winpath

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
EXAMPLES = os.path.join(os.path.dirname(SOURCE), "examples")
SAMPLE_KEY = r"HKCU\Software\Quorvel\DravikSample"
GETVAL_KEY = r"HKLM\Software\Quorvel\DkGetVal"
FORM = "DravikLT - User input required"
BM_CLICK, CB_SETCURSEL = 0xF5, 0x14E


class Examples(WineTestCase):
    def run_example(self, name, more=""):
        """Runs a sample with LogDir set to the test's folder and `more` added to its command line as
        it stands (so that a value may be quoted as an administrator would quote it)."""
        shutil.copy(os.path.join(EXAMPLES, name + ".sdf"), self.dir)
        self.assertEqual(self.run_command_line(f"{name}.sdf LogDir={winpath(self.dir)} {more}"), 0)
        self.check_log(name)

    def check_log(self, name, expected=None):
        with open(os.path.join(SOURCE, "data", "examples", (expected or name) + ".log"), encoding="latin-1") as f:
            self.assertEqual(self.log_entries(name + ".log")[1:], f.read().splitlines())

    def text(self, name):
        with open(self.path(name), "rb") as f:
            return f.read().decode("latin-1")

    def test_ini_settings_twice_give_the_same_file(self):
        self.run_example("ini-settings")
        first = self.text("app.ini")
        self.assertEqual(first.split("\r\n")[:3], ["[Server]", "Host=update.example.com", "Port=8080"])
        os.remove(self.path("ini-settings.log"))
        shutil.copy(os.path.join(EXAMPLES, "ini-settings.sdf"), self.dir)
        self.assertEqual(self.run_agent("ini-settings.sdf", "LogDir=" + winpath(self.dir)), 0)
        self.assertEqual(self.text("app.ini"), first)

    def test_registry_values_set_read_and_removed(self):
        reg_delete(SAMPLE_KEY)
        self.addCleanup(reg_delete, SAMPLE_KEY)
        self.run_example("registry")
        self.assertEqual(self.reg_value(SAMPLE_KEY, "Version"), ("REG_SZ", "2.1"))
        self.assertEqual(self.reg_value(SAMPLE_KEY, "Installed"), ("REG_DWORD", "0x1"))
        self.assertIsNone(self.reg_value(SAMPLE_KEY, "Obsolete"))

    def test_shortcut_to_notepad(self):
        self.run_example("shortcut")
        r = self.wintest("lnk", self.win("Notepad.lnk"))
        target, arguments, directory, show = r.stdout.decode("latin-1").strip().split("|")
        self.assertTrue(target.lower().endswith("\\notepad.exe"), target)
        self.assertEqual((arguments, directory, show), (self.win("readme.txt"), winpath(self.dir), "3"))

    def test_program_install_waits_for_the_installer(self):
        sleeper = winpath(os.path.join(BUILD, "tools", "sleeper.exe"))
        self.run_example("install-wait", f'Setup={sleeper} SetupArgs="1500 0 {self.win("setup.done")}"')
        self.assertEqual(self.text("setup.done"), "done")
        self.assertTrue(self.text("installed.ini").startswith("[Installed]\r\nSetup=2"))

    def test_archive_packed_listed_and_unpacked(self):
        self.run_example("unpack")
        self.assertEqual(sorted(os.listdir(self.path("unpacked"))), ["readme.txt", "start.txt"])
        self.assertEqual(self.text(os.path.join("unpacked", "start.txt")), self.text("start.txt"))
        self.assertEqual(self.text("docs-list.out").split(), ["readme.txt", "start.txt"])

    def test_getval_line_names_the_workstation(self):
        reg_delete(GETVAL_KEY)
        self.addCleanup(reg_delete, GETVAL_KEY)
        shutil.copy(os.path.join(EXAMPLES, "getval-workstations.csv"), self.dir)
        wine([os.path.join(BIN, "DkGetVal.exe"), "/f", self.win("getval-workstations.csv")], cwd=self.dir)
        self.run_example("getval-fed")
        self.assertEqual(self.text("workstation.ini").split("\r\n")[:4],
                         ["[Workstation]", "Name=WS-0101", "Place=Floor 1, Room 12", "Address=10.1.1.21"])
        self.assertEqual(self.text("getval-workstations.csv").splitlines()[0].split(",")[0], "WS-0102")

    def test_user_form_answered_then_cancelled(self):
        """The form shows the user's name from the environment; Done writes the answers, Cancel writes nothing."""
        shutil.copy(os.path.join(EXAMPLES, "user-form.sdf"), self.dir)
        ini = self.path("workstation.ini")
        for answer in ("Done", "Cancel"):
            agent = self.start_agent("user-form.sdf", "LogDir=" + winpath(self.dir))
            rows = self.window_texts(FORM)
            controls = {cls: (ident, text) for ident, cls, text in rows}
            backup = [ident for ident, _, text in rows if text == "Back up my documents every night"]
            self.assertEqual(controls["Edit"][1], os.environ.get("USER", "root"))  # Wine's USERNAME
            self.assertEqual(controls["ComboBox"][1], "Sales")
            if answer == "Done":
                self.assertEqual(self.wintest("settext", FORM, str(controls["Edit"][0]), "Ann Lee").returncode, 0)
                r = self.wintest("send", FORM, str(controls["ComboBox"][0]), str(CB_SETCURSEL), "2", "0", "20000")
                self.assertEqual(r.returncode, 0)
                self.assertEqual(self.wintest("send", FORM, str(backup[0]), str(BM_CLICK), "0", "0", "20000").returncode, 0)
            self.click(FORM, answer)
            self.assertEqual(agent.wait(timeout=60), 0)
            self.check_log("user-form", "user-form" if answer == "Done" else "user-form-cancel")
            os.remove(self.path("user-form.log"))
            with open(ini, "rb") as f:
                self.assertEqual(f.read(), b"[Owner]\r\nName=Ann Lee\r\nDepartment=Accounts\r\nBackup=No\r\n")

    def test_every_sample_passes_the_script_check(self):
        samples = sorted(n for n in os.listdir(EXAMPLES) if n.endswith(".sdf"))
        self.assertGreaterEqual(len(samples), 8)
        r = wine([os.path.join(BIN, "DkCheck.exe")] + [winpath(os.path.join(EXAMPLES, n)) for n in samples])
        self.assertEqual((r.returncode, r.stdout), (0, b""))


if __name__ == "__main__":
    unittest.main()
