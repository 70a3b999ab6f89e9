#!/usr/bin/env bash
# Runs every test: installs what is missing, builds the Linux, sanitizer and
# Windows presets, and runs the tests on Linux and under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap.sh

# Compiler cache hits across clones in other folders.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1

presets=(linux linux-asan fuzz win32 win64)
for preset in "${presets[@]}"; do
    echo "== build: $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done

jobs=$(nproc)
for preset in "${presets[@]}"; do
    # The 32-bit tests are registered only where the host can run 32-bit code.
    if [ "$(ctest --preset "$preset" -N 2>/dev/null | sed -n 's/^Total Tests: //p')" = "0" ]; then
        echo "== tests: $preset (none that this host can run)"
        continue
    fi
    echo "== tests: $preset"
    ctest --preset "$preset" -j "$jobs"
done
