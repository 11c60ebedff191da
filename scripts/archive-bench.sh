#!/usr/bin/env bash
# Runs the archive benchmark in one go: the native build's figures beside zlib, libdeflate,
# Info-ZIP and 7-Zip, then the Windows engine's own figures under Wine: the 32-bit build where
# this kernel runs 32-bit code, else the 64-bit one (the output says which). Not a test.
#
#   scripts/archive-bench.sh [megabytes (default 100)] [work directory (default /tmp)]
#
# Needs the release preset's archive_bench and the win32 or win64 preset's build.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
mb=${1:-100}
work=${2:-/tmp}
native="$src/build/release/agent/archive/archive_bench"
[ -x "$native" ] || { echo "archive-bench: build it first: cmake --build --preset release" >&2; exit 1; }

echo "=== native (Linux, 64-bit) ==="
"$native" "$mb" "$work"

state=$(mktemp -d "$work/archive-bench-wine-XXXXXX")
trap 'bash "$src/scripts/wine-env.sh" stop "$state" >/dev/null 2>&1 || true; rm -rf "$state"' EXIT
bash "$src/scripts/wine-env.sh" start "$state" >/dev/null
set -a; . "$state/env"; set +a
exe="$DRAVIK_WIN_BUILD/tools/archive_bench.exe"
[ -f "$exe" ] || { echo "archive-bench: $exe is missing (build the win${DRAVIK_WINE_BITS} preset)" >&2; exit 1; }
if [ "$DRAVIK_WINE_BITS" = 32 ]; then
    echo "=== under Wine: the 32-bit Windows engine ==="
else
    echo "=== under Wine: the 64-bit Windows engine (this kernel does not run 32-bit code) ==="
fi
# The work folder as Wine sees it (Z: maps the host's root).
"$WINELOADER" "$exe" "$mb" "Z:${work//\//\\}" </dev/null
