#!/usr/bin/env bash
# The main job: builds everything, makes the demo setup package and shows it,
# installs it on a fresh simulated Windows machine and shows what it did.
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
echo "== The demo package, made from examples/demo/project.toml"
"$makesetup" build examples/demo/project.toml -o "$out/demo-setup.exe"
"$makesetup" verify "$out/demo-setup.exe"
"$makesetup" inspect "$out/demo-setup.exe"

root=$out/sandbox
mkdir -p "$root"
printf '[Machine]\nOsVersion=6.1\nUser=Demo\n' >"$root/machine.ini"
echo
echo "== The demo package installed quietly on a fresh simulated Windows 7 machine in $root"
build/linux/tools/sandboxctl/sandboxctl "$root" install "$out/demo-setup.exe"
echo
echo "== What the installation did: files, registry, effects"
build/linux/tools/sandboxctl/sandboxctl "$root" show
