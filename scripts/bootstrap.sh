#!/usr/bin/env bash
# Installs every Debian package the build and the tests need. Idempotent: when
# everything is present it only checks and returns within a second or two.
set -euo pipefail

packages=(
    g++ cmake ninja-build ccache pkg-config
    zlib1g-dev libpng-dev libjpeg-dev
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    libtomlplusplus-dev
    g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
    wine wine32:i386 wine64
    xvfb xdotool x11-utils imagemagick
    fonts-wqy-microhei fonts-wqy-zenhei
    liblnk-utils
    clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

echo "bootstrap: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
