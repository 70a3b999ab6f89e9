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
# The uninstaller is only payload here (no damaged run gets as far as
# starting it): the stripped release build keeps the package small, so each
# case verifies a few hundred kilobytes instead of the sanitizer build's tens
# of megabytes, and the whole sweep runs in minutes rather than hours.
cmake --preset linux >/dev/null
cmake --build --preset linux --target uninstall >/dev/null
bin=build/linux-asan/bin
strip -o build/linux-asan/damage-sweep-uninstall build/linux/bin/uninstall
"$bin/damage_sweep" --makesetup "$bin/makesetup" --project examples/demo/project.toml --setup "$bin/setup" \
    --uninstall build/linux-asan/damage-sweep-uninstall --work build/linux-asan/damage-sweep-all \
    --jobs "${1:-$(nproc)}"
