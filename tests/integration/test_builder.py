"""DkEdit's command builder under Wine: kinds chosen in the tree, fields edited through the string
and option dialogs, statements added at valid and refused places, a line analysed and updated, a
line deleted, and the script made only with the builder run by DravikLT."""
import unittest

from harness import WineTestCase, reg_delete, start_program

EXE = "DkEdit.exe"
KEY = r"HKCU\Software\DravikBuilderTest"
REFUSED = "Invalid location for this command"


class Builder(WineTestCase):
    def tool(self, *args):
        r = self.wintest(*args)
        self.assertEqual(r.returncode, 0, f"wintest {args}: {r.stderr.decode(errors='replace')}")
        return r.stdout.decode("latin-1").splitlines()

    def select(self, path):
        self.tool("treeselect", self.title, path)

    def rows(self):
        return [tuple(line.split("|")) for line in self.tool("rows", self.title, "110")]

    def activate(self, row):
        self.tool("rowselect", self.title, "110", str(row))
        self.tool("key", self.title, "110", "13")

    def type_value(self, row, caption, text, *clicks):
        """Edits a text field: its row opens the string dialog with the field's prompt as caption."""
        self.activate(row)
        self.tool("wait", caption, "20000")
        self.tool("settext", caption, "1003", text)
        for button in clicks:
            self.click(caption, button)
        self.click(caption, "Done")
        self.tool("gone", caption, "20000")

    def choose(self, row, caption, index):
        self.activate(row)
        self.tool("wait", caption, "20000")
        self.click(caption, f"#{1007 + index}")
        self.click(caption, "Done")
        self.tool("gone", caption, "20000")

    def pane(self):
        texts = {i: t for i, _, t in self.window_texts(self.title)}
        return texts[114].replace("\\r", "\r").replace("\\n", "\n"), texts

    def caret_at(self, offset):
        self.tool("setsel", self.title, "114", str(offset), str(offset))

    def add(self):
        self.click(self.title, "#118")

    def test_compose_add_analyze_update_delete_and_run(self):
        reg_delete(KEY)
        with open(self.path("out.txt"), "wb") as f:
            f.write(b"first\r\n")
        with open(self.path("b.sdf"), "wb") as f:
            pass
        p = start_program(EXE, [self.win("b.sdf")], cwd=self.dir)
        self.processes.append(p)
        self.title = "DkEdit - " + self.win("b.sdf")
        self.tool("wait", self.title, "20000")

        # The [Update] block: a toggle flips, a text field's icon turns from minus to check.
        self.select("Dravik/Update Options/Update Section")
        rows = self.rows()
        self.assertEqual(rows[0], ("Update Name", "", "0"))
        self.assertEqual(rows[4], ("Pause on Completion", "Yes", "2"))
        self.type_value(0, "Update name", "Builder")
        self.activate(4)
        rows = self.rows()
        self.assertEqual(rows[0], ("Update Name", "Builder", "1"))
        self.assertEqual(rows[4], ("Pause on Completion", "No", "2"))
        self.add()
        saved_title = self.title
        self.title += "*"  # the document has changed
        self.tool("wait", self.title, "20000")
        block = "[Update]\r\nUpdate= Builder\r\nPauseOnCompletion= No\r\nQuietly= Yes\r\nShowProgress= No\r\n" \
                "WaitForDate= No\r\nReboot= No\r\n"
        self.wait_for(lambda: self.pane()[0].startswith(block), what="the [Update] block")
        self.assertEqual(self.pane()[0], block + "\r\n[Common]\r\n\r\n[CleanUp]\r\n")

        # A variable field takes x as {x}; Add above every header is refused with a message box.
        self.select("Dravik/Update Control/Set Variable")
        self.type_value(0, "Variable name to set", "x")
        self.type_value(2, "Value to set variable to", "hello world")
        self.assertEqual(self.rows()[0], ("Variable Name", "x", "1"))
        self.assertEqual(self.pane()[1][113], '@SET {x} "hello world"')
        self.caret_at(0)
        self.add()
        texts = [t for _, _, t in self.window_texts(REFUSED)]
        self.assertIn("Please relocate the cursor in the file window and add the command again.", texts)
        self.click(REFUSED, "OK")
        self.tool("gone", REFUSED, "20000")
        self.assertEqual(self.pane()[0], block + "\r\n[Common]\r\n\r\n[CleanUp]\r\n")

        # On the empty line under [Common] it goes on that line; the next ones follow the caret.
        common = len(block + "\r\n[Common]\r\n")
        self.caret_at(common)
        self.add()
        self.select("Dravik/File")
        self.type_value(0, "File to edit", self.win("out.txt"))
        self.select("Dravik/File/Insert")
        self.assertEqual(self.rows()[2][2], "3")  # Search Text is not applicable at the end
        self.type_value(1, "Text to insert", "{x}")
        self.add()
        self.select("Dravik/Registry")
        self.choose(0, "Root key", 2)
        self.type_value(1, "Registry key path", r"Software\DravikBuilderTest")
        self.choose(2, "Registry action", 0)
        self.select("Dravik/Registry/Set Value")
        self.type_value(0, "Value name", "Greeting")
        self.type_value(2, "Value data", "{x}")
        self.add()
        self.select("Dravik/Update Control/If")
        self.type_value(0, "First value to compare", "x", "Variable")
        self.type_value(2, "Second value to compare", "hello builder")
        self.add()
        self.select("Dravik/Update Control/Set Variable")
        self.type_value(0, "Variable name to set", "y")
        self.type_value(2, "Value to set variable to", "inside")
        self.add()
        self.select("Dravik/Update Control/End If")
        self.add()
        self.select("Dravik/File/Insert")
        self.type_value(1, "Text to insert", "{y}")
        self.add()
        self.select("Dravik/Update Options/Comment")
        self.type_value(0, "Update comment.  Comments are ignored when the update is processed", " scratch")
        self.add()
        out = self.win("out.txt")
        # A text holding both braces is written in double quotes where brace-quoting applies.
        body = (f'@SET {{x}} "hello world"\r\n-file {out} -ie "{{x}}"\r\n'
                r'-reg CU Software\DravikBuilderTest -m -s Greeting SZ "{x}"' "\r\n"
                '@IF {x} = "hello builder"\r\n    @SET {y} inside\r\n@ENDIF\r\n'
                f'-file {out} -ie "{{y}}"\r\n; scratch\r\n')
        self.assertEqual(self.pane()[0], block + "\r\n[Common]\r\n" + body + "\r\n[CleanUp]\r\n")

        # Analyze the first statement, change its value, Update writes it back in place.
        self.caret_at(common + 3)
        self.click(self.title, "#119")
        self.wait_for(lambda: self.pane()[1][118] == "Upd&ate", what="update mode")
        self.assertEqual(self.rows()[2], ("Value", "hello world", "1"))
        self.type_value(2, "Value to set variable to", "hello builder")
        self.add()
        self.wait_for(lambda: self.pane()[1][118] == "&Add", what="the end of update mode")
        body = body.replace('"hello world"', '"hello builder"', 1)
        # Delete takes the comment line with its line break.
        text = self.pane()[0]
        self.caret_at(text.index("; scratch") + 2)
        self.click(self.title, "#120")
        body = body.replace("; scratch\r\n", "")
        script = block + "\r\n[Common]\r\n" + body + "\r\n[CleanUp]\r\n"
        self.assertEqual(self.pane()[0], script)

        # Saved and run, the script does what its statements say.
        self.tool("command", self.title, "40002")
        self.wait_for(lambda: open(self.path("b.sdf"), "rb").read() == script.encode("latin-1"), what="the save")
        self.tool("close", saved_title)
        self.assertEqual(p.wait(timeout=30), 0)
        self.assertEqual(self.run_agent("b.sdf"), 0)
        with open(self.path("out.txt"), "rb") as f:
            self.assertEqual(f.read(), b"first\r\nhello builder\r\ninside\r\n")
        self.assertEqual(self.reg_value(KEY, "Greeting"), ("REG_SZ", "hello builder"))
        reg_delete(KEY)

    def test_sub_operations_items_reset_and_refused_update(self):
        doc = "[Update]\r\nUpdate= T\r\n@END\r\n[Common]\r\n"
        with open(self.path("s.sdf"), "wb") as f:
            f.write(doc.encode("latin-1"))
        p = start_program(EXE, [self.win("s.sdf")], cwd=self.dir)
        self.processes.append(p)
        self.title = "DkEdit - " + self.win("s.sdf")
        self.tool("wait", self.title, "20000")

        # Updating a line that stands in [Update] is refused and the line comes back.
        self.caret_at(doc.index("@END") + 2)
        self.click(self.title, "#119")
        self.wait_for(lambda: self.pane()[1][118] == "Upd&ate", what="update mode")
        self.add()
        self.title += "*"  # the line was taken out and put back
        texts = [t for _, _, t in self.window_texts(REFUSED)]
        self.assertIn("Please move the command in the file window and then analyze and update the command again.",
                      texts)
        self.click(REFUSED, "OK")
        self.tool("gone", REFUSED, "20000")
        text, controls = self.pane()
        self.assertEqual(text, doc)
        self.assertEqual(controls[118], "&Add")

        # A replace stored with ">" and a delete built after it make one file command.
        self.select("Dravik/File")
        self.type_value(0, "File to edit", "a.txt")
        self.select("Dravik/File/Replace")
        self.type_value(0, "Text to insert", "n")
        self.type_value(1, "Search text to replace", "o")
        self.click(self.title, "#122")
        self.wait_for(lambda: self.rows()[0][0] == "File Name", what="the File item after >")
        self.select("Dravik/File/Delete")
        self.type_value(0, "Search text to delete", "d")
        self.assertEqual(self.pane()[1][113], "-file a.txt -rs n o -dl d")
        self.caret_at(len(doc))
        self.add()
        self.wait_for(lambda: self.pane()[0] == doc + "-file a.txt -rs n o -dl d\r\n", what="the file command")
        # "<" goes back to the replace; choosing another kind empties the list.
        self.click(self.title, "#121")
        self.wait_for(lambda: self.pane()[1][113] == "-file a.txt -rs n o", what="the replace after <")
        self.select("Dravik/Update Control/End Update")
        self.select("Dravik/File/Delete")
        self.assertEqual(self.pane()[1][113], "-file a.txt -dl d")

        # Items of a list box: four added, the first removed, three left numbered 1 to 3.
        self.select("Dravik/User Interface")
        self.choose(1, "User interface control type", 6)
        self.type_value(2, "Response variable to store user input.  This adds a control to the display for user input",
                        "c")
        self.type_value(0, "Message to display to user", "Pick")
        for n, item in enumerate("abcd"):
            self.type_value(3 + n, "Option for the user to select", item)
        self.activate(3)
        self.tool("wait", "Option for the user to select", "20000")
        self.click("Option for the user to select", "Remove")
        self.tool("gone", "Option for the user to select", "20000")
        self.assertEqual(self.rows()[3:], [("List Item 1", "b", "1"), ("List Item 2", "c", "1"),
                                           ("List Item 3", "d", "1"), ("", "", "0")])
        self.assertEqual(self.pane()[1][113], '$list {c} Pick "" b c d')

        # Reset Values: every field back to its default, the items gone.
        self.click(self.title, "#117")
        self.wait_for(lambda: self.pane()[1][113] == '$ ""', what="the reset")
        self.assertEqual(self.rows(), [("Message", "", "0"), ("Message Type", "Standard Message Box", "2"),
                                       ("Response Variable", "", "3")])


if __name__ == "__main__":
    unittest.main()
