#!/usr/bin/env bash
# Runs one libFuzzer target for a bounded time on a copy of its seed corpus. Fails on any crash,
# hang (a single input running over 10 s) or sanitizer report.
#   scripts/run-fuzz.sh <fuzz binary> <seed dir> <seconds>
set -euo pipefail
binary=${1:?fuzz binary}
seeds=${2:?seed directory}
seconds=${3:-60}
[ -x "$binary" ] || { echo "run-fuzz: $binary is not built (cmake --build --preset fuzz)" >&2; exit 1; }
work=$(mktemp -d /tmp/dravik-fuzz-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$work/artifacts"
cp -r "$seeds"/. "$work/corpus/"
"$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" 2>&1 | tail -n 25
status=${PIPESTATUS[0]}
if [ -n "$(ls -A "$work/artifacts")" ]; then
    echo "run-fuzz: failing inputs:" >&2
    for f in "$work/artifacts"/*; do echo "--- $f"; od -c "$f" | head -20; done >&2
    exit 1
fi
exit "$status"
