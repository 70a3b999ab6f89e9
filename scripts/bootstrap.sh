#!/usr/bin/env bash
# Installs every Debian package the build and the tests need. Idempotent: when
# everything is present it only checks and returns within a second or two.
set -euo pipefail

packages=(
    g++ cmake ninja-build ccache pkg-config dpkg-dev
    zlib1g-dev libpng-dev libjpeg62-turbo-dev libdeflate-dev
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    libtomlplusplus-dev
    libgumbo-dev
    g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
    wine wine32:i386 wine64
    xvfb xdotool x11-utils imagemagick openbox
    locales python3 openssl time
    fonts-wqy-microhei fonts-wqy-zenhei
    liblnk-utils
    clang libclang-rt-14-dev
    nsis
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

if [ ${#missing[@]} -gt 0 ]; then
    echo "bootstrap: installing ${missing[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
    fi
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The Windows programs link libpng, libjpeg-turbo and libdeflate statically, cross-built
# with mingw-w64 from Debian's own source packages (cmake/picture_libraries.cmake
# builds them into the build folder). Only the sources are fetched here, once,
# into a cache shared by every build folder; zlib is libz-mingw-w64-dev's, the
# one the package code links.
deps_cache=${SETUP_DEPS_CACHE:-/var/cache/setup-deps}
deps_sources=(libpng1.6 libjpeg-turbo libdeflate)
have_sources() {
    local s
    for s in "${deps_sources[@]}"; do
        compgen -G "$deps_cache/${s}_*.dsc" >/dev/null || return 1
    done
}
if ! have_sources; then
    echo "bootstrap: fetching the source packages ${deps_sources[*]} into $deps_cache"
    suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
    list=/etc/apt/sources.list.d/setup-deb-src.sources
    if [ ! -f "$list" ]; then
        printf '%s\n' "Types: deb-src" "URIs: http://deb.debian.org/debian" "Suites: $suite $suite-updates" \
            "Components: main" "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" "" \
            "Types: deb-src" "URIs: http://deb.debian.org/debian-security" "Suites: $suite-security" \
            "Components: main" "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" | $sudo tee "$list" >/dev/null
    fi
    $sudo apt-get update -qq
    $sudo mkdir -p "$deps_cache"
    $sudo chmod a+rwx "$deps_cache"
    # The newest version first; a mirror that lacks it (the security archive
    # does not always carry every source) falls back to the next one.
    for s in "${deps_sources[@]}"; do
        compgen -G "$deps_cache/${s}_*.dsc" >/dev/null && continue
        for v in $(apt-cache showsrc "$s" | sed -n 's/^Version: //p' | sort -u | sort -r -V); do
            (cd "$deps_cache" && apt-get source --download-only -qq "$s=$v" >/dev/null 2>&1) && break
        done
    done
    have_sources || { echo "bootstrap: the source packages could not be fetched" >&2; exit 1; }
fi

# Installs packages that bookworm carries only in its backports (newer
# releases in main).
install_backported() {
    local suite list release=()
    suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    if [ "$suite" = bookworm ]; then
        list=/etc/apt/sources.list.d/bookworm-backports.list
        [ -f "$list" ] || echo "deb http://deb.debian.org/debian bookworm-backports main" | $sudo tee "$list" >/dev/null
        release=(-t bookworm-backports)
    fi
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${release[@]}" "$@" >/dev/null
}

# Signed installers (makesetup build --sign) are signed with osslsigncode.
if ! command -v osslsigncode >/dev/null 2>&1; then
    echo "bootstrap: installing osslsigncode"
    install_backported osslsigncode
fi

# The shipped setup.exe and uninstall.exe are compressed with UPX.
if ! command -v upx >/dev/null 2>&1; then
    echo "bootstrap: installing upx-ucl"
    install_backported upx-ucl
fi

# Wine takes its code pages from the locale: the Windows programs run with
# the Chinese ones (936), as on the systems they are made for.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
    $sudo localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi

# Wine starts 32-bit Windows programs with its 32-bit loader, a 32-bit Linux
# program. A kernel built without 32-bit support refuses it ("Exec format
# error"); there the loader runs under qemu's user-mode emulator, registered
# for 32-bit x86 programs with binfmt_misc. qemu 7.2 (bookworm) needs about a
# minute to start each Wine process; qemu 10 (bookworm-backports) a second.
ia32_runs() { /lib/ld-linux.so.2 --version >/dev/null 2>&1; }
qemu_is_recent() {
    local version
    version=$(/usr/bin/qemu-i386 --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\).*/\1/p')
    [ -n "$version" ] && [ "$version" -ge 8 ]
}
if ! ia32_runs; then
    if ! qemu_is_recent; then
        echo "bootstrap: this kernel cannot run 32-bit programs; installing qemu's user-mode emulator for Wine's 32-bit loader"
        install_backported qemu-user
    fi
    binfmt=/proc/sys/fs/binfmt_misc
    [ -f "$binfmt/register" ] || $sudo mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || true
    if [ -f "$binfmt/register" ] && [ ! -f "$binfmt/qemu-i386" ]; then
        # The ELF header of a 32-bit x86 executable or shared object; F opens
        # the emulator now, so that it also serves programs in other mounts.
        magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
        mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
        echo ":qemu-i386:M::$magic:$mask:/usr/bin/qemu-i386:F" | $sudo tee "$binfmt/register" >/dev/null
    fi
    ia32_runs || echo "bootstrap: 32-bit programs still cannot run here; the 32-bit Windows tests will be skipped" >&2
fi

# --- The document viewer's HTML parser for Windows ------------------------
# The Windows programs parse HTML documents with gumbo cross-built from
# Debian's source package gumbo-parser (cmake/html_parser.cmake compiles it
# into the build folder). Only the source is fetched here, once, into the
# cache the other cross-built libraries use. Where the archive does not offer
# it, the Windows build reads HTML with the viewer's own bounded tokenizer,
# so a failed fetch is reported and tolerated, and tried again next time.
fetch_html_parser_source() {
    local cache=${SETUP_DEPS_CACHE:-/var/cache/setup-deps}
    compgen -G "$cache/gumbo-parser_*.orig.tar.*" >/dev/null && return 0
    local list=/etc/apt/sources.list.d/setup-deb-src.sources
    if [ ! -f "$list" ]; then
        local suite
        suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
        printf '%s\n' "Types: deb-src" "URIs: http://deb.debian.org/debian" "Suites: $suite $suite-updates" \
            "Components: main" "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" | $sudo tee "$list" >/dev/null
        $sudo apt-get update -qq
    fi
    $sudo mkdir -p "$cache"
    $sudo chmod a+rwx "$cache"
    local version
    for version in $(apt-cache showsrc gumbo-parser 2>/dev/null | sed -n 's/^Version: //p' | sort -u | sort -r -V); do
        if (cd "$cache" && apt-get source --download-only -qq "gumbo-parser=$version" >/dev/null 2>&1); then
            return 0
        fi
    done
    # A half-fetched package (its description without its sources) is removed.
    rm -f "$cache"/gumbo-parser_*.dsc
    echo "bootstrap: the source package gumbo-parser could not be fetched; the Windows build reads HTML" \
        "documents with its own tokenizer" >&2
}
fetch_html_parser_source
