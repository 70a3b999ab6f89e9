#!/usr/bin/env bash
# Side-by-side benchmark of our setup program against NSIS (Debian's nsis,
# makensis with zlib, not solid) under Wine, as a user would measure it on one
# machine in one run.
#
#   bench/peer.sh [--full] [--rounds N] [--arch win64|win32] [--build DIR] [--out DIR] [--memory]
#
# Three payloads: generated text files of 0.2-8 KB, real binaries taken from
# the host, and one 3-byte file (start-up and end). Each payload is packed by
# the Linux makesetup onto our Windows setup.exe (interface off) and by
# makensis onto its stub. Four contestants install it into a fresh copy of one
# ready Wine prefix, alternating, for N rounds: ours started without a switch
# (a package with its interface off shows its quiet window), ours with /S,
# NSIS with /S, and bench/bare_writer.c, which writes the same files from one
# uncompressed blob with nothing but CreateFileW, WriteFile and CloseHandle:
# the limit. Prints the medians and their ratios, the package sizes and the
# largest peak memory. The machine may be busy with other work: only the
# ratios of one run mean anything.
#
# --arch win64 runs the 64-bit programs, --arch win32 the 32-bit ones; both in
# a 64-bit prefix, the 32-bit ones through WoW64 as on 64-bit Windows.
#
# The Wine prefixes lie on the disk (under --out), where users install;
# --memory puts them under /dev/shm where there is room (a prefix is 0.7-1.3
# GB). Either way the copy is flushed before the clock starts.
#
# The default run is short (500 text files, about 24 MiB of binaries, 3
# rounds); --full uses the sizes of the issue (5,000 files, 172 MiB).
# Needs: the Linux build (build/linux) for makesetup, a Windows build
# (build/win64 by default, build/win32 with --arch win32), makensis, Xvfb,
# openbox.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/.." && pwd)

full=0
rounds=3
arch=win64
win_build=""
out=""
on_disk=1
while [ $# -gt 0 ]; do
    case "$1" in
    --full) full=1 ;;
    --rounds) rounds=$2; shift ;;
    --arch) arch=$2; shift ;;
    --build) win_build=$2; shift ;;
    --out) out=$2; shift ;;
    --memory) on_disk=0 ;;
    --disk) on_disk=1 ;;
    -h | --help) sed -n '2,33p' "$0"; exit 0 ;;
    *) echo "peer.sh: unknown argument $1" >&2; exit 2 ;;
    esac
    shift
done
case "$arch" in win64 | win32) ;; *) echo "peer.sh: --arch is win64 or win32" >&2; exit 2 ;; esac
win_build=$(cd "${win_build:-$source_dir/build/$arch}" && pwd)
linux_build=$source_dir/build/linux
out=${out:-$source_dir/build/peer-bench}
mkdir -p "$out"
out=$(cd "$out" && pwd)

fail() { echo "peer.sh: $*" >&2; exit 1; }
stub=$win_build/bin/setup.exe
makesetup=$linux_build/bin/makesetup
[ -f "$stub" ] && [ -f "$win_build/bin/uninstall.exe" ] || fail "no $stub: build the $arch preset first"
[ -x "$makesetup" ] || fail "no $makesetup: build the linux preset first"
if [ "$arch" = win64 ]; then mingw_cc=x86_64-w64-mingw32-gcc; else mingw_cc=i686-w64-mingw32-gcc; fi
for tool in makensis Xvfb openbox python3 $mingw_cc; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/bootstrap.sh installs it)"
done

if [ "$arch" = win64 ]; then
    nsis_target="Target amd64-unicode"
else
    nsis_target="Target x86-unicode"
fi
# The Wine machine of the end-to-end run: a screen, a window manager, and
# a prefix set up the same way.
source "$source_dir/tests/wine/wine_prefix.sh"
run_root=$out
if [ "$on_disk" = 0 ] && [ -d /dev/shm ] && [ "$(df -Pk /dev/shm | awk 'NR == 2 {print $4}')" -gt $((4 * 1024 * 1024)) ]; then
    run_root=$(mktemp -d /dev/shm/peer-bench.XXXXXX)
fi
cleanup() {
    wine_session_stop
    [ "$run_root" = "$out" ] || rm -rf "$run_root"
}
trap cleanup EXIT
wine_session_start win64 "$out/home" || fail "no virtual screen for Wine"

# ---- payloads -------------------------------------------------------------
if [ "$full" = 1 ]; then
    text_count=5000 binary_bytes=$((172 * 1024 * 1024))
else
    text_count=500 binary_bytes=$((24 * 1024 * 1024))
fi
payloads=$out/payloads
# The payloads are made by the function the other bench scripts share.
source "$here/payloads.sh"
make_payloads "$payloads" "$text_count" "$binary_bytes"

# ---- packages -------------------------------------------------------------
packages=$out/packages
mkdir -p "$packages"
# Ours carries the uninstaller of the same build, as NSIS carries its own.
cp "$win_build/bin/uninstall.exe" "$payloads/uninstall.exe"
for payload in text binaries one; do
    # The project file lies beside the payload: its paths are relative.
    cat >"$payloads/$payload.toml" <<EOF
[package]
id = "5A1E0C3B-1F2D-4E6A-9B7C-0D1E2F3A4B5C"
source_root = 'C:\\Bench'
file_time = 2024-01-01T00:00:00

uninstaller = "uninstall.exe"

[project]
Name = "Bench"
Version = "1.0"
Displayed = false
Loaded = false
EnableUnIns = true
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

[[files]]
source = "$payload"
target = '目标计算机\\Program Files\\'
EOF
    "$makesetup" build "$payloads/$payload.toml" --stub "$stub" -o "$packages/ours-$payload.exe" >/dev/null
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
done

# The bare writer and, for each payload, its blob and index.
bare=$packages/bare_writer.exe
"$mingw_cc" -municode -O2 -Wall -o "$bare" "$here/bare_writer.c"
for payload in text binaries one; do
    python3 - "$payloads/$payload" "$packages/bare-$payload" <<'BLOB'
import os, sys
root, out = sys.argv[1:3]
with open(out + ".blob", "wb") as blob, open(out + ".index", "w", encoding="utf-8", newline="\n") as index:
    for folder, subfolders, files in os.walk(root):
        subfolders.sort()
        for name in sorted(files):
            path = os.path.join(folder, name)
            data = open(path, "rb").read()
            blob.write(data)
            index.write("%d %s\n" % (len(data), os.path.relpath(path, root).replace("/", "\\")))
BLOB
done

# ---- runs -----------------------------------------------------------------
template=$out/prefix-win64
wine_prefix_ready "$template" || wine_prefix_create "$template"

# Seconds one install takes, from the process start to its end, in a fresh
# prefix; the prefix's server is running already, as on a booted machine.
# Then the process's peak resident size in KiB, which holds Wine's own
# libraries (about 22 MiB) besides the installer's memory.
now() { date +%s.%N; }
time_install() {  # PACKAGE [--bare BLOB INDEX] ARGS...
    local package=$1
    shift
    local prefix=$run_root/run-prefix
    rm -rf "$prefix"
    cp -a "$template" "$prefix"
    cp "$package" "$prefix/drive_c/package.exe"
    if [ "${1:-}" = --bare ]; then
        cp "$2" "$prefix/drive_c/blob"
        cp "$3" "$prefix/drive_c/index"
        set -- 'C:\blob' 'C:\index' 'C:\Program Files\Bench'
    fi
    export WINEPREFIX=$prefix
    "$wine" cmd /c exit >/dev/null 2>&1 || true
    sync
    local start end
    start=$(now)
    /usr/bin/time -f %M -o "$run_root/peak" "$wine" 'C:\package.exe' "$@" >/dev/null 2>&1 || true
    end=$(now)
    wineserver -w
    echo "$start $end $(tail -n 1 "$run_root/peak")" | awk '{printf "%.3f %d\n", $2 - $1, $3}'
}
bare_process() {
    local start end
    export WINEPREFIX=$template
    "$wine" cmd /c exit >/dev/null 2>&1 || true
    start=$(now)
    "$wine" cmd /c exit >/dev/null 2>&1 || true
    end=$(now)
    wineserver -w
    echo "$start $end" | awk '{printf "%.3f\n", $2 - $1}'
}

results=$out/results.txt
: >"$results"
echo "peer.sh: $arch, $rounds rounds, $text_count text files, $((binary_bytes / 1048576)) MiB of binaries," \
    "prefixes in $run_root" >&2
for round in $(seq 1 "$rounds"); do
    for payload in text binaries one; do
        echo "quiet $payload $(time_install "$packages/ours-$payload.exe")" >>"$results"
        echo "ours $payload $(time_install "$packages/ours-$payload.exe" /S)" >>"$results"
        echo "nsis $payload $(time_install "$packages/nsis-$payload.exe" /S)" >>"$results"
        echo "bare $payload $(time_install "$bare" --bare "$packages/bare-$payload.blob" "$packages/bare-$payload.index")" >>"$results"
    done
    echo "process one $(bare_process)" >>"$results"
    echo "  round $round done" >&2
done

python3 - "$results" "$packages" "$payloads" <<'EOF'
import os, statistics, sys
results, packages, payloads = sys.argv[1:4]
times, peaks = {}, {}
order = []
for line in open(results):
    who, payload, t, *peak = line.split()
    times.setdefault((who, payload), []).append(float(t))
    if peak:
        peaks.setdefault((who, payload), []).append(int(peak[0]))
    order.append((who, payload, t))
def med(who, payload):
    return statistics.median(times[(who, payload)])
def tree_size(path):
    return sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(path) for f in fs)
# Each round runs ours and the peer back to back, so the ratio within a
# round shares the machine's state; its median is the steadier figure when
# the machine's speed drifts during the run.
def paired(a, b, payload):
    first = [float(t) for who, p, t in order if who == a and p == payload]
    second = [float(t) for who, p, t in order if who == b and p == payload]
    return statistics.median(x / y for x, y in zip(first, second))
names = {"text": "text files", "binaries": "binaries", "one": "one 3-byte file"}
print("| Payload | quiet | /S | NSIS /S | bare | quiet / NSIS | /S / NSIS | /S / bare | NSIS / bare | quiet / /S |")
print("|---|---|---|---|---|---|---|---|---|---|")
ratios = (("quiet", "nsis"), ("ours", "nsis"), ("ours", "bare"), ("nsis", "bare"), ("quiet", "ours"))
for payload in ("text", "binaries", "one"):
    count = sum(len(fs) for _, _, fs in os.walk(os.path.join(payloads, payload)))
    label = "%s: %d files, %.1f MiB" % (names[payload], count, tree_size(os.path.join(payloads, payload)) / 1048576)
    cells = ["%.2f s" % med(who, payload) for who in ("quiet", "ours", "nsis", "bare")]
    cells += ["%.2f" % (med(a, payload) / med(b, payload)) for a, b in ratios]
    print("| install, %s | %s |" % (label, " | ".join(cells)))
print("| paired, text / binaries | | | | | %s |" % " | ".join(
    "/".join("%.2f" % paired(a, b, p) for p in ("text", "binaries")) for a, b in ratios))
print("| a bare Wine process | %.2f s | | | | | | | | |" % med("process", "one"))
for payload in ("text", "binaries", "one"):
    o = os.path.getsize(os.path.join(packages, "ours-%s.exe" % payload))
    n = os.path.getsize(os.path.join(packages, "nsis-%s.exe" % payload))
    print("package size, %s: ours %.3f MiB, NSIS %.3f MiB, ours / NSIS %.3f" % (names[payload], o / 1048576, n / 1048576, o / n))
# The largest of the rounds: the goal is a ceiling.
for payload in ("text", "binaries", "one"):
    o, n = max(peaks[("ours", payload)]), max(peaks[("nsis", payload)])
    print("peak memory with Wine's, %s: ours %.1f MiB, NSIS %.1f MiB, %+.1f MiB" % (names[payload], o / 1024, n / 1024, (o - n) / 1024))
EOF
