"""The archive engine's own message boxes under Wine: a caller that is not quiet and gives no display
function gets real message boxes for the overwrite question, the read-only question, the question
about an encrypted entry and the error report, and the button pressed decides what happens. And the
zip made with worker threads on Windows is the one a single thread makes."""
import io
import os
import random
import stat
import subprocess
import zipfile

from harness import BUILD, WineTestCase, start_program, winpath

PROBE = os.path.join(BUILD, "tools", "archive_probe.exe")
CAPTION = "Dravik archive engine"


class ArchiveEngineMessages(WineTestCase):
    def write_bytes(self, name, data):
        os.makedirs(os.path.dirname(self.path(name)) or self.dir, exist_ok=True)
        with open(self.path(name), "wb") as f:
            f.write(data)

    def read_bytes(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def make_zip(self, name, files):
        out = io.BytesIO()
        with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
            for entry, data in files.items():
                z.writestr(entry, data)
        self.write_bytes(name, out.getvalue())

    def start_probe(self, *args):
        """Starts the probe; returns the process and the host path of its result file."""
        result = self.path("result.txt")
        p = start_program(PROBE, [winpath(result)] + list(args), cwd=self.dir)
        p.args = [PROBE]  # keeps the test's failure messages short
        self.processes.append(p)
        return p, result

    def finish(self, process, result):
        """The probe's result: (code, engine message)."""
        self.assertEqual(process.wait(timeout=60), 0)
        with open(result, "rb") as f:
            code, message = f.read().decode("latin-1").split("|", 1)
        return int(code), message

    def question_text(self):
        rows = self.window_texts(CAPTION)
        texts = [text for _, cls, text in rows if cls.lower() == "static" and text]
        self.assertTrue(texts, rows)
        return " ".join(texts)

    def test_overwrite_question_yes_no_cancel(self):
        self.make_zip("a.zip", {"a.txt": b"from the archive"})
        for button, code, content in (("No", 0, b"on disk"), ("Cancel", 48, b"on disk"),
                                      ("Yes", 0, b"from the archive")):
            with self.subTest(button=button):
                self.write_bytes("out/a.txt", b"on disk")
                p, result = self.start_probe("extract", self.win("a.zip"), self.win("out"))
                self.assertIn("a.txt exists, do you want to overwrite it?", self.question_text())
                if button == "Yes":
                    self.screenshot("archive-engine-overwrite-question")
                self.click(CAPTION, button)
                if code:
                    # The cancelled command reports its failure in a message box of its own.
                    self.assertIn("User cancelled this operation", self.question_text())
                    self.click(CAPTION, "OK")
                got, message = self.finish(p, result)
                self.assertEqual(got, code, message)
                self.assertEqual(self.read_bytes("out/a.txt"), content)

    def test_read_only_file_is_asked_about_and_cleared_on_yes(self):
        self.make_zip("a.zip", {"a.txt": b"from the archive"})
        self.write_bytes("out/a.txt", b"read-only on disk")
        os.chmod(self.path("out/a.txt"), stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)
        p, result = self.start_probe("extract", self.win("a.zip"), self.win("out"))
        self.assertIn("a.txt exists and is Read Only, do you want to overwrite it?", self.question_text())
        self.click(CAPTION, "Yes")
        code, message = self.finish(p, result)
        self.assertEqual(code, 0, message)
        self.assertEqual(self.read_bytes("out/a.txt"), b"from the archive")

    def test_encrypted_entry_without_the_code(self):
        self.write_bytes("src/secret.txt", b"secret text\n")
        subprocess.run(["zip", "-q", "-j", "-P", "right", self.path("enc.zip"), self.path("src/secret.txt")],
                       check=True)
        # "Yes" goes on to the next item: the entry is skipped, nothing is written.
        p, result = self.start_probe("extract", self.win("enc.zip"), self.win("out1"), "wrong")
        self.assertIn("secret.txt is encrypted, and you have not provided the correct code. Go to next item (if any)?",
                      self.question_text())
        self.click(CAPTION, "Yes")
        code, message = self.finish(p, result)
        self.assertEqual(code, 0, message)
        self.assertFalse(os.path.exists(self.path("out1/secret.txt")))
        # "No" ends the command with the key error, reported in a message box too.
        p, result = self.start_probe("extract", self.win("enc.zip"), self.win("out2"), "wrong")
        self.question_text()
        self.click(CAPTION, "No")
        self.assertIn("Bad or missing decryption key", self.question_text())
        self.click(CAPTION, "OK")
        code, message = self.finish(p, result)
        self.assertEqual(code, 44, message)
        self.assertFalse(os.path.exists(self.path("out2/secret.txt")))

    def test_zip_error_is_reported_in_a_message_box(self):
        p, result = self.start_probe("zip", self.win("new.zip"), self.win("missing.txt"))
        text = self.question_text()
        self.assertIn("Nothing to do!", text)
        self.assertIn("missing.txt", text)
        self.click(CAPTION, "OK")
        code, message = self.finish(p, result)
        self.assertEqual(code, 12, message)
        self.assertTrue(text.startswith(message.rstrip("\r\n")), (text, message))
        self.assertFalse(os.path.exists(self.path("new.zip")))

    def test_worker_threads_make_the_same_archive(self):
        rng = random.Random(20)
        words = [b"int ", b"return ", b"value", b";\r\n", b"    ", b"archive", b"{", b"}\r\n"]
        files = {"empty.txt": b"", "zeros.dat": bytes(400000), "big random.bin": rng.randbytes(1500000),
                 "big text.txt": b"".join(rng.choice(words) for _ in range(400000))}
        for i in range(30):
            files["t%d.txt" % i] = b"".join(rng.choice(words) for _ in range(i * 300 + 1))
            files["r%d.bin" % i] = rng.randbytes((i % 5) * 7000)
        for name, data in files.items():
            self.write_bytes("src/" + name, data)
        archives = {}
        for threads in ("1", "4"):
            # Files above 1 MB are streamed by the writer, the others prepared by the workers.
            p, result = self.start_probe("zip", self.win("t%s.zip" % threads), self.win("src") + "\\*",
                                         threads, "1000000")
            code, message = self.finish(p, result)
            self.assertEqual(code, 0, message)
            archives[threads] = self.read_bytes("t%s.zip" % threads)
        self.assertEqual(archives["4"], archives["1"])
        with zipfile.ZipFile(io.BytesIO(archives["4"])) as z:
            self.assertIsNone(z.testzip())
            self.assertEqual({i.filename: z.read(i) for i in z.infolist()}, files)
            self.assertEqual(z.getinfo("big random.bin").compress_type, zipfile.ZIP_STORED)
