#!/usr/bin/env bash
# Every damaged copy of the demo package (each single-byte change in its tail,
# project stream and first and last chunk, each cut length in those regions)
# run through the setup program built with the sanitizers; prints the count.
#   scripts/damage_sweep.sh [JOBS]
set -euo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
cmake --preset linux-asan >/dev/null
cmake --build --preset linux-asan --target damage_sweep setup uninstall makesetup >/dev/null
bin=build/linux-asan/bin
"$bin/damage_sweep" --makesetup "$bin/makesetup" --project examples/demo/project.toml --setup "$bin/setup" \
    --uninstall "$bin/uninstall" --work build/linux-asan/damage-sweep-all --jobs "${1:-$(nproc)}"
