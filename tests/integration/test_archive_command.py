"""The "-rido" archive command in the real agent under Wine: archives checked with Python's zipfile
and Info-ZIP's unzip, containers made and read with OpenSSL's Blowfish, and the log as the agent
wrote it."""
import hashlib
import io
import os
import subprocess
import zipfile

from harness import ENV, WINE, WINTEST, WineTestCase

BUILT_IN_KEY = "7D41A2C9-5E03-4B8F-9A16-C2E58F0B3D74"
TREE = {
    "a.txt": b"alpha\r\nline two\r\n",
    "sub/b.bin": bytes(range(256)) * 40,
    "sub/deeper/c.txt": b"",
    "sub/deeper/d.txt": b"delta " * 1000,
}


def blowfish(data, key_text, decrypt=False):
    """The container cipher through OpenSSL: Blowfish CBC, key MD5(key text), zero IV, PKCS #5."""
    args = ["openssl", "enc", "-bf-cbc", "-provider", "legacy", "-provider", "default",
            "-K", hashlib.md5(key_text.encode()).hexdigest(), "-iv", "0000000000000000"]
    if decrypt:
        args.append("-d")
    return subprocess.run(args, input=data, capture_output=True, check=True).stdout


def zip_bytes(files):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in files.items():
            z.writestr(name, data)
    return out.getvalue()


class ArchiveCommand(WineTestCase):
    def run_common(self, body, name="z.sdf", args=()):
        return super().run_common(body, name=name, update="Rido", args=args)

    def write_bytes(self, name, data):
        os.makedirs(os.path.dirname(self.path(name)), exist_ok=True)
        with open(self.path(name), "wb") as f:
            f.write(data)

    def read_bytes(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def make_tree(self, root):
        for name, data in TREE.items():
            self.write_bytes(f"{root}/{name}", data)

    def unzip_test(self, name):
        return subprocess.run(["unzip", "-tq", self.path(name)], capture_output=True).returncode

    def test_compress_list_and_extract_a_tree(self):
        self.make_tree("src")
        self.write_bytes("dest/src/a.txt", b"stale")
        out, lst = self.win("out.zip"), self.win("list.txt")
        lines = [
            f"-rido {out} -c {self.win('src')}\\*.* -r -p",
            f"-rido {out} -l {lst}",
            f"-rido {out} -u {self.win('dest')} -r -o -p",
            f"-rido {out} -u {self.win('flat')} -r",
        ]
        log = self.run_common("\n".join(lines))
        self.assertEqual(log, [
            lines[0] + ", File(s) compressed.",
            lines[1] + ", Archive files listed in output file.",
            lines[2] + ", File(s) decompressed.",
            lines[3] + ", File(s) decompressed.",
        ])
        # Relative path information: the names start below the agent's current directory.
        expected = sorted("src/" + name for name in TREE)
        with zipfile.ZipFile(self.path("out.zip")) as z:
            self.assertIsNone(z.testzip())
            self.assertEqual(sorted(n for n in z.namelist() if not n.endswith("/")), expected)
            for name, data in TREE.items():
                self.assertEqual(z.read("src/" + name), data)
        self.assertEqual(self.unzip_test("out.zip"), 0)
        listed = self.read_bytes("list.txt").decode("latin-1")
        self.assertTrue(listed.endswith("\r\n"))
        self.assertEqual(sorted(n for n in listed.split("\r\n")[:-1] if not n.endswith("/")), expected)
        # With paths and overwriting the tree comes back byte for byte; without paths the files
        # land side by side.
        for name, data in TREE.items():
            self.assertEqual(self.read_bytes("dest/src/" + name), data, name)
            self.assertEqual(self.read_bytes("flat/" + os.path.basename(name)), data, name)
        self.assertFalse(os.path.exists(self.path("flat/sub")))

    def test_list_file_and_failures(self):
        self.make_tree("src")
        self.write_bytes("files.lst", f"{self.win('src/a.txt')}\r\n{self.win('src/sub/deeper')}\\*.txt\r\n".encode())
        # A container encrypted with another key than the agent's.
        self.write_bytes("foreign.zip", blowfish(zip_bytes({"x.txt": b"x"}), "another key"))
        lines = [
            f"-rido {self.win('l.zip')} -c @{self.win('files.lst')}",
            f"-rido {self.win('missing.zip')} -u {self.win('dest')}",
            f"-rido {self.win('missing.zip')} -l {self.win('m.txt')}",
            f"-rido {self.win('foreign.zip')} -u {self.win('dest')} -D",
            f"-rido {self.win('foreign.zip')} -l {self.win('f.txt')} -D",
        ]
        log = self.run_common("\n".join(lines))
        self.assertEqual(log, [
            lines[0] + ", File(s) compressed.",
            lines[1] + ", File(s) not decompressed.",
            lines[2] + ", Error listing archive files.",
            lines[3] + ", File(s) not decompressed.",
            lines[4] + ", Error listing archive files.",
        ])
        with zipfile.ZipFile(self.path("l.zip")) as z:
            self.assertEqual(sorted(z.namelist()), ["a.txt", "c.txt", "d.txt"])
        for name in ("m.txt", "f.txt", "foreign.zip.dk@", "missing.zip.dk@", "dest"):
            self.assertFalse(os.path.exists(self.path(name)), name)

    def test_container_is_read_back(self):
        plain = zip_bytes({"a.txt": TREE["a.txt"], "sub/b.bin": TREE["sub/b.bin"]})
        self.write_bytes("app.zip", blowfish(plain, BUILT_IN_KEY))
        self.assertNotEqual(self.unzip_test("app.zip"), 0)
        app = self.win("app.zip")
        lines = [
            f"-rido {app} -l {self.win('list.txt')} -D",
            f"-rido {app} -u {self.win('dest')} -D -r -p",
        ]
        log = self.run_common("\n".join(lines))
        self.assertEqual(log, [lines[0] + ", Archive files listed in output file.",
                               lines[1] + ", File(s) decompressed."])
        self.assertEqual(self.read_bytes("list.txt"), b"a.txt\r\nsub/b.bin\r\n")
        self.assertEqual(self.read_bytes("dest/a.txt"), TREE["a.txt"])
        self.assertEqual(self.read_bytes("dest/sub/b.bin"), TREE["sub/b.bin"])
        self.assertFalse(os.path.exists(self.path("app.zip.dk@")))

    def seven_zip(self, *args):
        return subprocess.run(["7z"] + list(args), capture_output=True).returncode

    def expect_aes_entries(self, archive, key, names):
        """Every entry of `archive` is AES-encrypted (method 99) and 7-Zip opens them with `key` only."""
        with zipfile.ZipFile(self.path(archive)) as z:
            infos = [i for i in z.infolist() if not i.filename.endswith("/")]
            self.assertEqual(sorted(i.filename for i in infos), sorted(names))
            for info in infos:
                self.assertEqual(info.compress_type, 99, info.filename)
                self.assertTrue(info.flag_bits & 1, info.filename)
        self.assertEqual(self.seven_zip("t", "-p" + key, self.path(archive)), 0)
        self.assertNotEqual(self.seven_zip("t", "-pnot the key", self.path(archive)), 0)

    def test_entry_encryption_with_the_pass_key_and_the_built_in_key(self):
        self.make_tree("src")
        keyed, builtin = self.win("keyed.zip"), self.win("builtin.zip")
        lines = [
            f"-rido {keyed} -c {self.win('src')}\\*.* -r -p -e",
            f"-rido {keyed} -u {self.win('dest')} -r -p -o -d",
            f"-rido {keyed} -u {self.win('nokey')} -r -p",
        ]
        log = self.run_common("\n".join(lines), args=("-P", "Pass Key 7"))
        self.assertEqual(log, [lines[0] + ", File(s) compressed.", lines[1] + ", File(s) decompressed.",
                               lines[2] + ", File(s) not decompressed."])
        self.expect_aes_entries("keyed.zip", "Pass Key 7", ["src/" + name for name in TREE])
        self.assertEqual(self.seven_zip("x", "-pPass Key 7", "-o" + self.path("by7z"), self.path("keyed.zip")), 0)
        for name, data in TREE.items():
            self.assertEqual(self.read_bytes("dest/src/" + name), data, name)
            self.assertEqual(self.read_bytes("by7z/src/" + name), data, name)
            self.assertFalse(os.path.exists(self.path("nokey/src/" + name)), name)

        # Without a pass key the built-in key encrypts the entries.
        line = f"-rido {builtin} -c {self.win('src/a.txt')} -e"
        self.assertEqual(self.run_common(line), [line + ", File(s) compressed."])
        self.expect_aes_entries("builtin.zip", BUILT_IN_KEY, ["a.txt"])

    def test_container_compression(self):
        """"-E" encrypts the entries (AES, the pass key) and wraps the archive in the container; a
        second "-E" compression adds to the container's content."""
        self.make_tree("src")
        new, old = self.win("new.zip"), self.win("old.zip")
        self.write_bytes("old.zip", blowfish(zip_bytes({"first.txt": b"first"}), BUILT_IN_KEY))
        lines = [
            f"-rido {new} -c {self.win('src/a.txt')} -E",
            f"-rido {old} -c {self.win('src/a.txt')} -E",
            f"-rido {old} -l {self.win('list.txt')} -D",
            f"-rido {old} -u {self.win('dest')} -D -o",
        ]
        log = self.run_common("\n".join(lines))
        self.assertEqual(log, [lines[0] + ", File(s) compressed.", lines[1] + ", File(s) compressed.",
                               lines[2] + ", Archive files listed in output file.",
                               lines[3] + ", File(s) decompressed."])
        self.assertNotEqual(self.unzip_test("new.zip"), 0)
        self.write_bytes("new-plain.zip", blowfish(self.read_bytes("new.zip"), BUILT_IN_KEY, True))
        self.expect_aes_entries("new-plain.zip", BUILT_IN_KEY, ["a.txt"])
        self.write_bytes("old-plain.zip", blowfish(self.read_bytes("old.zip"), BUILT_IN_KEY, True))
        with zipfile.ZipFile(self.path("old-plain.zip")) as z:
            self.assertEqual(sorted(z.namelist()), ["a.txt", "first.txt"])
            self.assertEqual(z.read("first.txt"), b"first")  # the old entry is copied as it was
        self.assertEqual(self.read_bytes("list.txt"), b"first.txt\r\na.txt\r\n")
        self.assertEqual(self.read_bytes("dest/a.txt"), TREE["a.txt"])
        self.assertEqual(self.read_bytes("dest/first.txt"), b"first")
        for name in ("new.zip.dk@", "old.zip.dk@"):
            self.assertFalse(os.path.exists(self.path(name)), name)

    def folder(self, name):
        return sorted(os.listdir(self.path(name)))

    def test_container_operations_leave_only_the_container(self):
        """Each container operation in a folder of its own: afterwards the folder holds the container
        and nothing else (no working copy, no temporary file), except the working copy that a failed
        compression of an existing container keeps on purpose."""
        self.make_tree("src")
        first = zip_bytes({"first.txt": b"first"})
        for name in ("old", "oldfail", "list", "get", "getfail"):
            self.write_bytes(f"{name}/c.zip", blowfish(first, BUILT_IN_KEY))
        self.write_bytes("foreign/c.zip", blowfish(first, "another key"))
        for name in ("new", "newfail"):
            os.makedirs(self.path(name))
        a, missing = self.win("src/a.txt"), self.win("src/missing.txt")
        lines = [
            f"-rido {self.win('new/c.zip')} -c {a} -E",
            f"-rido {self.win('newfail/c.zip')} -c {missing} -E",
            f"-rido {self.win('old/c.zip')} -c {a} -E",
            f"-rido {self.win('oldfail/c.zip')} -c {missing} -E",
            f"-rido {self.win('list/c.zip')} -l {self.win('list.txt')} -D",
            f"-rido {self.win('foreign/c.zip')} -l {self.win('f.txt')} -D",
            f"-rido {self.win('get/c.zip')} -u {self.win('dest')} -D",
            f"-rido {self.win('getfail/c.zip')} -u {self.win('dest2')} -D -f nothing.txt",
            f"-rido {self.win('foreign/c.zip')} -u {self.win('dest3')} -D",
        ]
        log = self.run_common("\n".join(lines))
        self.assertEqual(log, [
            lines[0] + ", File(s) compressed.",
            lines[1] + ", File(s) not compressed.",
            lines[2] + ", File(s) compressed.",
            lines[3] + ", File(s) not compressed.",
            lines[4] + ", Archive files listed in output file.",
            lines[5] + ", Error listing archive files.",
            lines[6] + ", File(s) decompressed.",
            lines[7] + ", File(s) not decompressed.",
            lines[8] + ", File(s) not decompressed.",
        ])
        for name in ("new", "old", "list", "get", "getfail", "foreign"):
            self.assertEqual(self.folder(name), ["c.zip"], name)
        self.assertEqual(self.folder("newfail"), [])
        self.assertEqual(self.folder("oldfail"), ["c.zip", "c.zip.dk@"])
        self.assertEqual(self.read_bytes("oldfail/c.zip.dk@"), first)
        for name in ("oldfail", "list", "get", "getfail"):
            self.assertEqual(self.read_bytes(f"{name}/c.zip"), blowfish(first, BUILT_IN_KEY), name)
        self.assertEqual(self.read_bytes("list.txt"), b"first.txt\r\n")
        self.assertEqual(self.read_bytes("dest/first.txt"), b"first")
        with zipfile.ZipFile(io.BytesIO(blowfish(self.read_bytes("old/c.zip"), BUILT_IN_KEY, True))) as z:
            self.assertEqual(sorted(z.namelist()), ["a.txt", "first.txt"])

    def test_container_that_cannot_be_replaced_stays_as_it_was(self):
        """A read-only container and one another program holds open without sharing: the compression
        fails, the container keeps its bytes, no plain archive or temporary file is left beside it; the
        held one cannot be read for listing or extraction either."""
        self.make_tree("src")
        container = blowfish(zip_bytes({"first.txt": b"first"}), BUILT_IN_KEY)
        self.write_bytes("ro/c.zip", container)
        os.chmod(self.path("ro/c.zip"), 0o444)
        self.write_bytes("held/c.zip", container)
        with open(self.path("held.out"), "wb") as sink:
            holder = subprocess.Popen([WINE, WINTEST, "hold", self.win("held/c.zip"), "60000"],
                                      cwd=self.dir, env=ENV, stdin=subprocess.DEVNULL, stdout=sink, stderr=sink)
        self.processes.append(holder)
        self.wait_for(lambda: b"held" in self.read_bytes("held.out"), what="the container to be held open")
        a = self.win("src/a.txt")
        lines = [
            f"-rido {self.win('ro/c.zip')} -c {a} -E",
            f"-rido {self.win('held/c.zip')} -c {a} -E",
            f"-rido {self.win('held/c.zip')} -l {self.win('list.txt')} -D",
            f"-rido {self.win('held/c.zip')} -u {self.win('dest')} -D",
        ]
        log = self.run_common("\n".join(lines))
        holder.kill()
        holder.wait()
        self.assertEqual(log, [
            lines[0] + ", File(s) not compressed.",
            lines[1] + ", File(s) not compressed.",
            lines[2] + ", Error listing archive files.",
            lines[3] + ", File(s) not decompressed.",
        ])
        self.assertEqual(self.read_bytes("ro/c.zip"), container)
        self.assertEqual(self.read_bytes("held/c.zip"), container)
        # The read-only one was read and compressed into; the working copy then held new content,
        # which must not stay beside the container in plain. Nothing could be read from the held one.
        for name in ("ro", "held"):
            self.assertEqual(self.folder(name), ["c.zip"], name)
        self.assertFalse(os.path.exists(self.path("list.txt")))
