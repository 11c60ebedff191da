"""Makes the release package from the existing win32 build (scripts/release.sh --no-build) and
checks it: `unzip -t` passes, it holds exactly the expected files, the programs are those of the
build (deliverables.win32 checks them), the text files have CR LF line ends, and the help file's
contexts 501, 505 and 510 (what DkEdit asks for) name pages the help file holds."""
import os
import struct
import subprocess
import sys
import tempfile
import zipfile

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PROGRAMS = ["DravikLT.exe", "DkEdit.exe", "DkGetVal.exe", "DkCheck.exe"]


def chm_contexts(chm, work):
    """{context number: page} from the help file's #IVB and #STRINGS, and the list of its pages."""
    def extract(name):
        target = os.path.join(work, name.strip("/#"))
        subprocess.run(["chmls", "extract", chm, name, target], check=True, stdout=subprocess.DEVNULL)
        with open(target, "rb") as f:
            return f.read()
    ivb, strings = extract("/#IVB"), extract("/#STRINGS")
    pairs = struct.unpack_from("<%dI" % (len(ivb) // 4 - 1), ivb, 4)
    contexts = {pairs[i]: strings[pairs[i + 1]:strings.index(b"\0", pairs[i + 1])].decode()
                for i in range(0, len(pairs) - 1, 2)}
    listing = subprocess.run(["chmls", "-p", "-n", "list", chm], check=True, capture_output=True, text=True).stdout
    return contexts, set(listing.split())


def main():
    bin_dir = os.path.join(SOURCE, "build", "win32", "bin")
    samples = sorted(n for n in os.listdir(os.path.join(SOURCE, "examples")))
    expected = sorted(PROGRAMS + ["Dravik.chm", "Administrator's Guide.txt"] + ["examples/" + n for n in samples])
    failures = []
    with tempfile.TemporaryDirectory() as out:
        subprocess.run(["bash", os.path.join(SOURCE, "scripts", "release.sh"), "--no-build", "--out", out],
                       check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
        packages = os.listdir(out)
        if len(packages) != 1 or not packages[0].startswith("Dravik-") or not packages[0].endswith(".zip"):
            return f"expected one Dravik-<version>.zip, found {packages}"
        package = os.path.join(out, packages[0])
        if subprocess.run(["unzip", "-tq", package], stdout=subprocess.DEVNULL).returncode != 0:
            failures.append("unzip -t reports errors")
        with zipfile.ZipFile(package) as z:
            names = sorted(z.namelist())
            if names != expected:
                failures.append(f"content {names}\n  expected {expected}")
            for name in PROGRAMS + ["Dravik.chm"]:
                data = z.read(name) if name in names else b""
                with open(os.path.join(bin_dir, name), "rb") as f:
                    if data != f.read():
                        failures.append(f"{name} differs from the build's")
            if "Dravik.chm" in names:
                z.extract("Dravik.chm", out)
                contexts, pages = chm_contexts(os.path.join(out, "Dravik.chm"), out)
                for number in (501, 505, 510):
                    if contexts.get(number) not in pages:
                        failures.append(f"help context {number} names {contexts.get(number)!r}, not a page of the file")
            for name in names:
                if name.endswith((".txt", ".sdf", ".md", ".csv")):
                    text = z.read(name)
                    if text.count(b"\n") == 0 or text.count(b"\n") != text.count(b"\r\n"):
                        failures.append(f"{name} does not have CR LF line ends")
    return "\n".join(failures) or None


if __name__ == "__main__":
    problem = main()
    if problem:
        print(problem)
        sys.exit(1)
    print("release package: content, programs and line ends as expected")
