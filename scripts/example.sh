#!/usr/bin/env bash
# Sets up the machine, builds the agent and runs it under Wine on the bundled example update, then
# prints the update log it wrote.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh >/dev/null

state=$(mktemp -d /tmp/dravik-example-XXXXXX)
trap 'bash scripts/wine-env.sh stop "$state"; rm -rf "$state"' EXIT
bash scripts/wine-env.sh start "$state"
set -a; . "$state/env"; set +a

work="$state/work"
mkdir -p "$work"
cp examples/welcome.sdf "$work/"
echo "Running DravikLT.exe ($DRAVIK_WINE_BITS-bit build) on examples/welcome.sdf ..."
winwork="Z:$(echo "$work" | tr / '\\')"
( cd "$work" && "$WINELOADER" "$DRAVIK_WIN_BUILD/bin/DravikLT.exe" welcome.sdf "LogDir=$winwork" </dev/null >/dev/null 2>&1 )
echo "Exit code: $?"
echo "----- welcome.ini -----"
tr -d '\r' <"$work/welcome.ini"
echo "----- update log ($work/welcome.log) -----"
tr -d '\r' <"$work/welcome.log"
