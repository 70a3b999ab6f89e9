#!/usr/bin/env bash
# Long fuzzing: builds the fuzz preset, runs every target for SECONDS (default
# 600) from its corpus in tests/fuzz/corpus and the writer's seeds, merges
# what it found back into the kept corpus, minimised, and prints executions
# and findings per target. A finding (crash-*, leak-*, timeout-*, oom-*) is
# left in build/fuzz/findings/TARGET and makes the script fail. With
# FUZZ_RUNS=N in the environment a target stops after N executions, or after
# SECONDS, whichever comes first. Without targets, every fuzz target built.
#   [FUZZ_RUNS=N] scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
shift || true
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
bin=build/fuzz/bin
build=build/fuzz/tests/fuzz
"$bin/make_seeds" "$build/seeds"
seed_dir() {
    case "$1" in
        fuzz_package_container) echo "$build/seeds/package" ;;
        fuzz_project_stream) echo "$build/seeds/project" ;;
        fuzz_comma_text) echo "$build/seeds/comma" ;;
        fuzz_ini) echo "$build/seeds/ini" ;;
        fuzz_reg_file) echo "$build/seeds/reg" ;;
        fuzz_machine_ini) echo "$build/seeds/machine" ;;
        fuzz_uninstall_record) echo "$build/seeds/record" ;;
        fuzz_user_script) echo "$build/seeds/script" ;;
        fuzz_document_*) echo tests/data/documents ;;
        *) echo "$build/seeds/$1" ;;
    esac
}
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for t in "$bin"/fuzz_*; do targets+=("$(basename "$t")"); done
fi
runs_limit=()
[ -z "${FUZZ_RUNS:-}" ] || runs_limit=(-runs="$FUZZ_RUNS")
status=0
printf '%-26s %14s %10s %8s\n' target executions exec/s findings
for t in "${targets[@]}"; do
    kept=tests/fuzz/corpus/$t
    work=build/fuzz/long/$t
    findings=build/fuzz/findings/$t
    mkdir -p "$kept" "$work" "$findings"
    log=build/fuzz/long/$t.log
    ASAN_OPTIONS=detect_leaks=1 "$bin/$t" -max_total_time="$seconds" -rss_limit_mb=2048 -max_len=65536 \
        -print_final_stats=1 "${runs_limit[@]}" -artifact_prefix="$findings/" "$work" "$kept" "$(seed_dir "$t")" >"$log" 2>&1 || true
    # The kept corpus: the smallest set of inputs that covers what all of them cover.
    merged=build/fuzz/merged/$t
    rm -rf "$merged" && mkdir -p "$merged"
    "$bin/$t" -merge=1 -max_len=65536 "$merged" "$kept" "$work" >/dev/null 2>&1 || true
    if [ -n "$(ls -A "$merged")" ]; then
        rm -rf "$kept" && mkdir -p "$kept" && cp "$merged"/* "$kept"/
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    found=$(find "$findings" -type f | wc -l)
    printf '%-26s %14s %10s %8s\n' "$t" "${runs:-?}" "${rate:-?}" "$found"
    [ "$found" -eq 0 ] || status=1
done
exit $status
