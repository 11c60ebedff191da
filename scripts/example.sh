#!/usr/bin/env bash
# Sets up the machine, builds the agent and runs it under Wine on the bundled example update, then
# prints the update log it wrote. Only the program the example runs is built, for the Windows
# flavour this host's Wine can run (32-bit where the kernel allows it, else the 64-bit build of the
# same sources); scripts/build.sh builds everything else.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
bash scripts/setup.sh

state=$(mktemp -d /tmp/dravik-example-XXXXXX)
trap 'bash scripts/wine-env.sh stop "$state"; rm -rf "$state"' EXIT
# The Wine environment starts while the agent builds: both take a while, and neither needs the other.
bash scripts/wine-env.sh start "$state" >"$state/wine-start.log" 2>&1 &
wine_start=$!
preset=win32
if ! { [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1 </dev/null; }; then preset=win64; fi
set_up=$((SECONDS - started))
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target DravikLT >/dev/null
built=$((SECONDS - started))
wait "$wine_start" || { cat "$state/wine-start.log" >&2; exit 1; }
wine_ready=$((SECONDS - started))
set -a; . "$state/env"; set +a

work="$state/work"
mkdir -p "$work"
cp examples/welcome.sdf "$work/"
echo "Running DravikLT.exe ($DRAVIK_WINE_BITS-bit build) on examples/welcome.sdf ..."
winwork="Z:$(echo "$work" | tr / '\\')"
code=0
( cd "$work" && "$WINELOADER" "$DRAVIK_WIN_BUILD/bin/DravikLT.exe" welcome.sdf "LogDir=$winwork" </dev/null >/dev/null 2>&1 ) || code=$?
echo "Exit code: $code"
echo "----- welcome.ini -----"
tr -d '\r' <"$work/welcome.ini"
echo "----- update log ($work/welcome.log) -----"
tr -d '\r' <"$work/welcome.log"
echo "-----"
echo "Example finished in $((SECONDS - started)) s (set-up done at ${set_up} s, DravikLT built at ${built} s," \
    "Wine ready at ${wine_ready} s, then the run)."
