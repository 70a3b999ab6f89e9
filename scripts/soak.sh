#!/usr/bin/env bash
# Generated projects installed and uninstalled on fresh simulated machines:
#   scripts/soak.sh [N] [FIRST_SEED]
# runs N seeds (default 10000) split over the processors, every tenth one
# through the setup and uninstall programs as processes, and prints the
# figures of each share. A failing seed is printed with its replay command.
#   scripts/soak.sh --kill N
# kills an upgrade at a random moment, then the run that heals it, N times
# (two killed runs a round), and checks each time that the next run leaves
# every file at the new version and no temporary or backup name anywhere.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--kill" ]; then
    export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
    cmake --preset linux >/dev/null
    cmake --build --preset linux --target startup_tests setup uninstall sandboxctl >/dev/null
    start=$(date +%s)
    SETUP_KILL_SOAK=${2:-500} build/linux/bin/startup_tests \
        --gtest_filter='CrashSafetyTest.UpgradeAndItsHealingKilledAtRandomMoments'
    echo "in $(( $(date +%s) - start )) s"
    exit 0
fi
count=${1:-10000}
first=${2:-1}
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
cmake --preset linux >/dev/null
cmake --build --preset linux --target scale_soak setup uninstall >/dev/null
jobs=$(nproc)
share=$(( (count + jobs - 1) / jobs ))
pids=()
start=$(date +%s)
for ((j = 0; j < jobs; j++)); do
    from=$((first + j * share))
    n=$(( count - j * share < share ? count - j * share : share ))
    [ "$n" -gt 0 ] || break
    build/linux/bin/scale_soak --first "$from" --count "$n" > "build/linux/soak-$j.log" 2>&1 &
    pids+=($!)
done
status=0
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
cat build/linux/soak-*.log
echo "$count seeds from $first in $(( $(date +%s) - start )) s on $jobs processes"
exit $status
