#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test (unit tests natively with sanitizers,
# the Windows unit tests and the integration tests under Wine) through one ctest run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
ctest --preset native --timeout 300 "$@"
