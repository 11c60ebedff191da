"""Talking to the user under Wine: input forms, messages and questions, the passphrase prompt and
the status window, driven through the test helper as a person would."""
import os
import shutil
import subprocess
import time

from harness import WineTestCase

FORM = "DravikLT - User input required"
PROMPT = "DravikLT - User Prompt"
STATUS = "Dravik Status"

BM_CLICK, CB_SETCURSEL, PBM_GETPOS = 0xF5, 0x14E, 0x408
BM_GETCHECK, CB_GETCOUNT = 0xF0, 0x146
WM_SYSCOMMAND, SC_MINIMIZE, TRAY, WM_LBUTTONDBLCLK = 0x112, 0xF020, 10002, 0x203


class Prompts(WineTestCase):
    def script(self, common, options="", cleanup="", update="Forms"):
        return self.write_script("x.sdf", f"[Update]\nupdate = {update}\nlog = {self.win('u.log')}\n{options}"
                                          f"[Common]\n{common}\n[Cleanup]\n{cleanup}\n")

    def out(self):
        with open(self.path("out.txt"), "rb") as f:
            return f.read().decode("latin-1").split("\r\n")[:-1]

    def rects(self, caption):
        r = self.wintest("rects", caption, "20000")
        self.assertEqual(r.returncode, 0)
        rows = {}
        for line in r.stdout.decode("latin-1").splitlines()[1:]:
            ident, _, rect = line.split("|")
            rows[int(ident)] = tuple(int(v) for v in rect.split(","))
        return rows

    def styles(self, caption):
        rows = {}
        for line in self.wintest("styles", caption, "20000").stdout.decode("latin-1").splitlines():
            fields = line.split("|")
            rows[fields[0] if fields[0] == "window" else int(fields[0])] = fields[1:]
        return rows

    def send(self, caption, ident, msg, wp=0, lp=0):
        r = self.wintest("send", caption, str(ident), str(msg), str(wp), str(lp), "20000")
        self.assertEqual(r.returncode, 0, r.stderr)
        return int(r.stdout)

    def focus(self):
        return int(self.wintest("focus", FORM).stdout)

    def key(self, caption, ident, vk):
        self.assertEqual(self.wintest("key", caption, str(ident), str(vk)).returncode, 0)

    def keep_screenshot(self, name, x, y, w, h):
        """A screenshot cropped to one window, beside the others in the test output folder."""
        shot = self.screenshot(name)
        if shutil.which("convert") and os.path.exists(shot):
            subprocess.run(["convert", shot, "-crop", f"{w}x{h}+{x}+{y}", "+repage", shot[:-4] + "-window.png"],
                           stdin=subprocess.DEVNULL, timeout=60)

    def test_form_layout_keys_and_done(self):
        out = self.win("out.txt")
        self.script("@SET folder = C:\\start\n"
                    "$edit name \"Your name, please type it in this box here\" Bob\n"
                    "$cbox agree \"I agree\" yes\n"
                    "$list colour Colour green red green blue\n"
                    "$opts size Size M S M L\n"
                    "$file doc \"Pick a document\"\n"
                    "$dir {folder} \"Pick a folder\"\n"
                    "$text \"Please answer\"\n"
                    "$stop\n"
                    f"-file {out} -ie \"{{name}}|{{agree}}|{{colour}}|{{size}}|{{doc}}|{{folder}}|{{MsgState}}\"",
                    cleanup=f"$edit late Late\n-file {out} -ie \"cleanup went on\"")
        agent = self.start_agent("x.sdf")
        rects = self.rects(FORM)
        lh = rects[2001][3]
        # Top of every control by the layout rules: a 42-character label takes two lines.
        y = {2000: 10, 2001: 10 + 2 * lh}
        y[2002] = y[2001] + lh + 10  # the check box, then its spacer
        y[2004] = y[2002] + lh + 10  # list label
        y[2005] = y[2004] + lh
        y[2006] = y[2005] + lh + 10  # opts label, then three radio buttons
        y[2007] = y[2006] + lh
        y[2011] = y[2007] + 3 * lh + 10  # file label and button
        y[6012] = y[2011] + lh
        y[2013] = y[6012] + lh + 10
        y[6014] = y[2013] + lh
        for ident, top in y.items():
            self.assertEqual((rects[ident][0], rects[ident][1]), (10, top), ident)
        self.assertEqual(rects[2000][3], 3 * lh + 10)
        self.assertEqual(rects[6012][2:], (140, lh))
        self.assertEqual(rects[2015][:2], (245, 10))  # past y = 330: the second column
        done, cancel, end = rects[1068], rects[1071], rects[1069]
        self.assertEqual((done[1], cancel[0], end[0]), (400, done[0] + done[2] + 5, done[0] + 2 * done[2] + 10))
        styles = self.styles(FORM)
        # The combo box hands its border and scroll bars to its list, and adds a bit of its own.
        for ident, style in {2001: 0x50800080, 2002: 0x50010003, 2005: 0x50B10203, 2007: 0x50030009,
                             2008: 0x50010009, 6012: 0x50010000, 1068: 0x50010001, 1069: 0x50010000}.items():
            moved = 0x00B01000 if ident == 2005 else 0
            self.assertEqual(int(styles[ident][1], 16) & ~0x04000000 & ~moved, style & ~moved, ident)
        self.assertEqual(int(styles[2001][2], 16) & 0x200, 0x200)  # client edge
        self.assertEqual(styles[1069][3], "1")  # End is enabled by $stop
        self.keep_screenshot("form", 85, 80, 480, 460)

        # The first control has the focus; Tab goes round the nine entries of the ring and back.
        self.assertEqual(self.focus(), 2001)
        self.key(FORM, 2001, 9)
        self.wait_for(lambda: self.focus() == 2002, what="Tab to the check box")
        for _ in range(8):
            self.key(FORM, 2001, 9)
        self.wait_for(lambda: self.focus() == 2001, what="Tab back to the first entry")

        self.assertEqual(self.wintest("settext", FORM, "2001", "").returncode, 0)
        self.assertEqual(self.wintest("chars", FORM, "2001", "Ann").returncode, 0)
        self.send(FORM, 2002, BM_CLICK)
        self.send(FORM, 2005, CB_SETCURSEL, 2)
        self.send(FORM, 2009, BM_CLICK)
        self.click(FORM, "Done")
        # The form in Cleanup is shown but not waited for; the program still ends by itself.
        self.assertEqual(agent.wait(timeout=60), 0)
        self.assertEqual(self.out(), ["Ann|No|blue|L|doc|C:\\start|OK", "cleanup went on"])

    def test_two_pages_cancel_keys_and_end(self):
        out = self.win("out.txt")
        edits = "".join(f"$edit a{i} \"\" d{i}\n" for i in range(34))
        self.script(edits + f"-file {out} -ie \"{{a0}}|{{a33}}|{{MsgState}}\"\n$edit b B\n$file {{b}} Choose\n$stop\n"
                    f"-file {out} -ie \"not reached\"", cleanup=f"-file {out} -ie \"cleanup\"")
        agent = self.start_agent("x.sdf")
        rects = self.rects(FORM)
        self.assertEqual(len(rects), 36)  # 33 edits in three columns and the three buttons
        self.assertEqual(rects[2022][0], 480)
        client_width = int(self.wintest("rects", FORM).stdout.decode().splitlines()[0].split("|")[1])
        self.assertGreaterEqual(client_width, 480 + 220)  # the third column lies inside the window
        self.assertEqual(self.styles(FORM)[1069][3], "0")  # End is greyed without $stop
        self.key(FORM, 2000, 27)  # Esc: Cancel; the second page still follows
        self.wait_for(lambda: len(self.rects(FORM)) == 4, what="the second page")
        # Shift+Tab from the first entry wraps backwards; the greyed End is stepped over both ways.
        self.assertEqual(self.focus(), 2000)
        self.assertEqual(self.wintest("shiftkey", FORM, "2000", "9").returncode, 0)
        self.wait_for(lambda: self.focus() == 1071, what="Shift+Tab to Cancel")
        self.key(FORM, 2000, 9)
        self.wait_for(lambda: self.focus() == 2000, what="Tab over End to the edit")
        self.key(FORM, 2000, 13)  # Enter: Done
        self.wait_for(lambda: 6003 in self.rects(FORM), what="the third form")
        self.assertEqual(self.styles(FORM)[1069][3], "1")
        # The file chosen goes to the edit bound to the same variable.
        self.click(FORM, "Browse For File")
        self.assertEqual(self.wintest("settext", "Choose", "1148", "C:\\chosen.txt", "20000").returncode, 0)
        self.click("Choose", "#1")
        self.wait_for(lambda: (2001, "Edit", "C:\\chosen.txt") in self.window_texts(FORM), what="the chosen path")
        self.click(FORM, "End")
        self.assertEqual(agent.wait(timeout=60), 0)
        self.assertEqual(self.out(), ["|d33|OK"])
        log = self.log_entries("u.log")
        self.assertEqual(len([l for l in log if l.startswith("$edit a33 ")]), 1)
        self.assertIn("$edit a33 \"\" d33, Getting user input.", log)
        self.assertEqual(log[-1], "Update completed, Forms")

    def test_editor_written_list_and_options_with_empty_default(self):
        """The lines DkEdit writes for a list box and option buttons carry an empty default before
        the items: it selects nothing, and is neither an item nor a choice."""
        out = self.win("out.txt")
        self.script('$list {c} "Pick one" "" red "dark blue"\n'
                    '$opts {o} Pick "" a b\n'
                    f'-file {out} -ie "{{c}}|{{o}}"\n'
                    '$list {c} "Pick one" "" red "dark blue"\n'
                    '$opts {o} Pick "" a b\n'
                    f'-file {out} -ie "{{c}}|{{o}}"')
        agent = self.start_agent("x.sdf")
        for answer in ("as shown", "chosen"):
            rows = self.window_texts(FORM)
            combo = [(i, t) for i, c, t in rows if c == "ComboBox"]
            radios = [(i, t) for i, c, t in rows if c == "Button" and i >= 2000]
            self.assertEqual((len(combo), combo[0][1]), (1, "red"))
            self.assertEqual(self.send(FORM, combo[0][0], CB_GETCOUNT), 2)
            self.assertEqual([t for _, t in radios], ["a", "b"])
            self.assertEqual([self.send(FORM, i, BM_GETCHECK) for i, _ in radios], [0, 0])
            if answer == "chosen":
                self.send(FORM, combo[0][0], CB_SETCURSEL, 1)
                self.send(FORM, radios[1][0], BM_CLICK)
            self.click(FORM, "Done")
            self.wait_for(lambda: os.path.exists(self.path("out.txt")) and len(self.out()) == (answer == "chosen") + 1,
                          what="the answers")
        self.assertEqual(agent.wait(timeout=60), 0)
        self.assertEqual(self.out(), ["red|", "dark blue|b"])

    def test_message_and_questions(self):
        out = self.win("out.txt")
        self.script(f"@SET who = Ann\n$ Hello {{who}}\n-file {out} -ie \"{{MsgState}}\"\n$? Carry on?\n"
                    f"-file {out} -ie \"{{MsgState}}\"\n$?Really\n-file {out} -ie \"{{MsgState}}\"",
                    options="showprogress = yes\n")
        agent = self.start_agent("x.sdf")
        texts = [t for (_, _, t) in self.window_texts("Dravik Message")]
        self.assertIn("Hello Ann", texts)
        # The activity bar stands still while the box is open.
        first = self.send(STATUS, 11, PBM_GETPOS)
        time.sleep(2.5)
        self.assertEqual(self.send(STATUS, 11, PBM_GETPOS), first)
        self.keep_screenshot("message", 445, 330, 134, 107)
        self.keep_screenshot("status", 774, 643, 200, 75)
        self.click("Dravik Message", "OK")
        self.wait_for(lambda: "Carry on?" in [t for (_, _, t) in self.window_texts("Dravik Message")],
                      what="the first question")
        self.click("Dravik Message", "Yes")
        self.wait_for(lambda: "Really" in [t for (_, _, t) in self.window_texts("Dravik Message")],
                      what="the second question")
        self.click("Dravik Message", "No")
        self.assertEqual(agent.wait(timeout=60), 0)
        self.assertEqual(self.out(), ["OK", "Yes", "No"])
        self.assertIn("$ Hello {who}, Displaying message to user.", self.log_entries("u.log"))

    def test_status_window_bar_minimise_tray_and_close(self):
        self.script("$edit hold Hold", options="showprogress = yes\n", update="Office rollout")
        agent = self.start_agent("x.sdf")
        self.assertEqual(self.wintest("wait", FORM, "20000").returncode, 0)
        windows = self.wintest("list").stdout.decode("latin-1").splitlines()
        self.assertIn("1|DravikLT|Dravik Status", windows)
        styles = self.styles(STATUS)
        # (The class brush is not visible from another process under Wine.)
        window_style, ex_style = (int(v, 16) for v in styles["window"][:2])
        self.assertEqual((window_style & 0xCA0000, ex_style & 0x20008), (0xCA0000, 0x20008))
        self.assertEqual(self.window_texts(STATUS), [(10, "Static", "Office rollout"), (11, "msctls_progress32", "")])
        rects = self.rects(STATUS)
        self.assertEqual(rects[10][:3], (10, 5, 180))
        self.assertEqual(rects[11], (10, 22, 180, 15))
        # The bar moves while a form is open.
        first = self.send(STATUS, 11, PBM_GETPOS)
        self.wait_for(lambda: self.send(STATUS, 11, PBM_GETPOS) >= first + 2, timeout=15, what="the bar to move")

        self.send(STATUS, -1, WM_SYSCOMMAND, SC_MINIMIZE)
        self.wait_for(lambda: "0|DravikLT|Dravik" in self.wintest("list").stdout.decode("latin-1").splitlines(),
                      what="minimising to hide the window")
        # A double click on the tray icon: its callback message, sent to the hidden window by class.
        self.assertEqual(self.wintest("sendclass", "DravikLT", str(TRAY), "1", str(WM_LBUTTONDBLCLK)).returncode, 0)
        self.assertEqual(self.wintest("wait", STATUS, "10000").returncode, 0)

        # Closing during the run asks first; Cancel changes nothing, OK ends the program at once.
        self.wintest("close", STATUS)
        texts = [t for (_, _, t) in self.window_texts("Update Cancelled")]
        self.assertIn("The update is still executing, are you sure you wish to quit? If you quit not all steps will "
                      "complete properly. Select OK to quit or Cancel to continue.", texts)
        self.click("Update Cancelled", "Cancel")
        time.sleep(1)
        self.assertIsNone(agent.poll())
        self.wintest("close", STATUS)
        self.click("Update Cancelled", "OK")
        # The form goes at once; nothing of the run follows.
        self.assertEqual(self.wintest("gone", FORM, "2000").returncode, 0)
        self.assertEqual(agent.wait(timeout=20), 0)
        self.assertNotIn("Update completed, Office rollout", self.log_entries("u.log"))

    def test_passphrase_answered_and_cancelled(self):
        out = self.win("out.txt")
        self.script(f"-file {out} -ie \"[{{MsgState}}]\"", options="promptpassphrase = yes\n")
        agent = self.start_agent("x.sdf")
        self.assertEqual([t for (_, _, t) in self.window_texts(PROMPT)], ["Enter Passphrase", "", "Ok", "Cancel"])
        lines = self.wintest("rects", PROMPT).stdout.decode().splitlines()
        client = tuple(int(v) for v in lines[0].split("|")[1:])
        self.assertTrue(client[0] >= 165 and client[1] >= 95, client)  # Ok and Cancel can be seen
        rects = self.rects(PROMPT)
        self.assertEqual((rects[2001], rects[1068], rects[1071]), ((15, 45, 150, 15), (90, 75, 45, 20),
                                                                   (15, 75, 45, 20)))
        self.assertEqual(self.wintest("chars", PROMPT, "2001", "s3cret").returncode, 0)
        self.keep_screenshot("passphrase", 100, 50, 190, 140)
        self.click(PROMPT, "Ok")
        self.assertEqual(agent.wait(timeout=60), 0)
        agent = self.start_agent("x.sdf")
        self.assertEqual(self.wintest("wait", PROMPT, "20000").returncode, 0)
        self.key(PROMPT, 2001, 27)  # Esc in the edit: Cancel
        self.assertEqual(agent.wait(timeout=60), 0)
        self.assertEqual(self.out(), ["[OK]", "[Cancel]"])
        self.assertNotIn("s3cret", self.read_log("u.log"))

    def test_passphrase_prompt_times_out(self):
        out = self.win("out.txt")
        self.script(f"-file {out} -ie \"[{{MsgState}}]\"", options="promptpassphrase = yes\n")
        started = time.time()
        agent = self.start_agent("x.sdf")
        self.assertEqual(self.wintest("wait", PROMPT, "20000").returncode, 0)
        self.assertEqual(agent.wait(timeout=170), 0)
        self.assertGreater(time.time() - started, 115)
        self.assertEqual(self.out(), ["[]"])
