"""DkEdit's DkAudit kinds under Wine: an audit INI file built with the builder from an empty
document (the option block, a command set, a query with its couplings, a conversion with a
two-dialog subtype), its lines analysed back into the fields, one updated in place, and the file
saved."""
import unittest

from harness import WineTestCase, start_program

EXE = "DkEdit.exe"


class AuditBuilder(WineTestCase):
    def tool(self, *args):
        r = self.wintest(*args)
        self.assertEqual(r.returncode, 0, f"wintest {args}: {r.stderr.decode(errors='replace')}")
        return r.stdout.decode("latin-1").splitlines()

    def rows(self):
        return [tuple(line.split("|")) for line in self.tool("rows", self.title, "110")]

    def activate(self, row):
        self.tool("rowselect", self.title, "110", str(row))
        self.tool("key", self.title, "110", "13")

    def dialog(self, caption, *clicks, text=None):
        self.tool("wait", caption, "20000")
        if text is not None:
            self.tool("settext", caption, "1003", text)
        for button in clicks:
            self.click(caption, button)
        self.tool("gone", caption, "20000")

    def type_value(self, row, caption, text):
        self.activate(row)
        self.dialog(caption, "Done", text=text)

    def choose(self, row, caption, index):
        self.activate(row)
        self.dialog(caption, f"#{1007 + index}", "Done")

    def pane(self):
        texts = {i: t for i, _, t in self.window_texts(self.title)}
        unescape = lambda s: s.replace("\\r", "\r").replace("\\n", "\n")
        return unescape(texts[114]), texts[113], texts[118]

    def analyze(self, line, preview):
        """Puts the caret in the line and analyses it; the preview shows what Add would write."""
        text = self.pane()[0]
        self.tool("setsel", self.title, "114", str(text.index(line) + 1), str(text.index(line) + 1))
        self.click(self.title, "#119")
        self.wait_for(lambda: self.pane()[1:] == (preview, "Upd&ate"), what=f"the analysis of {line}")

    def test_audit_file_built_from_empty_and_analysed_back(self):
        with open(self.path("a.ini"), "wb"):
            pass
        p = start_program(EXE, [self.win("a.ini")], cwd=self.dir)
        self.processes.append(p)
        saved_title = "DkEdit - " + self.win("a.ini")
        self.title = saved_title
        self.tool("wait", self.title, "20000")

        self.tool("treeselect", self.title, "DkAudit/Audit Options/Audit Section")
        self.type_value(0, "Results file", r"C:\audit.txt")
        self.choose(3, "Hardware commands", 1)
        self.assertEqual(self.pane()[1], "[DkAudit] ...")
        self.click(self.title, "#118")
        self.title += "*"
        block = ("[DkAudit]\r\nResults= C:\\audit.txt\r\nAction= Refresh\r\nConvert= No\r\nHardware= Yes\r\n"
                 "Software= Defined\r\n")
        self.wait_for(lambda: self.pane()[0] == block + "\r\n\r\n[DkConvert]\r\n", what="the option block")

        # The set goes into [DkAudit]'s last empty line although the caret is under [DkConvert].
        self.tool("treeselect", self.title, "DkAudit/Hardware Commands")
        self.activate(0)
        self.activate(2)
        self.assertEqual(self.pane()[1], "Hardware ...")
        self.click(self.title, "#118")
        self.wait_for(lambda: "System" in self.pane()[0], what="the hardware set")

        # Query Registry: no root ("All") means recursion; turning recursion off picks Local Machine.
        self.tool("treeselect", self.title, "DkAudit/Other Commands/Query Registry")
        self.assertEqual(self.rows()[1], ("Key Path", "", "3"))
        self.activate(4)
        self.wait_for(lambda: self.rows()[0][:2] == ("Root Key", "Local Machine"), what="the root after Recurse No")
        self.choose(0, "Root key", 2)
        self.type_value(1, "Key path", r"Software\Dravik Test")
        self.type_value(3, "Search string", "abc")
        query = r'QueryRegKey = CU "Software\Dravik Test" "" abc'
        self.assertEqual(self.pane()[1], query)
        self.click(self.title, "#118")
        self.wait_for(lambda: query in self.pane()[0], what="the query")

        # A Registry conversion's subtype: the root key's option dialog, then the key path.
        self.tool("treeselect", self.title, "DkAudit/Conversion Section")
        self.type_value(0, "Text to search for", "old")
        self.type_value(1, "Text to replace with", "new")
        self.choose(2, "Conversion command type", 8)
        self.choose(3, "Conversion command subtype", 2)
        self.dialog("Limit the conversion to a specific registry key path", "Done", text=r"Software\Dravik")
        self.assertEqual(self.rows()[3], ("Subtype", r"CU Software\Dravik", "2"))
        conversion = r"new old Registry CU Software\Dravik"
        self.click(self.title, "#118")
        text = block + "\r\nDiskDrives\r\nSystem\r\n" + query + "\r\n\r\n[DkConvert]\r\n" + conversion + "\r\n"
        self.wait_for(lambda: self.pane()[0] == text, what="the audit file")

        # Each line read back gives the fields that wrote it.
        self.analyze("Hardware= Yes", "[DkAudit] ...")
        self.assertEqual(self.rows()[0][:2], ("Results File", r"C:\audit.txt"))
        self.assertEqual(self.rows()[3][:2], ("Hardware Commands", "All"))
        self.analyze("System", "Hardware ...")
        self.assertEqual([r[1] for r in self.rows()], ["On", "Off", "On"])
        self.analyze(conversion, conversion)
        self.assertEqual(self.rows()[2][:2], ("Type", "Registry"))
        self.analyze(query, query)
        self.assertEqual(self.rows()[0][:2], ("Root Key", "Current User"))
        # Update writes the edited query back in its place.
        self.type_value(3, "Search string", "xyz")
        self.click(self.title, "#118")
        text = text.replace(query, query.replace("abc", "xyz"))
        self.wait_for(lambda: self.pane()[0] == text and self.pane()[2] == "&Add", what="the updated query")

        self.tool("command", self.title, "40002")
        self.wait_for(lambda: open(self.path("a.ini"), "rb").read() == text.encode("latin-1"), what="the save")
        self.tool("close", saved_title)
        self.assertEqual(p.wait(timeout=30), 0)


if __name__ == "__main__":
    unittest.main()
