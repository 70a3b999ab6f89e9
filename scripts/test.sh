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

# The end-to-end run of the Windows programs under Wine against the simulated
# machine (screenshots in build/<preset>/e2e/screens): the shipped 32-bit
# programs, or the 64-bit build where this host cannot run 32-bit code.
# SETUP_WINE_E2E=0 leaves it out.
if [ "${SETUP_WINE_E2E:-1}" != 0 ]; then
    windows=build/win32
    /lib/ld-linux.so.2 --version >/dev/null 2>&1 || windows=build/win64
    echo "== tests: the Windows programs end to end under Wine ($windows)"
    timeout 900 bash tests/wine/e2e.sh "$windows" build/linux "$windows/e2e"
fi
