"""The value-queue tool DkGetVal under Wine: queue files on disk, values in the test prefix's
registry, the entry dialog, runs killed at any moment, and many runs on one queue at once while
another program appends to it."""
import os
import subprocess
import threading
import time
import unittest

from harness import BIN, BUILD, ENV, WINE, WineTestCase, reg_delete, reg_query, reg_set, start_program, wine, winpath

KEY = r"HKLM\Software\Quorvel\DkGetVal"
EXE = "DkGetVal.exe"
APPEND = os.path.join(BUILD, "tests", "getval_append.exe")


def has_trace_hook():
    """The run trace is a test hook (DRAVIK_TEST_HOOKS): the win64 test build has it, the 32-bit
    deliverables do not."""
    path = os.path.join(BIN, EXE)
    if not os.path.exists(path):
        return False
    with open(path, "rb") as f:
        return b"DKGETVAL_TRACE" in f.read()


needs_trace = unittest.skipUnless(has_trace_hook(), "DkGetVal built without DRAVIK_TEST_HOOKS")


def crlf_lines(lines):
    return "".join(line + "\r\n" for line in lines).encode("latin-1")


class GetVal(WineTestCase):
    def setUp(self):
        super().setUp()
        reg_delete(KEY)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def start(self, *args, trace=None, output=None):
        extra = {"DKGETVAL_TRACE": winpath(trace)} if trace else None
        p = start_program(EXE, args, cwd=self.dir, extra_env=extra, output=output)
        self.processes.append(p)
        return p

    def start_appender(self, name, prefix, count, pause_ms=0):
        """Another Windows program appending lines to the queue whenever nobody holds it."""
        p = subprocess.Popen([WINE, APPEND, self.win(name), prefix, str(count), str(pause_ms)], cwd=self.dir,
                             env=ENV, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.processes.append(p)
        return p

    def outcomes(self, trace):
        """What each run of a trace folder said it did."""
        found = []
        for name in os.listdir(trace):
            with open(os.path.join(trace, name), "rb") as f:
                found.append(f.read().decode("latin-1").rstrip("\r\n"))
        return found

    def run_getval(self, *args, timeout=60):
        return self.start(*args).wait(timeout=timeout)

    def run_line(self, arguments, timeout=60):
        """Runs the tool with exactly this command line after its name (no quoting added)."""
        r = self.wintest("run", f'"{winpath(os.path.join(BIN, EXE))}" {arguments}', str(timeout * 1000),
                         timeout=timeout + 30)
        return r.returncode

    def values(self):
        found = reg_query(KEY)
        if found is None:
            return None
        self.assertTrue(all(kind == "REG_SZ" for kind, _ in found.values()), found)
        return {name: data for name, (_, data) in found.items()}

    def test_first_line_is_stored_and_the_rest_kept_byte_for_byte(self):
        rest = [f'row{i:04},"quoted, {i}",{"#" * (i % 50)}' for i in range(400)]  # about 12 blocks of 1024
        original = crlf_lines(['a, "b, c" , d '] + rest)
        self.write("values.txt", original)
        self.assertEqual(self.run_getval("/f", self.win("values.txt")), 1)
        self.assertEqual(self.values(), {"Value1": "a", "Value2": "b, c", "Value3": "d", "Count": "3"})
        self.assertEqual(self.read("values.txt"), crlf_lines(rest))
        self.assertEqual(sorted(os.listdir(self.dir)), ["values.txt"])

        # The next run takes the next line; earlier values do not survive.
        self.assertEqual(self.run_getval("-F", self.win("values.txt")), 1)
        self.assertEqual(self.values(), {"Value1": "row0000", "Value2": "quoted, 0", "Count": "2"})
        self.assertEqual(self.read("values.txt"), crlf_lines(rest[1:]))

    def test_the_agent_reads_what_the_tool_stored(self):
        self.write("queue.csv", crlf_lines(['PC-0042,"Sales, North",3', "PC-0043,Support,4"]))
        self.assertEqual(self.run_getval("/f", self.win("queue.csv")), 1)
        self.write_script("use.sdf", f"""[Update]
update = Values
log = {self.win('use.log')}
[Common]
-reg LM Software\\Quorvel\\DkGetVal -v Count n -v Value1 host -v Value2 dept
@IF {{n}} = 3
@SET ok = "{{host}} in {{dept}}"
@ENDIF
[Cleanup]
@IF {{ok}} = "PC-0042 in Sales, North"
; the values arrived
@ENDIF
""")
        code = self.run_agent("use.sdf")
        self.assertEqual(code, 0)
        log = self.log_entries("use.log")
        self.assertIn("-reg LM Software\\Quorvel\\DkGetVal -v Count n -v Value1 host -v Value2 dept, "
                      "Setting {n} equal to 3.", log)
        self.assertIn("-v Value1 host -v Value2 dept, Setting {host} equal to PC-0042.", log)
        self.assertIn("-v Value2 dept, Setting {dept} equal to Sales, North.", log)
        self.assertIn("; the values arrived, Comment ignored.", log)

    def test_single_line_without_line_end_leaves_an_empty_file(self):
        self.write("one.csv", ",".join(f"f{i}" for i in range(1, 26)).encode())
        self.assertEqual(self.run_getval("/f", self.win("one.csv")), 1)
        values = self.values()
        self.assertEqual(values["Count"], "20")
        self.assertEqual(values["Value20"], "f20")
        self.assertNotIn("Value21", values)
        self.assertEqual(self.read("one.csv"), b"")

        # An empty first line gives Count 0 and goes; an empty file stays empty with Count 0.
        self.write("one.csv", b"\r\nnext,1\r\n")
        self.assertEqual(self.run_getval("/f", self.win("one.csv")), 1)
        self.assertEqual(self.values(), {"Count": "0"})
        self.assertEqual(self.read("one.csv"), b"next,1\r\n")

    def test_missing_file_leaves_the_registry_untouched(self):
        reg_set(KEY, "Value1", "kept")
        reg_set(KEY, "Count", "1")
        started = time.time()
        self.assertEqual(self.run_getval("/f", self.win("missing.txt")), 1)
        self.assertGreaterEqual(time.time() - started, 2.0)  # the pause before giving up
        self.assertEqual(self.values(), {"Value1": "kept", "Count": "1"})
        self.assertEqual(os.listdir(self.dir), [])

    def test_command_line_forms(self):
        # The whole unquoted line with blanks is the file name.
        os.makedirs(self.path("my data"))
        self.write("my data/my values.txt", b"x1,y1\r\nx2\r\n")
        self.assertEqual(self.run_line(self.win("my data/my values.txt")), 1)
        self.assertEqual(self.values(), {"Value1": "x1", "Value2": "y1", "Count": "2"})
        # A quoted first token, and /f with the name attached.
        self.assertEqual(self.run_line(f"'{self.win('my data/my values.txt')}' ignored"), 1)
        self.assertEqual(self.values(), {"Value1": "x2", "Count": "1"})
        self.write("q.txt", b"q1\r\nq2\r\n")
        self.assertEqual(self.run_line(f"/f{self.win('q.txt')}"), 1)
        self.assertEqual(self.values(), {"Value1": "q1", "Count": "1"})

        # Nothing to do: exit code 0 and nothing changed.
        reg_delete(KEY)
        reg_set(KEY, "Value1", "kept")
        self.assertEqual(self.run_line(""), 0)
        self.write("q.tx@", b"q2\r\n")
        self.assertEqual(self.run_line(f"/f {self.win('q.tx@')}"), 0)
        self.assertEqual(self.run_line(f"/f {self.win('q.txt')} /w{'9' * 1030}"), 0)
        self.assertEqual(self.values(), {"Value1": "kept"})
        self.assertEqual(self.read("q.txt"), b"q2\r\n")
        os.remove(self.path("q.tx@"))

        # With a lock file present, /w2 waits about two rounds and clears it; "/w 2" waits none.
        self.write("q.tx@", b"left behind")
        started = time.time()
        self.assertEqual(self.run_line(f"/f {self.win('q.txt')} /w 2"), 1)
        no_wait = time.time() - started
        self.assertFalse(os.path.exists(self.path("q.tx@")))
        self.assertIsNone(self.values())  # the key goes before the wait; nothing was taken
        self.write("q.tx@", b"left behind")
        started = time.time()
        self.assertEqual(self.run_line(f"-f {self.win('q.txt')} -W2"), 1)
        waited = time.time() - started
        self.assertFalse(os.path.exists(self.path("q.tx@")))
        self.assertIsNone(self.values())
        self.assertEqual(self.read("q.txt"), b"q2\r\n")
        # Two rounds of about a second each, beyond what starting a program costs under Wine.
        self.assertGreaterEqual(waited - no_wait, 1.5)

    def test_lock_left_without_queue_becomes_the_queue_again(self):
        # As left by a run stopped after the queue file was gone: the lock holds the remaining lines.
        self.write("v.tx@", crlf_lines(["second", "third"]))
        self.assertEqual(self.run_getval("/f", self.win("v.txt"), "/w1"), 1)
        self.assertEqual(sorted(os.listdir(self.dir)), ["v.txt"])
        self.assertEqual(self.read("v.txt"), crlf_lines(["second", "third"]))
        self.assertIsNone(self.values())
        self.assertEqual(self.run_getval("/f", self.win("v.txt")), 1)
        self.assertEqual(self.values(), {"Value1": "second", "Count": "1"})
        self.assertEqual(self.read("v.txt"), crlf_lines(["third"]))

    def test_run_killed_while_copying_loses_no_line(self):
        # About 80 MB, so that the copy is still going when the run is killed (20 MB was once copied
        # whole between the lock file appearing and the kill).
        lines = [f"line{i:06},{'v' * 60}" for i in range(1200000)]
        original = crlf_lines(lines)
        self.write("big.txt", original)
        p = self.start("/f", self.win("big.txt"))
        lock = self.path("big.tx@")
        self.wait_for(lambda: os.path.exists(lock) and os.path.getsize(lock) > 0, timeout=30, what="the copy")
        p.kill()
        p.wait()
        copied = os.path.getsize(lock)
        self.assertLess(copied, len(original) - len(lines[0]) - 2, "the copy finished before the kill")
        # The queue file is untouched; the lock file holds a partial copy.
        self.assertEqual(self.read("big.txt"), original)
        self.assertIsNone(self.values())

        # The next run finds the lock unchanged, deletes it and gives up; the one after takes line 1.
        self.assertEqual(self.run_getval("/f", self.win("big.txt"), "/w1"), 1)
        self.assertFalse(os.path.exists(lock))
        self.assertEqual(self.read("big.txt"), original)
        self.assertEqual(self.run_getval("/f", self.win("big.txt"), timeout=120), 1)
        self.assertEqual(self.values(), {"Value1": "line000000", "Value2": "v" * 60, "Count": "2"})
        self.assertEqual(self.read("big.txt"), original[len(lines[0]) + 2:])

    def test_entry_dialog_ok_and_cancel(self):
        settext = os.path.join(BUILD, "tests", "getval_settext.exe")
        p = self.start("/e", "Full name", "Room", "Phone")
        self.assertEqual(self.wintest("wait", "Full name", "20000").returncode, 0)
        controls = {ident: (cls, text) for ident, cls, text in self.window_texts("Full name")}
        self.assertEqual(controls, {1000: ("Edit", ""), 1: ("Button", "OK"), 2: ("Button", "Cancel")})
        listed = self.wintest("list").stdout.decode("latin-1").splitlines()
        self.assertTrue(any(line.endswith("|DkGetVal|DkGetVal") for line in listed), listed)
        self.screenshot("getval_entry_dialog")

        self.assertEqual(wine([settext, "Full name", "1000", "Ada Lovelace", "20000"], cwd=self.dir).returncode, 0)
        self.click("Full name", "OK")
        self.click("Room", "Cancel")
        self.assertEqual(wine([settext, "Phone", "1000", "555-0100", "20000"], cwd=self.dir).returncode, 0)
        self.click("Phone", "OK")
        self.assertEqual(p.wait(timeout=30), 1)
        self.assertEqual(self.values(), {"Value1": "Ada Lovelace", "Value2": "555-0100", "Count": "2"})

    def test_version_resource_texts(self):
        with open(os.path.join(BIN, EXE), "rb") as f:
            image = f.read()

        def has(name, value):
            return (name + "\0").encode("utf-16-le") in image and value.encode("utf-16-le") in image

        self.assertTrue(has("FileDescription", "DkGetVal Filename [WaitCycles] [AutoDelete]"))
        self.assertTrue(has("FileVersion", "3.0"))
        self.assertTrue(has("InternalName", "DkGetVal"))
        self.assertTrue(has("OriginalFilename", "DkGetVal.exe"))
        self.assertTrue(has("Comments", "Reads the first line of an ASCII file containing comma delimited values, "
                            "deletes the line, and saves the values to the registry at LM\\Software\\Quorvel\\DkGetVal"
                            " as Value1 to ValueX along with Count which lists the total number of values."))

    @needs_trace
    def test_runs_kills_and_an_appender_lose_no_line(self):
        # Three batches of eight runs take lines while another program appends forty: every line is
        # taken once (in the order of the queue) or still in the queue, appended lines behind the others.
        lines = [f"Q{i:03},{i}" for i in range(60)]
        appended = [f"A{n},appended" for n in range(40)]
        self.write("q.txt", crlf_lines(lines))
        appender = self.start_appender("q.txt", "A", len(appended), pause_ms=30)
        taken = []
        for batch in range(3):
            trace = self.path(f"trace{batch}")
            os.makedirs(trace)
            runs = [self.start("/f", self.win("q.txt"), "/w30", trace=trace, output=self.path(f"wine{batch}-{i}.txt"))
                    for i in range(8)]
            for p in runs:
                self.assertEqual(p.wait(timeout=120), 1)
            outcomes = self.outcomes(trace)
            # Under load Wine's X11 driver may kill a run while it creates its window (see below).
            wine_output = [self.read(n) for n in os.listdir(self.dir) if n.startswith(f"wine{batch}-")]
            x_errors = sum(1 for out in wine_output if b"X Error of failed request" in out)
            self.assertGreaterEqual(len(outcomes), 8 - x_errors, (outcomes, wine_output))
            for text in outcomes:
                self.assertTrue(text.startswith("stored taken "), outcomes)
                taken.append(text[len("stored taken "):])
        self.assertEqual(appender.wait(timeout=120), 0)

        self.assertEqual(sorted(taken), lines[:len(taken)])
        self.assertEqual(self.read("q.txt"), crlf_lines(lines[len(taken):] + appended))
        self.assertFalse(os.path.exists(self.path("q.tx@")))

        # Runs on a large queue killed at moments spread over a whole run, lines appended after each
        # kill, then a run that finds the lock file stale and finishes or clears it: each time the
        # queue holds every line but at most the killed run's first one, and the appended lines.
        lines = [f"line{i:06},{'v' * 60}" for i in range(150000)]  # about 10 MB
        self.write("big.txt", crlf_lines(lines))
        lock = self.path("big.tx@")

        def start_and_wait_for_lock():
            p = self.start("/f", self.win("big.txt"))
            deadline = time.time() + 60
            while not os.path.exists(lock) and p.poll() is None and time.time() < deadline:
                time.sleep(0.001)
            self.assertTrue(os.path.exists(lock), "the run never took the lock")
            return p, time.time()

        # How long a whole run holds the lock: the kills below are spread over that time.
        p, took = start_and_wait_for_lock()
        while os.path.exists(lock):
            time.sleep(0.001)
        held = time.time() - took
        self.assertEqual(p.wait(timeout=60), 1)
        queue = lines[1:]
        self.assertEqual(self.read("big.txt"), crlf_lines(queue))

        states = []
        for k in range(1, 7):
            p, _ = start_and_wait_for_lock()
            time.sleep(held * k / 7)
            p.kill()
            p.wait()
            header = self.read("big.tx@")[:9] if os.path.exists(lock) else b""
            states.append(chr(header[8]) if header.startswith(b"DkGvJrn1") else "-" if header == b"" else "?")
            appended = [f"K{k}-{n},appended" for n in range(2)]
            self.assertEqual(wine([APPEND, self.win("big.txt"), f"K{k}-", "2"], cwd=self.dir).returncode, 0)
            if os.path.exists(lock):
                self.assertEqual(self.run_getval("/f", self.win("big.txt"), "/w1", timeout=120), 1)
                self.assertIsNone(self.values())  # the run that clears a lock file takes nothing
            self.assertFalse(os.path.exists(lock))
            after = self.read("big.txt")
            whole, taken = crlf_lines(queue + appended), crlf_lines(queue[1:] + appended)
            self.assertIn(after, (whole, taken), f"killed at {k}/7 of {held:.2f} s, lock file states so far {states}")
            queue = (queue if after == whole else queue[1:]) + appended
        # Some kill landed after the commit, while the queue was being rewritten.
        self.assertTrue(set(states) & {"R", "M"}, states)

    @needs_trace
    def test_concurrent_runs_take_each_line_exactly_once(self):
        lines = [f'L{i:03},{i * 7},"text, {i}"' for i in range(200)]
        self.write("q.txt", crlf_lines(lines))
        lock = self.path("q.tx@")
        taken = []
        batch = 0
        while len(taken) < len(lines):
            self.assertLess(batch, 60, "the queue does not drain")
            trace = self.path(f"trace{batch}")
            os.makedirs(trace)
            rounds = "/w30"
            grower = None
            if batch == 1:
                # A lock file left by a stopped run: the runs of this batch give up on it after two
                # unchanged rounds, one of them deletes it, and any run after that proceeds.
                self.write("q.tx@", b"partial copy of an earlier run")
                rounds = "/w2"
            elif batch == 3:
                # A lock file that keeps growing (a slow copy elsewhere) holds every run back, however
                # few its rounds, until it goes away. It grows from before the first run starts, so
                # no run can see it unchanged for two rounds while the copy is still going on.
                self.write("q.tx@", b"copy under way\r\n")
                rounds = "/w2"
                removed = []

                def grow():
                    for _ in range(12):
                        with open(lock, "ab") as f:
                            f.write(b"more\r\n")
                        time.sleep(0.4)
                    removed.append(time.time())
                    os.remove(lock)

                grower = threading.Thread(target=grow)
            size = min(10, len(lines) - len(taken))
            if grower:
                grower.start()
            runs = [self.start("/f", self.win("q.txt"), rounds, trace=trace, output=self.path(f"wine{batch}-{i}.txt"))
                    for i in range(size)]
            for p in runs:
                self.assertEqual(p.wait(timeout=120), 1)
            if grower:
                grower.join()

            outcomes = []
            for name in os.listdir(trace):
                with open(os.path.join(trace, name), "rb") as f:
                    outcomes.append((f.read().decode("latin-1").rstrip("\r\n"), os.path.getmtime(f.name)))
            # Every run says what it did. Under load, Wine's X11 driver now and then kills a process
            # while it creates its window ("X Error ... BadWindow"); such a run never reached the
            # queue, and the checks of the file below prove that it took nothing.
            wine_output = [self.read(n) for n in os.listdir(self.dir) if n.startswith(f"wine{batch}-")]
            x_errors = sum(1 for out in wine_output if b"X Error of failed request" in out)
            self.assertGreaterEqual(len(outcomes), size - x_errors, (outcomes, wine_output))
            self.assertLessEqual(len(outcomes), size)
            for text, finished in outcomes:
                if text.startswith("stored taken "):
                    taken.append(text[len("stored taken "):])
                    if batch == 3:
                        self.assertGreaterEqual(finished, removed[0] - 0.05, "a line was taken under the lock")
                else:
                    # A run gives up only on a lock file it saw unchanged for all its rounds: the stale
                    # one, or, on a loaded machine, one that another run held that long behind the
                    # growing copy. No run ever found an empty queue.
                    self.assertIn((batch, text), [(1, "gave_up"), (3, "gave_up")])

            # The lines taken so far are exactly the first ones, each once; the file holds the rest.
            self.assertEqual(sorted(taken), lines[:len(taken)])
            self.assertEqual(self.read("q.txt"), crlf_lines(lines[len(taken):]))
            self.assertFalse(os.path.exists(lock))
            batch += 1
        self.assertEqual(self.read("q.txt"), b"")

    def test_closing_the_window_stops_the_run_at_once(self):
        # A run waiting on a lock file: closing its window ends it without waiting out the rounds.
        self.write("q.txt", b"a\r\nb\r\n")
        self.write("q.tx@", b"busy")
        p = self.start("/f", self.win("q.txt"), "/w60")
        self.assertEqual(self.wintest("wait", "DkGetVal", "20000").returncode, 0)
        started = time.time()
        self.assertEqual(self.wintest("close", "DkGetVal").returncode, 0)
        self.assertEqual(p.wait(timeout=30), 1)
        self.assertLess(time.time() - started, 10)
        self.assertEqual(self.read("q.txt"), b"a\r\nb\r\n")
        self.assertEqual(self.read("q.tx@"), b"busy")

        # In entry mode, closing the window while a prompt is up ends the run with no Count.
        p = self.start("/e", "First", "Second")
        self.assertEqual(self.wintest("wait", "First", "20000").returncode, 0)
        self.assertEqual(self.wintest("close", "DkGetVal").returncode, 0)
        self.assertEqual(p.wait(timeout=30), 1)
        self.assertEqual(self.wintest("gone", "First", "5000").returncode, 0)
        self.assertEqual(self.values(), {})
