#!/usr/bin/env bash
# Compiles Dravik.chm from the HTML Help project in docs/help with chmcmd (Free Pascal's CHM
# compiler, package fp-utils).
#
#   scripts/build-help.sh <work-dir> <output.chm>
#
# chmcmd 3.2.2 writes the topics of the [ALIAS] section (the context numbers DkEdit asks for) with
# the project folder's absolute path in front, so a context would name a page the file does not
# hold. Run inside a throw-away root whose top is the project folder (a user namespace, no
# privileges), the prefix is just "/" and the names are right. Where user namespaces are not
# available it compiles in place and says that the context jumps will not find their pages.
set -euo pipefail
src=$(cd "$(dirname "$0")/../docs/help" && pwd)
work=${1:?work directory}
out=${2:?output file}
chmcmd=$(readlink -f "$(command -v chmcmd)")

rm -rf "$work"
mkdir -p "$work"
cp "$src"/* "$work/"
# The compiler and the libraries it loads, at the same paths inside the root.
cp "$chmcmd" "$work/chmcmd"
for lib in $(ldd "$chmcmd" | grep -o '/[^ ]*') /lib/x86_64-linux-gnu/libpthread.so.0; do
    [ -e "$lib" ] || continue
    mkdir -p "$work$(dirname "$lib")"
    cp -L "$lib" "$work$lib"
done
if unshare -r chroot "$work" /chmcmd --no-html-scan Dravik.hhp >"$work/chmcmd.log" 2>&1 </dev/null; then
    :
else
    echo "build-help: no private root here; Dravik.chm's context jumps will not find their pages" >&2
    (cd "$work" && "$chmcmd" --no-html-scan Dravik.hhp >"$work/chmcmd.log" 2>&1 </dev/null)
fi
[ -s "$work/Dravik.chm" ] || { cat "$work/chmcmd.log" >&2; exit 1; }
cp "$work/Dravik.chm" "$out"
