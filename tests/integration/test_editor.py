"""The script editor DkEdit under Wine: its window and controls, documents opened and saved byte
for byte, the title and the save prompts, recent files and window settings in the registry, and
Replace All."""
import os
import subprocess
import time
import unittest

from harness import ENV, WINE, WINTEST, WineTestCase, reg_delete, reg_query, start_program, winpath

KEY = r"HKCU\Software\Quorvel\DkEdit"
EXE = "DkEdit.exe"

# id, class, text, initial rectangle, in creation order.
CONTROLS = [
    (109, "SysTreeView32", "Command Builder", (0, 0, 180, 410)),
    (110, "SysListView32", "Values", (190, 0, 442, 160)),
    (118, "Button", "&Add", (204, 170, 80, 25)),
    (119, "Button", "A&nalyze", (308, 170, 80, 25)),
    (120, "Button", "&Delete", (412, 170, 80, 25)),
    (117, "Button", "&Reset Values", (516, 170, 95, 25)),
    (113, "Edit", "", (190, 205, 410, 23)),
    (121, "Button", "<", (602, 205, 15, 23)),
    (122, "Button", ">", (617, 205, 15, 23)),
    (114, "Edit", "", (190, 240, 442, 168)),
]


def expected_rects(w, h):
    """Where the layout puts the controls for a client area of w x h."""
    rects = {ident: rect for ident, _, _, rect in CONTROLS}
    if w >= 632:
        rects[110] = (190, 0, w - 190, 160)
    if h > 409:
        rects[109] = (0, 0, 180, h + 1)
    if w > 220:
        rects[121] = (w - 30, 205, 15, 23)
        rects[122] = (w - 15, 205, 15, 23)
    rects[113] = (190, 205, w - 222, 23)
    rects[114] = (190, 240, w - 190, h - 241)
    return rects


class Editor(WineTestCase):
    def setUp(self):
        super().setUp()
        reg_delete(KEY)

    def start(self, *args):
        p = start_program(EXE, args, cwd=self.dir)
        self.processes.append(p)
        return p

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def tool(self, *args):
        r = self.wintest(*args)
        self.assertEqual(r.returncode, 0, f"wintest {args}: {r.stderr.decode(errors='replace')}")
        return r.stdout.decode("latin-1").splitlines()

    def rects(self, caption):
        lines = self.tool("rects", caption, "20000")
        _, w, h = lines[0].split("|")
        rows = [line.split("|") for line in lines[1:]]
        return int(w), int(h), [(int(i), c, tuple(int(v) for v in r.split(","))) for i, c, r in rows]

    def wait_file(self, name, data, what):
        self.wait_for(lambda: os.path.exists(self.path(name)) and self.read(name) == data, what=what)

    def close_and_wait(self, p, caption):
        self.tool("close", caption)
        self.assertEqual(p.wait(timeout=30), 0)

    def test_controls_layout_and_window_settings(self):
        p = self.start()
        w, h, rows = self.rects("DkEdit")
        self.assertEqual([(i, c.lower()) for i, c, _ in rows], [(i, c.lower()) for i, c, _, _ in CONTROLS])
        self.assertEqual({i: r for i, _, r in rows}, expected_rects(w, h))
        texts = {i: t for i, _, t in self.window_texts("DkEdit")}
        for ident, _, text, _ in CONTROLS:
            if ident in (109, 110) or text:
                self.assertEqual(texts[ident], text, ident)
        self.tool("size", "DkEdit", "900", "700")
        self.wait_for(lambda: self.rects("DkEdit")[0] > w, what="the resize")
        w2, h2, rows = self.rects("DkEdit")
        self.assertEqual({i: r for i, _, r in rows}, expected_rects(w2, h2))
        # Tab order: tree -> field list, the last button -> text pane, wrapping from the text pane
        # with Ctrl+Tab; a Tab in the text pane is a tab character. (F1 has a test of its own.)
        self.tool("key", "DkEdit", "109", "9")
        self.wait_for(lambda: self.tool("focus", "DkEdit") == ["110"], what="focus on the field list")
        self.tool("key", "DkEdit", "122", "9")
        self.wait_for(lambda: self.tool("focus", "DkEdit") == ["114"], what="focus on the text pane")
        self.tool("key", "DkEdit", "114", "9")
        self.wait_for(lambda: {i: t for i, _, t in self.window_texts("DkEdit")}[114] == "\\t", what="a tab")
        self.tool("close", "DkEdit")
        self.click("Save SDF?", "No")
        self.assertEqual(p.wait(timeout=30), 0)
        values = reg_query(KEY)
        self.assertEqual(values["Maximized"], ("REG_DWORD", "0x0"))
        self.assertEqual(values["Width"], ("REG_DWORD", hex(w2 + 8)))
        self.assertEqual(values["Height"], ("REG_DWORD", hex(h2 + 46)))

    def test_documents_open_save_title_and_prompts(self):
        long_line = "x" * 3000
        lines = [f"-reg LM Software\\Example -s Value{i} SZ {i}" for i in range(1200)]
        data = ("\r\n".join(lines[:600] + [long_line] + lines[600:]) + "\r\nno final break").encode("latin-1")
        self.assertGreater(len(data), 50000)
        self.write("big.sdf", data)
        big = self.win("big.sdf")
        p = self.start(big)
        title = f"DkEdit - {big}"
        self.tool("wait", title, "20000")
        self.tool("command", title, "40002")
        self.wait_file("big.sdf", data, "the unchanged save")
        # The first change adds "*" to the title; Save writes it and takes the "*" away.
        self.tool("chars", title, "114", "#")
        self.tool("wait", title + "*", "20000")
        self.tool("command", title + "*", "40002")
        self.wait_file("big.sdf", b"#" + data, "the save of the change")
        self.tool("wait", title, "20000")
        # New on a changed document asks; No goes on without saving.
        self.tool("chars", title, "114", "!")
        self.tool("command", title + "*", "40005")
        self.assertIn("Would you like to save this SDF?", [t for _, _, t in self.window_texts("Save SDF?")])
        self.click("Save SDF?", "No")
        self.tool("wait", "DkEdit - New File", "20000")
        self.assertEqual(self.read("big.sdf"), b"#" + data)
        # Save As on the new document: a name without a dot gets ".SDF" (the folder's dot does not count).
        os.mkdir(self.path("john.doe"))
        self.tool("chars", "DkEdit - New File", "114", "line one")
        # Yes on a document without a file asks for a name; cancelling that cancels the closing.
        self.tool("close", "DkEdit - New File")
        self.click("Save SDF?", "Yes")
        self.click("Input File Name", "Cancel")
        self.tool("gone", "Input File Name", "20000")
        time.sleep(3)
        self.assertIsNone(p.poll())
        self.tool("wait", "DkEdit - New File", "20000")
        self.tool("command", "DkEdit - New File", "40004")
        self.tool("wait", "Input File Name", "20000")
        self.tool("settext", "Input File Name", "1148", self.win("john.doe\\fresh"))
        self.click("Input File Name", "#1")
        self.wait_file("john.doe/fresh.SDF", b"line one", "the Save As")
        self.tool("wait", "DkEdit - " + self.win("john.doe\\fresh.SDF"), "20000")
        # Closing a changed document asks; Yes saves it.
        self.tool("chars", "DkEdit - " + self.win("john.doe\\fresh.SDF"), "114", "X")
        self.tool("close", "DkEdit - " + self.win("john.doe\\fresh.SDF") + "*")
        self.click("Save SDF?", "Yes")
        self.assertEqual(p.wait(timeout=30), 0)
        self.assertEqual(self.read("john.doe/fresh.SDF"), b"line oneX")
        # A file that does not exist is created; one that cannot be created gives the error box.
        p = self.start(self.win("missing.sdf"))
        self.tool("wait", "DkEdit - " + self.win("missing.sdf"), "20000")
        self.assertEqual(self.read("missing.sdf"), b"")
        self.close_and_wait(p, "DkEdit - " + self.win("missing.sdf"))
        p = self.start(self.win("no\\such\\dir.sdf"))
        texts = [t for _, _, t in self.window_texts("Error")]
        self.assertIn(f'Could not open or create "{self.win("no/such/dir.sdf")}"', texts)
        self.click("Error", "OK")
        self.close_and_wait(p, "DkEdit")

    def test_recent_files_after_eleven_opens(self):
        names = [f"doc{i:02}.sdf" for i in range(11)]
        for name in names + ["doc03.sdf"]:
            p = self.start(self.win(name))
            self.close_and_wait(p, "DkEdit - " + self.win(name))
        values = reg_query(KEY)
        expected = ["doc03.sdf"] + [n for n in reversed(names) if n != "doc03.sdf"][:9]
        self.assertEqual([values[str(i)] for i in range(1, 11)], [("REG_SZ", self.win(n)) for n in expected])
        self.assertNotIn("11", values)

    def test_find_and_replace_all(self):
        self.write("r.sdf", b"foo one\r\nnothing\r\nFOO foo\r\nend")
        p = self.start(self.win("r.sdf"))
        title = "DkEdit - " + self.win("r.sdf")
        self.tool("command", title, "40009")
        self.tool("settext", "Find Text", "1027", "absent")
        self.click("Find Text", "Find Next")
        self.assertIn("No match found", [t for _, _, t in self.window_texts("Search Result")])
        self.click("Search Result", "OK")
        self.click("Find Text", "Cancel")
        self.tool("command", title, "40010")
        self.tool("settext", "Replace Text", "1027", "foo")
        self.tool("settext", "Replace Text", "1035", "bar")
        self.click("Replace Text", "Replace All")
        self.click("Replace Text", "Close")
        self.tool("command", title + "*", "40002")
        self.wait_file("r.sdf", b"bar one\r\nnothing\r\nbar bar\r\nend", "the replaced text")
        self.close_and_wait(p, title)

    def test_saves_leave_only_the_document_and_failures_keep_it(self):
        """Saves leave nothing beside the document; a read-only document and one another program
        holds open give the error box and keep their bytes, and nothing is left beside them."""
        os.mkdir(self.path("d"))
        for name in ("a.sdf", "ro.sdf", "held.sdf"):
            self.write(f"d/{name}", b"old\r\ntext")
        os.chmod(self.path("d/ro.sdf"), 0o444)
        listing = ["a.sdf", "held.sdf", "ro.sdf"]
        a = self.win("d\\a.sdf")
        p = self.start(a)
        for n, ch in enumerate("xy"):
            self.tool("chars", f"DkEdit - {a}", "114", ch)
            self.tool("command", f"DkEdit - {a}*", "40002")
            self.wait_file("d/a.sdf", b"xy"[:n + 1] + b"old\r\ntext", "the save")
            self.tool("wait", f"DkEdit - {a}", "20000")
            self.assertEqual(sorted(os.listdir(self.path("d"))), listing)
        self.close_and_wait(p, f"DkEdit - {a}")

        # The held document is opened before the other program takes it.
        editors = {"held.sdf": self.start(self.win("d\\held.sdf"))}
        self.tool("wait", "DkEdit - " + self.win("d\\held.sdf"), "20000")
        with open(self.path("held.out"), "wb") as sink:
            holder = subprocess.Popen([WINE, WINTEST, "hold", self.win("d\\held.sdf"), "90000"],
                                      cwd=self.dir, env=ENV, stdin=subprocess.DEVNULL, stdout=sink, stderr=sink)
        self.processes.append(holder)
        self.wait_for(lambda: b"held" in self.read("held.out"), what="the document to be held open")
        for name in ("ro.sdf", "held.sdf"):
            doc = self.win(f"d\\{name}")
            p = editors.get(name) or self.start(doc)
            title = f"DkEdit - {doc}"
            self.tool("wait", title, "20000")
            self.tool("chars", title, "114", "z")
            self.tool("command", title + "*", "40002")
            texts = [t for _, _, t in self.window_texts("Error")]
            self.assertIn(f'Could not save "{doc}"', texts)
            self.click("Error", "OK")
            self.tool("gone", "Error", "20000")
            self.assertEqual(self.read(f"d/{name}"), b"old\r\ntext")
            self.assertEqual(sorted(os.listdir(self.path("d"))), listing)
            # The edit stays unsaved: closing asks, No keeps the file as it was.
            self.tool("close", title + "*")
            self.click("Save SDF?", "No")
            self.assertEqual(p.wait(timeout=30), 0)
        holder.kill()
        holder.wait()
        self.assertEqual(self.read("d/held.sdf"), b"old\r\ntext")
        os.chmod(self.path("d/ro.sdf"), 0o644)


if __name__ == "__main__":
    unittest.main()
