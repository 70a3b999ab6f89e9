#!/usr/bin/env bash
# Package size and build speed of makesetup against makensis (Debian's nsis,
# zlib, not solid), on the payloads of bench/peer.sh. Needs no Wine.
#
#   bench/pack_bench.sh [--full] [--rounds N] [--arch win32|win64] [--parts sizes,speed,levels] [--out DIR]
#
# Prints four tables:
#   1. package size per payload and --level, ours against NSIS, and what part
#      of each package is the fixed cost (setup program and uninstaller for
#      ours; stub, header and uninstaller for NSIS: its one-file package);
#   2. makesetup build time with --jobs 1, 2 and one per processor on all
#      payloads in one project (level default), medians of the rounds, run
#      alternately; CPU seconds beside the wall-clock seconds;
#   3. the deflater's levels 1-12 on the text and binary payloads (bytes of
#      the chunks and speed of one thread, from build/linux/bin/level_bench);
#   4. the chunk size against the ratio, at the levels default and press.
# The Windows programs of build/ARCH/bin (ARCH win32 by default) are the
# setup program and uninstaller the packages carry, as in a shipped package;
# without them the packages carry neither and only the payload parts compare.
# The machine may be busy with other work: compare the ratios of one run.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/.." && pwd)
source "$here/payloads.sh"

full=0
rounds=3
arch=win32
parts=sizes,speed,levels
out=""
while [ $# -gt 0 ]; do
    case "$1" in
    --full) full=1 ;;
    --rounds) rounds=$2; shift ;;
    --arch) arch=$2; shift ;;
    --parts) parts=$2; shift ;;
    --out) out=$2; shift ;;
    -h | --help) sed -n '2,21p' "$0"; exit 0 ;;
    *) echo "pack_bench.sh: unknown argument $1" >&2; exit 2 ;;
    esac
    shift
done
fail() { echo "pack_bench.sh: $*" >&2; exit 1; }
case "$arch" in win32) nsis_target="Target x86-unicode" ;; win64) nsis_target="Target amd64-unicode" ;;
*) fail "--arch is win32 or win64" ;; esac
linux_build=$source_dir/build/linux
makesetup=$linux_build/bin/makesetup
level_bench=$linux_build/bin/level_bench
[ -x "$makesetup" ] && [ -x "$level_bench" ] || fail "build the linux preset first"
for tool in makensis python3; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/bootstrap.sh installs it)"
done
out=${out:-$source_dir/build/pack-bench}
mkdir -p "$out"
out=$(cd "$out" && pwd)
stub=$source_dir/build/$arch/bin/setup.exe
uninstaller=$source_dir/build/$arch/bin/uninstall.exe
if [ ! -f "$stub" ] || [ ! -f "$uninstaller" ]; then
    echo "pack_bench.sh: no $arch build: the packages carry no setup program and no uninstaller" >&2
    stub="" uninstaller=""
fi

if [ "$full" = 1 ]; then
    make_payloads "$out/payloads" 5000 $((172 * 1024 * 1024))
else
    make_payloads "$out/payloads" 500 $((24 * 1024 * 1024))
fi
payloads=$out/payloads
packages=$out/packages
mkdir -p "$packages"

# A project of the folders given, as bench/peer.sh writes it.
project() {  # FILE UNINSTALL(true|false) FOLDER...
    local file=$1 unins=$2
    shift 2
    {
        cat <<EOF
[package]
id = "5A1E0C3B-1F2D-4E6A-9B7C-0D1E2F3A4B5C"
source_root = 'C:\\Bench'
file_time = 2024-01-01T00:00:00

[project]
Name = "Bench"
Version = "1.0"
Displayed = false
Loaded = false
EnableUnIns = $unins
HintMsg = ""

[pages]
welcome = false
agreement = false
readme = false
startfolder = false
components = false
installdir = false
tasks = false
ready = false
progress = false
finish = false

[installdir]
default_path = '[System ProgramFiles]\\Bench'
EOF
        for folder in "$@"; do
            printf '\n[[files]]\nsource = "%s"\ntarget = %s\n' "$folder" "'目标计算机\\Program Files\\'"
        done
    } >"$file"
}

size_of() { stat -c %s "$1"; }

part() { case ",$parts," in *",$1,"*) return 0 ;; *) return 1 ;; esac; }

# ---- 1. sizes -------------------------------------------------------------
sizes=$out/sizes.txt
part sizes && : >"$sizes"
part sizes && for payload in text binaries one; do
    cat >"$packages/$payload.nsi" <<EOF
Unicode true
$nsis_target
Name "Bench"
OutFile "$packages/nsis-$payload.exe"
SetCompressor zlib
InstallDir "\$PROGRAMFILES\\Bench"
RequestExecutionLevel user
SilentInstall silent
Section
    SetOutPath "\$INSTDIR"
    File /r "$payloads/$payload/*"
    WriteUninstaller "\$INSTDIR\\uninstall.exe"
    WriteRegStr HKLM "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Bench" "UninstallString" "\$INSTDIR\\uninstall.exe"
SectionEnd
Section "Uninstall"
    RMDir /r "\$INSTDIR"
SectionEnd
EOF
    makensis -V1 "$packages/$payload.nsi" >/dev/null
    echo "nsis $payload - $(size_of "$packages/nsis-$payload.exe")" >>"$sizes"
    project "$payloads/$payload-whole.toml" true "$payload"
    project "$payloads/$payload-bare.toml" false "$payload"
    for level in speed default press; do
        if [ -n "$stub" ]; then
            /usr/bin/time -o "$out/time.txt" -f "%e %U %S" "$makesetup" build "$payloads/$payload-whole.toml" \
                --stub "$stub" --uninstaller "$uninstaller" --level "$level" -o "$packages/ours-$payload-$level.exe" \
                >/dev/null 2>&1
            echo "ours $payload $level $(size_of "$packages/ours-$payload-$level.exe") $(cat "$out/time.txt")" \
                >>"$sizes"
        fi
        # The payload's part: no setup program, no uninstaller.
        "$makesetup" build "$payloads/$payload-bare.toml" --stub "" --level "$level" \
            -o "$packages/bare-$payload-$level.bin" >/dev/null 2>&1
        echo "bare $payload $level $(size_of "$packages/bare-$payload-$level.bin")" >>"$sizes"
    done
done
part sizes && echo "pack_bench.sh: sizes done" >&2

# ---- 2. build speed -------------------------------------------------------
project "$payloads/all.toml" "$([ -n "$uninstaller" ] && echo true || echo false)" text binaries one
times=$out/times.txt
part speed && : >"$times"
processors=$(nproc)
job_counts="1 2"
[ "$processors" -gt 2 ] && job_counts="$job_counts $processors"
part speed && for round in $(seq 1 "$rounds"); do
    for jobs in $job_counts; do
        python3 - "$jobs" "$makesetup" "$payloads/all.toml" "$packages/all-$jobs.exe" "${stub:-}" "$uninstaller" \
            >>"$times" <<'EOF'
import os, subprocess, sys, time
jobs, makesetup, project, output, stub, uninstaller = sys.argv[1:7]
start = time.monotonic()
command = [makesetup, "build", project, "--stub", stub, "--jobs", jobs, "--level", "default", "-o", output]
if uninstaller:
    command += ["--uninstaller", uninstaller]
p = subprocess.Popen(command,
                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
_, status, usage = os.wait4(p.pid, 0)
wall = time.monotonic() - start
if status != 0:
    sys.exit("makesetup build --jobs %s failed" % jobs)
print(jobs, "%.3f" % wall, "%.3f" % (usage.ru_utime + usage.ru_stime))
EOF
    done
    cmp -s "$packages/all-1.exe" "$packages/all-2.exe" || fail "--jobs 1 and --jobs 2 made different packages"
    echo "  round $round done" >&2
done

# ---- 3. and 4. levels and chunks -------------------------------------------
level_table=$out/levels.md
if part levels; then
    : >"$level_table"
    "$level_bench" --levels 1,2,4,6,8,9,10,11,12 "$payloads/text" "$payloads/binaries" >>"$level_table"
    "$level_bench" --levels 6,12 --chunks 65536,262144,1048576,3145728 "$payloads/text" "$payloads/binaries" |
        tail -n +3 >>"$level_table"
fi

python3 - "$sizes" "$times" "$payloads" "${stub:-}" "${uninstaller:-}" "$level_table" <<'EOF'
import os, statistics, sys
sizes_file, times_file, payloads, stub, uninstaller, level_table = sys.argv[1:7]
sizes = {}
build_times = {}
for line in open(sizes_file):
    who, payload, level, size, *took = line.split()
    sizes[(who, payload, level)] = int(size)
    if took:
        build_times[(payload, level)] = (float(took[0]), float(took[1]) + float(took[2]))
def mib(n):
    return "%.2f MiB" % (n / 1048576)
def tree(path):
    files = [os.path.join(d, f) for d, _, fs in os.walk(path) for f in fs]
    return len(files), sum(os.path.getsize(f) for f in files)
names = {"text": "text files", "binaries": "binaries", "one": "one 3-byte file"}
nsis_fixed = sizes[("nsis", "one", "-")]
print("Package size (ours with --level; NSIS zlib). Fixed part: ours the setup program and the compressed")
print("uninstaller, NSIS its one-file package. Payload part: the package less its fixed part. Build: makesetup")
print("with one thread per processor, elapsed and processor seconds.\n")
print("| payload | level | ours | NSIS | ours / NSIS | ours' payload part | NSIS's payload part | payload parts' ratio "
      "| build: wall, CPU |")
print("|---|---|---|---|---|---|---|---|---|")
for payload in ("text", "binaries", "one"):
    count, total = tree(os.path.join(payloads, payload))
    nsis = sizes[("nsis", payload, "-")]
    for level in ("speed", "default", "press"):
        bare = sizes[("bare", payload, level)]
        whole = sizes.get(("ours", payload, level))
        nsis_part = nsis - nsis_fixed
        label = "%s (%d, %s)" % (names[payload], count, mib(total))
        row = [label, level]
        row += [mib(whole) if whole else "-", mib(nsis), "%.3f" % (whole / nsis) if whole else "-"]
        row += [mib(bare), mib(nsis_part) if payload != "one" else "-",
                "%.3f" % (bare / nsis_part) if payload != "one" else "-"]
        took = build_times.get((payload, level))
        row += ["%.1f s, %.1f s" % took if took else "-"]
        print("| " + " | ".join(row) + " |")
if stub:
    fixed = sizes[("ours", "one", "default")] - sizes[("bare", "one", "default")]
    print("\nFixed part: ours %s (setup program %s, uninstaller %s uncompressed), NSIS %s." %
          (mib(fixed), mib(os.path.getsize(stub)), mib(os.path.getsize(uninstaller)), mib(nsis_fixed)))

runs = {}
for line in open(times_file):
    jobs, wall, cpu = line.split()
    runs.setdefault(int(jobs), []).append((float(wall), float(cpu)))
count, total = 0, 0
for payload in ("text", "binaries", "one"):
    c, t = tree(os.path.join(payloads, payload))
    count, total = count + c, total + t
print("\nmakesetup build, all payloads in one project (%d files, %s), level default, medians of %d rounds:\n" %
      (count, mib(total), len(runs[1])))
print("| --jobs | wall | CPU (user + system) | speed-up over --jobs 1 |")
print("|---|---|---|---|")
one = statistics.median(w for w, _ in runs[1])
for jobs in sorted(runs):
    wall = statistics.median(w for w, _ in runs[jobs])
    cpu = statistics.median(c for _, c in runs[jobs])
    print("| %d | %.2f s | %.2f s | %.2f |" % (jobs, wall, cpu, one / wall))
if os.path.getsize(level_table):
    print("\nThe deflater's levels and chunk sizes (chunks' bytes with their length fields, one thread):\n")
    print(open(level_table).read(), end="")
EOF
