"""Runs the real Windows programs under Wine for the integration tests.

The Wine environment (display, prefix, which build to run) comes from the env file that
scripts/wine-env.sh wrote; ctest's fixture starts it before these tests and stops it after.
"""
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest


def _load_env():
    state = os.environ.get("DRAVIK_WINE_STATE")
    if not state:
        raise RuntimeError("DRAVIK_WINE_STATE is not set: run these tests through ctest")
    env = dict(os.environ)
    with open(os.path.join(state, "env"), encoding="utf-8") as f:
        for line in f:
            key, _, value = line.rstrip("\n").partition("=")
            if key:
                env[key] = value
    return env


ENV = _load_env()
WINE = ENV["WINELOADER"]
BUILD = ENV["DRAVIK_WIN_BUILD"]
BIN = os.path.join(BUILD, "bin")
WINTEST = os.path.join(BUILD, "tools", "wintest.exe")
SLEEPER = os.path.join(BUILD, "tools", "sleeper.exe")
OUTPUT = os.environ.get("DRAVIK_TEST_OUTPUT", tempfile.gettempdir())

PREFIX_RE = re.compile(r"^\d{1,2}/\d{1,2}/\d{4} \d\d:\d\d:\d\d, ")


def winpath(path):
    """The Windows name of a host path (Wine maps the host's root to Z:)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine(args, cwd=None, timeout=60):
    """Runs a Windows program and returns its exit code and output. The output goes through files,
    not pipes: a Wine service the program happens to start would keep a pipe open after it ends."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        code = subprocess.run([WINE] + list(args), cwd=cwd, env=ENV, stdin=subprocess.DEVNULL, stdout=out,
                              stderr=err, timeout=timeout).returncode
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(args, code, out.read(), err.read())


class WineTestCase(unittest.TestCase):
    """A test with its own temporary folder (seen by the programs as Z:\\...)."""

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="dravik-it-")
        self.processes = []

    def tearDown(self):
        for p in self.processes:
            if p.poll() is None:
                p.kill()
                p.wait()
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def win(self, name):
        return winpath(self.path(name))

    def write_script(self, name, text):
        """Writes a script with CR LF line ends, 8-bit."""
        data = text.replace("\r\n", "\n").replace("\n", "\r\n").encode("latin-1")
        with open(self.path(name), "wb") as f:
            f.write(data)
        return self.win(name)

    def start_agent(self, *args, env=None):
        p = subprocess.Popen([WINE, os.path.join(BIN, "DravikLT.exe")] + list(args), cwd=self.dir, env=env or ENV,
                             stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.processes.append(p)
        return p

    def run_agent(self, *args, timeout=90, env=None):
        p = self.start_agent(*args, env=env)
        return p.wait(timeout=timeout)

    def run_command_line(self, arguments, timeout=90):
        """Runs the agent with exactly this command line after its program name (no re-quoting)."""
        exe = winpath(os.path.join(BIN, "DravikLT.exe"))
        r = self.wintest("run", f'"{exe}" {arguments}', str(timeout * 1000), timeout=timeout + 30)
        return r.returncode

    def wintest(self, *args, timeout=60):
        return wine([WINTEST] + list(args), cwd=self.dir, timeout=timeout)

    def window_texts(self, caption, wait_ms=20000):
        """The child controls of a window: a list of (id, class, text), texts with \\n and \\t escaped."""
        r = self.wintest("texts", caption, str(wait_ms))
        self.assertEqual(r.returncode, 0, f"no window {caption!r}: {r.stderr.decode(errors='replace')}")
        rows = []
        for line in r.stdout.decode("latin-1").splitlines():
            ident, cls, text = line.split("|", 2)
            rows.append((int(ident), cls, text))
        return rows

    def click(self, caption, button, wait_ms=20000):
        r = self.wintest("click", caption, button, str(wait_ms))
        self.assertEqual(r.returncode, 0, r.stderr.decode(errors="replace"))

    def screenshot(self, name):
        """Saves the headless screen as a PNG for people to look at."""
        os.makedirs(OUTPUT, exist_ok=True)
        target = os.path.join(OUTPUT, name + ".png")
        subprocess.run(["import", "-display", ENV["DISPLAY"], "-window", "root", target], env=ENV,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        return target

    def read_log(self, name):
        with open(self.path(name), "rb") as f:
            return f.read().decode("latin-1")

    def log_entries(self, name):
        """Log lines with their time prefixes removed; asserts that every line ends in CR LF."""
        text = self.read_log(name)
        if text:
            self.assertTrue(text.endswith("\r\n"), repr(text[-40:]))
        lines = text.split("\r\n")[:-1] if text else []
        return [PREFIX_RE.sub("", line) for line in lines]

    def host_path(self, windows_path):
        """The host path of a Windows path in the test prefix."""
        r = wine(["winepath", "-u", windows_path])
        self.assertEqual(r.returncode, 0, r.stderr.decode(errors="replace"))
        return r.stdout.decode("latin-1").strip()

    def reg(self, *args):
        """Runs Wine's reg.exe in the test prefix, to look at what the programs did to the registry."""
        return wine(["reg"] + list(args))

    def reg_value(self, key, name):
        """(type, data) of one registry value as `reg query` lists it, or None when it is not there.
        The empty name is the key's default value."""
        r = self.reg("query", key, *(["/ve"] if name == "" else ["/v", name]))
        if r.returncode != 0:
            return None
        for line in r.stdout.decode("latin-1").splitlines():
            m = re.match(r"^    (.*?)    (REG_[A-Z_]+)(?:    (.*))?$", line.rstrip("\r"))
            if m:
                return m.group(2), m.group(3) or ""
        return None

    def run_common(self, body, name="x.sdf", update="Test", args=(), env=None):
        """Runs a script whose Common holds `body` in the agent (with further command-line `args`);
        returns the log entries of its statements (between the section search of Common and that of
        Cleanup)."""
        self.write_script(name, f"[Update]\nupdate = {update}\nlog = {self.win('u.log')}\n[Common]\n{body}\n")
        self.assertEqual(self.run_agent(name, *args, env=env), 0)
        log = self.log_entries("u.log")
        start = log.index("Section found, Reading commands.") + 1
        end = next(i for i, line in enumerate(log) if line == "Searching for section, [Cleanup]")
        return log[start:end]

    def wait_for(self, predicate, timeout=30, what="condition"):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if predicate():
                return
            time.sleep(0.2)
        self.fail(f"timed out waiting for {what}")


# Helpers for the other programs of the system (used by the value-queue tool's tests).

def start_program(exe, args=(), cwd=None, extra_env=None, output=None):
    """Starts a program of the build's bin folder under Wine, arguments passed as Wine quotes them.
    Wine's own messages go to the file `output` when given."""
    env = dict(ENV)
    if extra_env:
        env.update(extra_env)
    sink = open(output, "wb") if output else subprocess.DEVNULL
    try:
        return subprocess.Popen([WINE, os.path.join(BIN, exe)] + list(args), cwd=cwd, env=env,
                                stdin=subprocess.DEVNULL, stdout=sink, stderr=sink)
    finally:
        if output:
            sink.close()


_REG_VALUE_RE = re.compile(r"^    (.+?)    (REG_[A-Z_]+)(?:    (.*))?$")


def reg_query(key):
    """The values of a registry key of the test prefix as {name: (type, data)}; None if the key is missing."""
    r = wine(["reg", "query", key])
    if r.returncode != 0:
        return None
    values = {}
    for line in r.stdout.decode("latin-1").splitlines():
        m = _REG_VALUE_RE.match(line.rstrip("\r\n"))
        if m:
            values[m.group(1)] = (m.group(2), m.group(3) or "")
    return values


def reg_delete(key):
    wine(["reg", "delete", key, "/f"])


def reg_set(key, name, data):
    r = wine(["reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", data, "/f"])
    if r.returncode != 0:
        raise RuntimeError(f"reg add {key} {name} failed: {r.stderr.decode(errors='replace')}")
