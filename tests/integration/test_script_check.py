"""The script check under Wine: the console program DkCheck over a seeded and a clean script, and
Check Script in DkEdit over the same seeded script, which leaves the document as it was."""
import os
import unittest

from harness import BIN, WineTestCase, start_program, wine

SEEDED = (b"[Update]\r\nupdate = Seeded\r\n[Common]\r\n"
          b"-reg ZZ Software\\x -m\r\n"       # 4: the parser's syntax error
          b"@GOTO Missing\r\n"                # 5: no such section
          b"@IF {a} = 1\r\n"                  # 6: never closed
          b"@WHILE {n} < 2\r\n"               # 7: no @DO
          b"[Install]\r\n@RETURN\r\n")
FINDINGS = ["4: Syntax error: Invalid root key.",
            "5: @GOTO to a section that does not exist: [Missing]",
            "6: @IF without a matching @ENDIF in section [Common].",
            "7: @WHILE without a matching @DO."]
CLEAN = b"[Update]\r\nupdate = Clean\r\n[Common]\r\n@IF {a} = 1\r\n@GOTO Install\r\n@ENDIF\r\n[Install]\r\n-file x.ini -v e\r\n"


class ScriptCheck(WineTestCase):
    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)

    def test_console_program_reports_file_line_message_and_exit_code(self):
        self.write("seeded.sdf", SEEDED)
        self.write("clean.sdf", CLEAN)
        dkcheck = os.path.join(BIN, "DkCheck.exe")
        r = wine([dkcheck, "seeded.sdf"], cwd=self.dir)
        self.assertEqual(r.returncode, 1, r.stderr)
        lines = r.stdout.decode("latin-1").replace("\r\n", "\n").splitlines()
        self.assertEqual(lines, ["seeded.sdf(%s): %s" % tuple(f.split(": ", 1)) for f in FINDINGS])
        r = wine([dkcheck, "clean.sdf"], cwd=self.dir)
        self.assertEqual((r.returncode, r.stdout), (0, b""))
        self.assertEqual(wine([dkcheck, "absent.sdf"], cwd=self.dir).returncode, 2)

    def test_editor_check_script_lists_findings_and_changes_nothing(self):
        self.write("seeded.sdf", SEEDED)
        p = start_program("DkEdit.exe", [self.win("seeded.sdf")], cwd=self.dir)
        self.processes.append(p)
        title = "DkEdit - " + self.win("seeded.sdf")
        self.assertEqual(self.wintest("command", title, "40050").returncode, 0)
        texts = [t for _, cls, t in self.window_texts("Check Script") if cls == "Static"]
        self.screenshot("dkedit-check-script")
        shown = " ".join(texts).replace("\\r", "").replace("\\n", "\n")
        self.assertIn("4 findings:", shown)
        self.assertEqual([line for line in shown.splitlines() if line.startswith("Line ")],
                         ["Line " + f for f in FINDINGS])
        self.click("Check Script", "OK")
        # The title has no modified mark and the file is as it was.
        self.assertEqual(self.wintest("wait", title, "5000").returncode, 0)
        self.assertNotEqual(self.wintest("wait", title + "*", "500").returncode, 0)
        with open(self.path("seeded.sdf"), "rb") as f:
            self.assertEqual(f.read(), SEEDED)
        self.wintest("close", title)
        self.assertEqual(p.wait(timeout=30), 0)


if __name__ == "__main__":
    unittest.main()
