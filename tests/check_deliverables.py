"""Checks the 32-bit deliverables in build/win32/bin: each is a PE32 (32-bit) Windows GUI program
(DkCheck a console program) that imports only system DLLs, so it runs on a workstation with no MinGW runtime beside it, and
none carries a hook that only the tests may use (built with DRAVIK_TEST_HOOKS)."""
import os
import re
import subprocess
import sys

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "comctl32.dll",
               "comdlg32.dll", "ole32.dll", "oleaut32.dll", "msvcrt.dll", "version.dll", "shlwapi.dll",
               "uuid.dll", "psapi.dll", "ws2_32.dll"}

# The script check is a console program, for deployment pipelines; the others are GUI programs.
CONSOLE_PROGRAMS = {"DkCheck.exe"}

# Texts that only the test hooks put into a program.
TEST_HOOK_TEXTS = [b"DKGETVAL_TRACE"]

bin_dir = sys.argv[1]
programs = [name for name in sorted(os.listdir(bin_dir)) if name.lower().endswith(".exe")]
for required in ("DravikLT.exe", "DkEdit.exe"):
    if required not in programs:
        sys.exit(f"{required} is missing from {bin_dir}")
failed = False
for name in programs:
    dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", os.path.join(bin_dir, name)], capture_output=True,
                          text=True, check=True).stdout
    magic = re.search(r"^Magic\s+(\w+)", dump, re.M)
    subsystem = re.search(r"^Subsystem\s+(\w+)", dump, re.M)
    dlls = {d.lower() for d in re.findall(r"DLL Name: (\S+)", dump)}
    problems = []
    if not magic or magic.group(1) != "010b":
        problems.append("not a PE32 (32-bit) image")
    if name in CONSOLE_PROGRAMS:
        if not subsystem or int(subsystem.group(1), 16) != 3:
            problems.append("not a Windows console program")
    elif not subsystem or int(subsystem.group(1), 16) != 2:
        problems.append("not a Windows GUI program")
    if dlls - SYSTEM_DLLS:
        problems.append("imports non-system DLLs: " + ", ".join(sorted(dlls - SYSTEM_DLLS)))
    with open(os.path.join(bin_dir, name), "rb") as f:
        image = f.read()
    hooks = [text.decode() for text in TEST_HOOK_TEXTS if text in image]
    if hooks:
        problems.append("contains test hooks: " + ", ".join(hooks))
    print(f"{name}: PE32={magic and magic.group(1)} subsystem={subsystem and subsystem.group(1)} "
          f"imports={', '.join(sorted(dlls))}")
    for p in problems:
        print(f"  {name}: {p}")
        failed = True
sys.exit(1 if failed else 0)
