"""Runs the example command (scripts/example.sh) as a newcomer would and checks what it prints: the
agent's exit code, the INI file and the log it wrote, and that it prints its closing figure (the
time is a figure to read, not a pass mark: a loaded machine must not fail the suite)."""
import os
import re
import subprocess
import sys

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
out = subprocess.run(["bash", os.path.join(SOURCE, "scripts", "example.sh")], stdin=subprocess.DEVNULL,
                     capture_output=True, text=True, timeout=600)
print(out.stdout[-3000:])
problems = []
if out.returncode != 0:
    problems.append(f"exit code {out.returncode}: {out.stderr[-2000:]}")
for expected in ("Exit code: 0", "Installed=", "Update completed, Welcome to Dravik"):
    if expected not in out.stdout:
        problems.append(f"missing {expected!r}")
figure = re.search(r"^Example finished in (\d+) s", out.stdout, re.M)
if not figure:
    problems.append("no closing figure")
if problems:
    sys.exit("\n".join(problems))
