# The end-to-end run's last part, sourced by tests/wine/e2e.sh with its
# helpers and variables: the wizard on screens of other DPIs, and the 32-bit
# programs on 64-bit Windows 10.
#
# - At 120 and 192 dpi, in copies of the fresh 32-bit prefix: one pass through
#   the wizard, every page photographed and its layout checked at the scale.
# - At 144 dpi in a 64-bit prefix set to Windows 10 (WoW64): the wizard with a
#   component unticked and another folder typed (after Hangul, which GBK
#   cannot hold), a close request while it
#   installs (the finish page must follow), the package's .reg keys and its
#   registry values both in the 32-bit view (Wow6432Node), and the
#   uninstaller, its button pressed at its scaled place.

set_prefix_dpi() {  # DPI: the screen's DPI of WINEPREFIX, as Windows keeps it
    "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    "$wine" reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' /v LogPixels \
        /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    wineserver -w
}

# One wizard pass: each page photographed (as scaled-DPI-PAGE) and checked
# against its table at the DPI, Next pressed at its scaled place; choices and
# the close request as the globals scaled_choices and close_while_installing
# say.
on_scaled_step() {
    [ -f "$layout" ] || return 0
    local pages page frame
    pages=$(grep -c '^form TfrmParent page ' "$layout" || true)
    [ "$pages" -gt "$pages_seen" ] || return 0
    local fresh=()
    while read -r page; do fresh+=("$page"); done < <(grep '^form TfrmParent page ' "$layout" |
        sed -n "$((pages_seen + 1)),${pages}p" | awk '{print $4}')
    wizard_pages+=("${fresh[@]}")
    pages_seen=$pages
    page=${wizard_pages[-1]}
    sleep 1
    frame=$(frame_window)
    [ -n "$frame" ] || fail "no wizard window of $(frame_size) at $dpi dpi"
    for shown in "${fresh[@]}"; do
        python3 "$here/layout_check.py" "$layout" "$shown" || fail "the $shown page does not match its layout at $dpi dpi"
    done
    if [ -n "${scaled_choices:-}" ]; then
        case "$page" in
        TfrmSelComponent) click_at "$frame" "$(px $((16 + 1 + 8)))" "$(px $((95 + 1 + 2 * 18 + 9)))" ;;  # "fonts"
        TfrmSelectInstallDir)
            click_at "$frame" "$(px $((33 + 100)))" "$(px $((148 + 10)))"
            # Hangul typed in the middle: GBK cannot hold it, so the edit
            # refuses it and the folder is C:\DemoApp as if it was never
            # typed (checked once the installation has ended).
            xdotool key End shift+Home
            xdotool type --delay 50 'C:\Demo'
            xdotool type --delay 50 '한글'
            sleep 0.5
            shot "scaled-$dpi-hangul"
            xdotool type --delay 50 'App'
            ;;
        esac
    fi
    shot "scaled-$dpi-$page"
    case "$page" in
    TfrmBeginIns)
        if [ -n "${close_while_installing:-}" ]; then
            xdotool windowactivate --sync "$frame" 2>/dev/null || true
            xdotool key alt+F4
            closes_sent=$((closes_sent + 1))
        fi
        ;;
    TfrmEndIns) click_at "$frame" "$(px $((424 + 37)))" "$(px $((304 + 11)))" ;;
    *) click_at "$frame" "$(px $((336 + 37)))" "$(px $((304 + 11)))" ;;
    esac
}
scaled_pass() {
    rm -f "$layout"
    pages_seen=0
    wizard_pages=()
    closes_sent=0
    cp "$out/wizard-setup.exe" "$WINEPREFIX/drive_c/wizard-setup.exe"
    SETUP_TEST_PROGRESS_PAUSE=150 SETUP_LAYOUT_FILE="Z:${layout//\//\\}" \
        "$wine" 'C:\wizard-setup.exe' >/dev/null 2>&1 &
    watch_windows on_install_window on_scaled_step
    [ "${wizard_pages[*]}" = "$all_pages" ] || fail "at $dpi dpi the wizard showed the pages ${wizard_pages[*]}"
    echo "   all pages in place at $dpi dpi"
}

for dpi in 120 192; do
    echo "== the wizard at $dpi dpi under Wine"
    wineserver -k 2>/dev/null || true
    export WINEPREFIX="$out/prefix-dpi"
    rm -rf "$WINEPREFIX"
    cp -a "$out/prefix-pristine" "$WINEPREFIX"
    set_prefix_dpi "$dpi"
    scaled_pass
done
rm -rf "$out/prefix-dpi" "$out/prefix-pristine"

echo "== the 32-bit programs in a 64-bit Wine prefix set to Windows 10, at 144 dpi"
wine_session_stop
wine_session_start win64 "$out/home64" || fail "no virtual screen for 64-bit Wine"
export WINEPREFIX="$out/prefix64"
wine_prefix_create "$WINEPREFIX"
"$wine" winecfg /v win10 >/dev/null 2>&1 || fail "winecfg could not set Windows 10"
dpi=144
set_prefix_dpi "$dpi"
wow='HKLM\SOFTWARE\Wow6432Node'
scaled_choices=yes
close_while_installing=yes
scaled_pass
scaled_choices=""
close_while_installing=""
[ "$closes_sent" = 1 ] || fail "no close request was sent while the wizard installed on 64-bit Windows"
[ -f "$WINEPREFIX/drive_c/DemoApp/demo.exe" ] ||
    fail "the typed folder was not used on 64-bit Windows (or the Hangul typed into it was kept)"
[ ! -e "$WINEPREFIX/drive_c/windows/fonts/demo.fon" ] || fail "the unticked component was installed on 64-bit Windows"
# The .reg file's key and the package's registry values, in the one view a
# 32-bit program sees: the 64-bit view holds neither.
"$wine" reg query "$wow\\演示" /v 版本 2>/dev/null | grep -q 0xa || fail "the registry value is not in the 32-bit view"
"$wine" reg query "$wow\\演示\\脚本" >/dev/null 2>&1 || fail "the .reg file's key is not in the 32-bit view"
"$wine" reg query 'HKLM\SOFTWARE\演示' >/dev/null 2>&1 && fail "the package wrote into the 64-bit view"
"$wine" reg query "$wow\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F" \
    >/dev/null 2>&1 || fail "no Uninstall entry in the 32-bit view"
echo "   the .reg keys and the registry values are both under Wow6432Node"

echo "== uninstall.exe under WoW64 at 144 dpi"
pressed=""
on_uninstall_window() {
    if [ -z "$pressed" ]; then
        pressed=yes
        xdotool mousemove --window "$1" "$(px $((340 + 37)))" "$(px $((302 + 11)))" click 1
        sleep 1
        shot removing-144
    else
        press_return "$1"
    fi
}
"$wine" 'C:\DemoApp\UnInstall 演示程序.exe' >/dev/null 2>&1 &
watch_windows on_uninstall_window
[ ! -e "$WINEPREFIX/drive_c/DemoApp/demo.exe" ] || fail "the uninstaller left demo.exe on 64-bit Windows"
echo "   removed under WoW64"
