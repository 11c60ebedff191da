"""The help file under Wine: F1 in DkEdit opens Dravik.chm from beside DkEdit.exe in the HTML Help
viewer, whose title comes from the help file itself."""
import unittest

from harness import WineTestCase, start_program


class Help(WineTestCase):
    def test_f1_in_the_text_pane_opens_the_help_file(self):
        p = start_program("DkEdit.exe", cwd=self.dir)
        self.processes.append(p)
        self.assertEqual(self.wintest("wait", "DkEdit", "20000").returncode, 0)
        self.assertNotEqual(self.wintest("wait", "Dravik Help", "500").returncode, 0)
        self.wintest("key", "DkEdit", "114", "112")  # F1
        self.assertEqual(self.wintest("wait", "Dravik Help", "20000").returncode, 0)
        self.screenshot("dkedit-f1-help")
        self.wintest("close", "DkEdit")
        self.assertEqual(p.wait(timeout=30), 0)
        self.assertEqual(self.wintest("gone", "Dravik Help", "10000").returncode, 0)


if __name__ == "__main__":
    unittest.main()
