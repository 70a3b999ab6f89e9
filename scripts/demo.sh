#!/usr/bin/env bash
# The main job: builds everything and shows what the tools do on a fresh
# simulated Windows machine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap.sh
for preset in linux win32; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done

root=build/demo/sandbox
rm -rf "$root"
mkdir -p "$root"
printf '[Machine]\nOsVersion=6.1\nUser=Demo\n' >"$root/machine.ini"
echo
echo "== A fresh simulated Windows 7 machine in $root"
build/linux/tools/sandboxctl/sandboxctl "$root" demo
build/linux/tools/sandboxctl/sandboxctl "$root" show
