#!/usr/bin/env bash
# End-to-end run of the Windows programs under Wine, checked with tools that
# are not ours: makesetup.exe builds a package onto setup.exe, setup.exe
# installs it (relaunching itself as Wine performs "runas"), `wine reg query`,
# the files under drive_c and lnkinfo check the result; then uninstall.exe
# runs, its button is pressed through the window, and everything must be gone.
# Screenshots of every window go to the output folder.
#
#   tests/wine/e2e.sh BIN_DIR OUT_DIR     (BIN_DIR holds setup.exe, uninstall.exe, makesetup.exe)
#
# scripts/test.sh runs it when SETUP_WINE_E2E=1. On hosts whose kernel cannot
# run 32-bit code only the 64-bit build of the programs can be run.
set -euo pipefail
bin=$(cd "$1" && pwd)
out=$(mkdir -p "$2" && cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)

# Wine links the profile folders (Desktop, Documents) to $HOME: a home of
# the run's own keeps the user's files out of it.
export HOME="$out/home"
mkdir -p "$HOME"
export WINEPREFIX="$out/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LANG=C.UTF-8

display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
trap 'wineserver -k 2>/dev/null || true; kill $xvfb 2>/dev/null || true' EXIT
export DISPLAY=$display
sleep 1

fail() { echo "FAIL: $*"; exit 1; }
# Whether a command's whole output holds the text (no early exit of grep in a
# pipe, which pipefail would count against the command).
says() {
    local text=$1
    shift
    local output
    output=$("$@" 2>/dev/null || true)
    grep -qF -- "$text" <<<"$output"
}
shot() { import -window root "$out/$1.png"; }
# Waits until a window whose title contains the text is shown; prints its id.
wait_window() {
    for _ in $(seq 1 100); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.2
    done
    return 1
}

if says x86-64 file "$bin/setup.exe"; then
    export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
    wine=/usr/lib/wine/wine64
else
    export WINEARCH=win32
    wine=wine
fi

rm -rf "$WINEPREFIX"
"$wine" wineboot -i >/dev/null 2>&1 || true
for font in SimSun 宋体 Tahoma "MS Shell Dlg" "MS Shell Dlg 2"; do
    "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$font" /d "WenQuanYi Micro Hei" /f >/dev/null 2>&1
done
wineserver -w

echo "== makesetup.exe builds the package under Wine"
cp -r "$here/e2e-project" "$out/project"
(cd "$out/project" && "$wine" "$bin/makesetup.exe" build project.toml -o 'C:\e2e-setup.exe' 2>&1 | tail -1)
wineserver -w
[ -f "$WINEPREFIX/drive_c/e2e-setup.exe" ] || fail "makesetup.exe wrote no package"

echo "== setup.exe installs"
"$wine" 'C:\e2e-setup.exe' >/dev/null 2>&1 &
wait_window "初始化" >/dev/null && shot 1-loading
wait_window "正在安装" >/dev/null && shot 2-quiet || true
wineserver -w

dir="$WINEPREFIX/drive_c/Program Files/端到端测试"
[ -f "$dir/readme.txt" ] || fail "readme.txt not installed"
cmp "$dir/docs/说明.txt" "$here/e2e-project/files/docs/说明.txt" || fail "说明.txt differs"
says 0xa "$wine" reg query 'HKLM\SOFTWARE\端到端测试' /v 版本 || fail "registry value 版本 missing"
says UnInstall "$wine" reg query \
    'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\0B1C2D3E-4F50-4617-8293-A4B5C6D7E8F9' \
    /v UninstallString || fail "no Uninstall entry"
link=$(find -L "$WINEPREFIX/drive_c" -name '说明.lnk' | head -1)
[ -n "$link" ] || fail "no Start-menu link"
says readme.txt lnkinfo "$link" || fail "the link does not point at readme.txt"
url=$(find -L "$WINEPREFIX/drive_c/users" -path '*Desktop*' -name '网站.url' | head -1)
[ -n "$url" ] && grep -q 'URL=http://www.example.com/' "$url" || fail "no internet shortcut"

echo "== uninstall.exe removes it"
"$wine" "C:\\Program Files\\端到端测试\\UnInstall 端到端测试.exe" >/dev/null 2>&1 &
window=$(wait_window "卸载程序") || fail "no uninstaller window"
sleep 1
shot 3-uninstaller
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove $((X + 340 + 37)) $((Y + 302 + 11)) click 1
sleep 2
shot 4-uninstalled
xdotool key Return
wineserver -w
[ ! -f "$dir/readme.txt" ] || fail "readme.txt still there"
"$wine" reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\0B1C2D3E-4F50-4617-8293-A4B5C6D7E8F9' \
    >/dev/null 2>&1 && fail "the Uninstall entry is still there"
echo "e2e: 1 passed, 0 failed (screenshots in $out)"
