#!/usr/bin/env bash
# Installs every Debian package the build and the tests need, and fetches the
# source packages the Windows build cross-builds. Idempotent: when everything
# is present it only checks and returns within a second or two.
#
# What it changes in the system's package configuration it says when it does
# it. The i386 architecture and the backports suite stay, because installed
# packages need them; the source indexes and the version pins it may need
# when the mirror's indexes disagree are given to apt for the run only.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
source "$here/bootstrap_apt.sh"
trap apt_cleanup EXIT

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

if [ ${#missing[@]} -gt 0 ]; then
    echo "bootstrap: installing ${missing[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        echo "bootstrap: adding the i386 architecture to dpkg (kept: Wine's 32-bit half needs it)"
        $sudo dpkg --add-architecture i386
    fi
    apt_update
    apt_install "${missing[@]}"
fi

# The source indexes are given to apt only while sources are fetched, never
# kept in apt's sources, where every apt-get update would fetch them too: a
# list of them under this bootstrap's name is removed when it holds nothing
# else.
old_list=/etc/apt/sources.list.d/setup-deb-src.sources
if [ -f "$old_list" ] && ! grep -qvE '^(Types: deb-src|(URIs|Suites|Components|Signed-By): .*|)$' "$old_list"; then
    echo "bootstrap: removing $old_list from apt's sources (the source indexes are fetched for the run only)"
    $sudo rm -f "$old_list"
fi

# The Windows programs link libpng, libjpeg-turbo and libdeflate statically,
# cross-built with mingw-w64 from Debian's own source packages
# (cmake/picture_libraries.cmake and cmake/deflate_library.cmake build them
# into the build folder). Only the sources are fetched here, once, into a
# cache shared by every build folder; zlib is libz-mingw-w64-dev's, the one
# the package code links.
deps_cache=${SETUP_DEPS_CACHE:-/var/cache/setup-deps}
prepare_cache() {
    [ -d "$deps_cache" ] && [ -w "$deps_cache" ] && return 0
    $sudo mkdir -p "$deps_cache"
    $sudo chmod a+rwx "$deps_cache"
}
for s in libpng1.6 libjpeg-turbo libdeflate; do
    apt_source_complete "$deps_cache" "$s" && continue
    echo "bootstrap: fetching the source package $s into $deps_cache"
    prepare_cache
    apt_fetch_source "$deps_cache" "$s" || { echo "bootstrap: the source package $s could not be fetched" >&2; exit 1; }
done

# Installs packages that bookworm carries only in its backports (newer
# releases in main). The backports suite stays in apt's sources: what is
# installed from there gets its updates from there.
install_backported() {
    local suite list release=()
    suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    if [ "$suite" = bookworm ]; then
        list=/etc/apt/sources.list.d/bookworm-backports.list
        if [ ! -f "$list" ]; then
            echo "bootstrap: adding bookworm-backports to apt's sources ($list, kept for the updates of $*)"
            echo "deb http://deb.debian.org/debian bookworm-backports main" | $sudo tee "$list" >/dev/null
            apt_fresh=0
        fi
        release=(-t bookworm-backports)
    fi
    [ "$apt_fresh" = 1 ] || apt_update
    apt_install "${release[@]}" "$@"
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
    echo "bootstrap: compiling the zh_CN.UTF-8 locale (kept: the Windows tests run in it)"
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
        echo "bootstrap: registering qemu-i386 for 32-bit x86 programs with binfmt_misc (until the next boot)"
        echo ":qemu-i386:M::$magic:$mask:/usr/bin/qemu-i386:F" | $sudo tee "$binfmt/register" >/dev/null
    fi
    ia32_runs || echo "bootstrap: 32-bit programs still cannot run here; the 32-bit Windows tests will be skipped" >&2
fi

# The Windows programs parse HTML documents with gumbo cross-built from
# Debian's source package gumbo-parser (cmake/html_parser.cmake compiles it
# into the build folder), fetched like the others. Where the archive does not
# offer it, the Windows build reads HTML with the viewer's own bounded
# tokenizer: a failed fetch is reported and tolerated, and tried again a day
# later (the marker file records when), so that the runs between do not each
# fetch the source indexes for nothing.
if ! apt_source_complete "$deps_cache" gumbo-parser; then
    marker=$deps_cache/gumbo-parser.unavailable
    if [ -z "$(find "$marker" -mmin -1440 2>/dev/null)" ]; then
        echo "bootstrap: fetching the source package gumbo-parser into $deps_cache"
        prepare_cache
        if apt_fetch_source "$deps_cache" gumbo-parser; then
            rm -f "$marker"
        else
            date -u '+%F %T UTC' >"$marker"
            echo "bootstrap: the source package gumbo-parser could not be fetched (tried again a day later, or" \
                "at once without $marker); the Windows build reads HTML documents with its own tokenizer" >&2
        fi
    fi
fi
