#!/usr/bin/env bash
# Runs a Windows test executable under Wine in a 32-bit prefix owned by the
# build folder (never the user's ~/.wine). The prefix is made once, under a
# lock, so that tests started in parallel do not race to create it.
set -euo pipefail
exe=$1
shift
build_dir=${WINE_BUILD_DIR:-$(cd "$(dirname "$exe")" && pwd)}
while [ ! -f "$build_dir/CMakeCache.txt" ] && [ "$build_dir" != / ]; do
    build_dir=$(dirname "$build_dir")
done
export WINEPREFIX="$build_dir/wineprefix"
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if [ ! -f "$WINEPREFIX/.ready" ]; then
    (
        flock 9
        if [ ! -f "$WINEPREFIX/.ready" ]; then
            rm -rf "$WINEPREFIX"
            wineboot -i >/dev/null 2>&1 || true
            wineserver -w
            touch "$WINEPREFIX/.ready"
        fi
    ) 9>"$build_dir/.wineprefix.lock"
fi
exec wine "$exe" "$@"
