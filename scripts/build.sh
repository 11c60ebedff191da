#!/usr/bin/env bash
# Configures and builds every configuration: the 32-bit Windows deliverables (build/win32), the same
# programs for 64-bit Windows (build/win64, what the Wine tests run on hosts without 32-bit support),
# the native build with the unit tests (build/native), the optimised native build for the large archive
# cases and the benchmarks (build/release), the libFuzzer targets (build/fuzz, clang) and the archive
# tests under ThreadSanitizer (build/tsan, only that target).
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in win32 win64 native release fuzz tsan; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
