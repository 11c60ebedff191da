"""The file and registry commands in the real agent under Wine: files checked byte for byte, the
registry through Wine's reg.exe, and the log as the agent wrote it."""
import os
import re
import subprocess

from harness import ENV, WINE, WINTEST, WineTestCase

KEY = "Software\\DravikTest"
HKCU_KEY = "HKEY_CURRENT_USER\\" + KEY


def utf16(text):
    return b"\xff\xfe" + text.encode("utf-16-le")


class Commands(WineTestCase):
    def run_common(self, body, name="c.sdf"):
        return super().run_common(body, name=name, update="Cmd")

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
