#!/usr/bin/env bash
# The main job: builds everything, makes the demo setup package, installs it
# through the wizard by running the setup program on a fresh simulated Windows
# machine (the simulated user accepts every default), shows every page the
# user saw and what the installation did, then runs the uninstaller it left
# behind and shows what remains.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap.sh
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
for preset in linux win32; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done

bin=build/linux/bin
out=build/demo
rm -rf "$out"
mkdir -p "$out"

echo
echo "== The demo package (examples/demo/project.toml) on the Linux setup program"
"$bin/makesetup" build examples/demo/project.toml -o "$out/demo-setup"
"$bin/makesetup" verify "$out/demo-setup"
"$bin/makesetup" inspect "$out/demo-setup"

root=$out/sandbox
mkdir -p "$root/C/Users/Demo/Downloads"
printf '[Machine]\nOsVersion=6.1\nUser=Demo\n' >"$root/machine.ini"
cp "$out/demo-setup" "$root/C/Users/Demo/Downloads/demo-setup"

# Programs on the machine relaunch themselves elevated; wait for the copy.
wait_for_exits() {
    for _ in $(seq 1 100); do
        [ "$(grep -c '"effect":"ProcessExit"' "$root/effects.jsonl" 2>/dev/null)" -ge "$1" ] && return
        sleep 0.1
    done
}

echo
echo "== Running C:\\Users\\Demo\\Downloads\\demo-setup on a fresh simulated Windows 7 machine ($root)"
SANDBOX_ROOT="$root" "$root/C/Users/Demo/Downloads/demo-setup"
wait_for_exits 1
echo
echo "== What the user saw (transcript.txt): the loading window, the background window and every wizard page"
cat "$root/transcript.txt"
echo
echo "== What the installation did: files, registry, effects"
"$bin/sandboxctl" "$root" show

echo
echo "== Running the uninstaller the installation left in C:\\Program Files\\演示程序"
: >"$root/transcript.txt"
SANDBOX_ROOT="$root" "$root/C/Program Files/演示程序/UnInstall 演示程序.exe"
wait_for_exits 2
echo
echo "== What the user saw (transcript.txt)"
cat "$root/transcript.txt"
echo
echo "== What remains: files, registry, effects"
"$bin/sandboxctl" "$root" show

# The same package on the real Windows programs, when Wine is there to run them.
if command -v wine >/dev/null && /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    echo
    echo "== The demo package on the Windows programs (setup.exe, uninstall.exe, makesetup.exe) under Wine"
    bash tests/wine/e2e.sh build/win32 build/linux "$out/wine"
    echo
    echo "What a user saw under Wine, one picture a window: $out/wine/screens"
fi
