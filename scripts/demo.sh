#!/usr/bin/env bash
# The main job: builds everything, makes the demo setup package, installs it
# quietly by running the setup program on a fresh simulated Windows machine,
# and shows what the installation did.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap.sh
for preset in linux win32; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done

makesetup=build/linux/tools/makesetup/makesetup
out=build/demo
rm -rf "$out"
mkdir -p "$out"

echo
echo "== The demo package (examples/demo/project.toml) on the Linux setup program, interface switched off"
"$makesetup" build examples/demo/project.toml -o "$out/demo-setup" --stub build/linux/src/startup/setup \
    --uninstaller build/linux/tools/sandboxctl/sandboxctl --set project.Displayed=false
"$makesetup" verify "$out/demo-setup"
"$makesetup" inspect "$out/demo-setup"

root=$out/sandbox
mkdir -p "$root/C/Users/Demo/Downloads"
printf '[Machine]\nOsVersion=6.1\nUser=Demo\n' >"$root/machine.ini"
cp "$out/demo-setup" "$root/C/Users/Demo/Downloads/demo-setup"
echo
echo "== Running C:\\Users\\Demo\\Downloads\\demo-setup on a fresh simulated Windows 7 machine ($root)"
SANDBOX_ROOT="$root" "$root/C/Users/Demo/Downloads/demo-setup"
# The first process hands over to an elevated copy of itself; wait for it.
for _ in $(seq 1 100); do
    grep -q '"effect":"ProcessExit"' "$root/effects.jsonl" 2>/dev/null && break
    sleep 0.1
done
echo
echo "== What the user saw (transcript.txt)"
cat "$root/transcript.txt"
echo
echo "== What the installation did: files, registry, effects"
build/linux/tools/sandboxctl/sandboxctl "$root" show
