#!/usr/bin/env bash
# Generated projects installed and uninstalled on fresh simulated machines:
#   scripts/soak.sh [N] [FIRST_SEED]
# runs N seeds (default 10000) split over the processors, every tenth one
# through the setup and uninstall programs as processes, and prints the
# figures of each share. A failing seed is printed with its replay command.
set -euo pipefail
cd "$(dirname "$0")/.."
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
