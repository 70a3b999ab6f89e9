#!/usr/bin/env bash
# Runs a Windows test executable under Wine in a prefix owned by the build
# folder (never the user's ~/.wine): wine-run.sh win32|win64 program args...
# The prefix is made once, under a lock, so that tests started in parallel do
# not race to create it.
set -euo pipefail
arch=$1
exe=$2
shift 2
build_dir=${WINE_BUILD_DIR:-$(cd "$(dirname "$exe")" && pwd)}
while [ ! -f "$build_dir/CMakeCache.txt" ] && [ "$build_dir" != / ]; do
    build_dir=$(dirname "$build_dir")
done
export WINEPREFIX="$build_dir/wineprefix"
export WINEARCH=$arch
# The 64-bit loader is called directly: Debian's wine script prefers the 32-bit
# one whenever it is installed, even where the kernel cannot run it.
if [ "$arch" = win64 ]; then
    loader=/usr/lib/wine/wine64
    export WINELOADER=$loader
else
    loader=wine
fi
# The Chinese code pages (936), as on the systems the programs are made for
# (scripts/bootstrap.sh makes the locale).
if locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
    export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if [ ! -f "$WINEPREFIX/.ready" ]; then
    (
        flock 9
        if [ ! -f "$WINEPREFIX/.ready" ]; then
            rm -rf "$WINEPREFIX"
            "$loader" wineboot -i >/dev/null 2>&1 || true
            wineserver -w
            touch "$WINEPREFIX/.ready"
        fi
    ) 9>"$build_dir/.wineprefix.lock"
fi
# A client that starts while the previous wineserver is shutting down is
# refused ("wine client error: ... recvmsg"); such a start is tried once more.
err=$(mktemp)
trap 'rm -f "$err"' EXIT
for attempt in 1 2; do
    status=0
    "$loader" "$exe" "$@" 2>"$err" || status=$?
    cat "$err" >&2
    if [ "$status" -ne 0 ] && [ "$attempt" = 1 ] && grep -q 'wine client error' "$err"; then
        sleep 2
        continue
    fi
    exit "$status"
done
