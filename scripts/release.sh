#!/usr/bin/env bash
# Makes the release package dist/Dravik-<version>.zip: the 32-bit programs, the help file, the
# sample updates and the administrator's guide, packed by our own archive engine (tools/release_zip)
# and checked with `unzip -t`.
#
#   scripts/release.sh [--no-build] [--out DIR]
#
# --no-build packs what build/win32 already holds (the test suite uses it); --out puts the package
# somewhere other than dist/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=yes
out=dist
while [ $# -gt 0 ]; do
    case "$1" in
        --no-build) build=no ;;
        --out) out=$2; shift ;;
        *) echo "usage: scripts/release.sh [--no-build] [--out DIR]" >&2; exit 2 ;;
    esac
    shift
done

version=$(sed -n 's/^project(Dravik VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
if [ "$build" = yes ]; then
    cmake --preset win32 >/dev/null
    cmake --build --preset win32 --target DravikLT DkEdit DkGetVal DkCheck DravikHelp
    cmake --preset release >/dev/null
    cmake --build --preset release --target release_zip
fi
bin=build/win32/bin
packer=build/release/tools/release_zip/release_zip
[ -x "$packer" ] || packer=build/native/tools/release_zip/release_zip

stage=$(mktemp -d /tmp/dravik-release-XXXXXX)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/examples"
for f in DravikLT.exe DkEdit.exe DkGetVal.exe DkCheck.exe Dravik.chm; do cp "$bin/$f" "$stage/"; done
# Text files in the workstation's convention: CR LF line ends.
sed 's/$/\r/' docs/admin-guide.txt >"$stage/Administrator's Guide.txt"
for f in examples/*.sdf examples/*.csv examples/README.md; do sed 's/$/\r/' "$f" >"$stage/examples/$(basename "$f")"; done

mkdir -p "$out"
package="$out/Dravik-$version.zip"
"$packer" "$package" "$stage"
unzip -tq "$package"
echo "Release package: $package"
unzip -l "$package"
