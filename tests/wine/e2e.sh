#!/usr/bin/env bash
# End-to-end run of the Windows programs under Wine, against the same run on
# the simulated machine.
#
#   tests/wine/e2e.sh WINDOWS_BUILD LINUX_BUILD OUT_DIR
#
# WINDOWS_BUILD is build/win32 (or build/win64): bin/ holds setup.exe,
# uninstall.exe and makesetup.exe, demo-programs/ the demo's real programs.
# LINUX_BUILD is build/linux. The demo project (examples/demo, with its
# stand-in programs replaced by real ones) is built by makesetup.exe under
# Wine onto setup.exe, and by the Linux makesetup onto the Linux setup
# program. Both install it with the interface switched off: in a Wine prefix
# of the run's own (32-bit for the 32-bit programs) and on a fresh simulated
# machine. Independent tools read the Wine result (`wine reg export`, lnkinfo,
# the files under drive_c); then both uninstall it, the uninstaller's button
# pressed through its window. What each machine holds of the product after
# the installation and after the removal must agree.
#
# Screenshots of every window the programs showed go to OUT_DIR/screens.
set -euo pipefail
win_build=$(cd "$1" && pwd)
linux_build=$(cd "$2" && pwd)
out=$(mkdir -p "$3" && cd "$3" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
bin=$win_build/bin

fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in Xvfb xdotool import lnkinfo python3 openssl osslsigncode; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/bootstrap.sh installs it)"
done

rm -rf "$out/prefix" "$out/home" "$out/prefix64" "$out/home64" "$out/screens" "$out/project" "$out/project-silent" "$out/sandbox"
mkdir -p "$out/screens"
# The Wine machine the benchmarks use too: a screen, a window manager, and a
# prefix of the run's own (32-bit for the 32-bit programs).
source "$here/wine_prefix.sh"
if file "$bin/setup.exe" | grep -q x86-64; then
    arch=win64
else
    arch=win32
fi
trap wine_session_stop EXIT
wine_session_start "$arch" "$out/home" || fail "no virtual screen for Wine"
export WINEPREFIX="$out/prefix"

echo "== a $WINEARCH Wine prefix ($WINEPREFIX)"
wine_prefix_create "$WINEPREFIX"
# A copy of the fresh machine for the run through the wizard's choices.
rm -rf "$out/prefix-fresh"
cp -a "$WINEPREFIX" "$out/prefix-fresh"
# And one for the runs at other DPIs.
rm -rf "$out/prefix-pristine"
cp -a "$WINEPREFIX" "$out/prefix-pristine"

# Screenshots: one per window title, in the order they appeared.
shots=0
shot() {
    shots=$((shots + 1))
    import -window root "$out/screens/$(printf %02d "$shots")-$1.png"
}
# Wine names each top-level window's class after its program; message boxes
# may have no title.
visible_windows() { xdotool search --onlyvisible --classname '\.exe$' 2>/dev/null || true; }
# Waits for the Wine programs to end, looking at every window meanwhile: each
# new one is photographed, then handled by the function named in $1 (which
# gets the window id and title).
watch_windows() {
    local handler=$1 each=${2:-} done_flag="$out/.done" seen=" " id title
    rm -f "$done_flag"
    local waiter=""
    for i in $(seq 1 1200); do
        # The wait for the programs' end starts once they have a window (or
        # after 20 s): started earlier, it could end before they begin.
        if [ -z "$waiter" ] && { [ "$seen" != " " ] || [ "$i" -ge 100 ]; }; then
            (wineserver -w; touch "$done_flag") &
            waiter=$!
        fi
        [ -f "$done_flag" ] && break
        # A window that has gone is forgotten: Wine may give its X id to the
        # next one.
        local visible=" $(visible_windows | tr '\n' ' ')" still=" "
        for id in $seen; do
            case "$visible" in *" $id "*) still="$still$id " ;; esac
        done
        seen=$still
        for id in $visible; do
            case "$seen" in *" $id "*) continue ;; esac
            title=$(xdotool getwindowname "$id" 2>/dev/null || true)
            [ -n "$title" ] || title=untitled
            seen="$seen$id "
            echo "   window: $title"
            sleep 1
            shot "$(tr ' /' '__' <<<"$title")"
            "$handler" "$id" "$title"
        done
        [ -z "$each" ] || "$each"
        sleep 0.2
    done
    [ -f "$done_flag" ] || { kill "$waiter" 2>/dev/null; fail "the programs did not end within 4 minutes (windows seen: $seen)"; }
    wait "$waiter" 2>/dev/null || true
}
# The wizard's tables are in 96-dpi units; the windows are scaled by the
# prefix's DPI.
dpi=96
px() { echo $((($1 * dpi + 48) / 96)); }
frame_size() { echo "$(px 508)x$(px 331)"; }
press_return() {
    xdotool windowactivate --sync "$1" 2>/dev/null || true
    xdotool key Return
}

echo "== the demo project, with real programs in place of its stand-ins"
cp -r "$source_dir/examples/demo" "$out/project"
cp "$win_build/demo-programs/demo.exe" "$out/project/files/demo.exe"
cp "$win_build/demo-programs/demo.dll" "$out/project/files/lib/demo.dll"
cp "$win_build/demo-programs/rtsetup.exe" "$out/project/components/runtime/rtsetup.exe"

echo "== makesetup.exe builds the package under Wine"
(cd "$out/project" && "$wine" "$bin/makesetup.exe" build project.toml -o 'C:\demo-setup.exe' \
    --set project.Displayed=false 2>&1 | tail -1)
wineserver -w
package="$WINEPREFIX/drive_c/demo-setup.exe"
[ -f "$package" ] || fail "makesetup.exe wrote no package"
"$linux_build/bin/makesetup" build "$out/project/project.toml" -o "$out/demo-setup" \
    --set project.Displayed=false >/dev/null
# Both makers packed the same project: only the programs (the setup program
# in front, the uninstaller inside) and so the offsets differ.
packed() {
    "$linux_build/bin/makesetup" inspect "$1" | tail -n +2 |
        sed -E -e 's/ [0-9]+-[0-9]+ / /' -e 's/^(  uninstaller) +[0-9]+ */\1 /'
}
diff <(packed "$package") <(packed "$out/demo-setup") >&2 ||
    fail "makesetup.exe and the Linux makesetup packed the project differently"

echo "== setup.exe installs under Wine"
# The product's program and read-me open when the installation ends.
on_install_window() {
    case "$2" in
    记事本) xdotool windowactivate --sync "$1" 2>/dev/null || true; xdotool key n ;;  # "save changes?": no
    *记事本*) xdotool windowactivate --sync "$1" 2>/dev/null || true; xdotool key alt+F4 ;;
    演示程序) press_return "$1" ;;
    # The wizard's own boxes carry its caption; the wizard and the background
    # window behind it are larger.
    *安装向导)
        local size
        size=$(xdotool getwindowgeometry "$1" | sed -n 's/.*Geometry: //p')
        case "$size" in
        "$(frame_size)" | [0-9][0-9][0-9][0-9]x*) ;;
        *) press_return "$1" ;;
        esac
        ;;
    esac
}
"$wine" 'C:\demo-setup.exe' >/dev/null 2>&1 &
watch_windows on_install_window

echo "== the Linux setup installs on the simulated machine"
root=$out/sandbox
mkdir -p "$root/C/Users/Demo/Downloads"
printf '[Machine]\nOsVersion=10.0\nUser=Demo\n' >"$root/machine.ini"
cp "$out/demo-setup" "$root/C/demo-setup"
SANDBOX_ROOT="$root" "$root/C/demo-setup"
wait_sandbox_exits() {
    for _ in $(seq 1 100); do
        [ "$(grep -c '"effect":"ProcessExit"' "$root/effects.jsonl" 2>/dev/null)" -ge "$1" ] && return
        sleep 0.1
    done
    fail "the simulated machine's programs did not end"
}
wait_sandbox_exits 1

# What each machine holds of the product, in one comparable listing.
uninstall_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F'
keys=(--key 'HKLM\SOFTWARE\演示' --key 'HKCU\Software\演示' --key "$uninstall_key" --key 'HKLM\SOFTWARE\演示运行库')
manifest() {  # DRIVE USER REGFILE...
    local drive=$1 user=$2
    shift 2
    local regs=()
    for reg in "$@"; do regs+=(--reg "$reg"); done
    # The uninstaller is each platform's own program, and its record holds
    # the user's folders by name: their contents are not compared.
    python3 "$here/manifest.py" --drive "$drive" --user "$user" --select 演示 --select demoapp --select demotools \
        --select windows/fonts/demo.fon "${regs[@]}" "${keys[@]}" |
        sed -E -e 's#^(file .*/uninstall 演示程序\.(exe|log)) .*#\1#' \
            -e 's#(\| RecordSHA256 \| sz) [0-9a-f]+$#\1 (the record'"'"'s digest)#'
}
wine_manifest() {
    local regs=() n=0
    for key in 'HKLM\SOFTWARE' 'HKCU\Software'; do
        n=$((n + 1))
        "$wine" reg export "$key" "C:\\export$n.reg" /y >/dev/null 2>&1 || fail "wine reg export $key"
        regs+=("$WINEPREFIX/drive_c/export$n.reg")
    done
    wineserver -w
    manifest "$WINEPREFIX/drive_c" "$(id -un)" "${regs[@]}"
    rm -f "${regs[@]}"
}
compare() {  # STAGE
    manifest "$root/C" Demo "$root/registry.reg" >"$out/sandbox-$1.txt"
    wine_manifest >"$out/wine-$1.txt"
    if ! diff -u "$out/sandbox-$1.txt" "$out/wine-$1.txt" >"$out/$1.diff"; then
        cat "$out/$1.diff" >&2
        fail "the simulated machine and Wine differ $2 (< simulated, > Wine)"
    fi
    echo "   the simulated machine and Wine agree $2: $(wc -l <"$out/wine-$1.txt") lines ($out/wine-$1.txt)"
}

echo "== what the two machines hold after the installation"
compare installed "after the installation"
dir="$WINEPREFIX/drive_c/Program Files/演示程序"
# Independent readings of the Wine result.
for file in readme.txt docs/guide.txt docs/images/notes.txt; do
    cmp "$dir/$file" "$out/project/files/$file" || fail "$file differs from the project's"
done
cmp "$dir/demo.exe" "$out/project/files/demo.exe" || fail "demo.exe differs from the project's"
[ "$(TZ=Asia/Shanghai date -r "$dir/readme.txt" '+%F %T')" = "2024-03-05 13:14:16" ] ||
    fail "readme.txt does not carry the package's time"
"$wine" reg query 'HKLM\SOFTWARE\演示' /v 版本 2>/dev/null | grep -q 0xa || fail "reg query: 版本 is not 0xa"
# Console programs write in the console's code page (936).
"$wine" reg query "$uninstall_key" /v UninstallString 2>/dev/null | iconv -f GBK -t UTF-8 |
    grep -q 'UnInstall 演示程序.exe' ||
    fail "reg query: no UninstallString"
grep -q '演示程序.lnk' <(find -L "$HOME/Desktop" -name '*.lnk') || fail "no desktop link"
[ "$(grep -c . "$out/wine-installed.txt")" -ge 30 ] || fail "the listing is too short to mean anything"

echo "== uninstall.exe removes it under Wine"
# The uninstaller's window comes first; then its message boxes.
pressed=""
on_uninstall_window() {
    if [ -z "$pressed" ]; then
        pressed=yes
        # 卸载(&U): 75 x 22 at (340, 302) of the client area.
        xdotool mousemove --window "$1" $((340 + 37)) $((302 + 11)) click 1
        sleep 1
        shot removing
    else
        press_return "$1"
    fi
}
"$wine" 'C:\Program Files\演示程序\UnInstall 演示程序.exe' >/dev/null 2>&1 &
watch_windows on_uninstall_window

echo "== the Linux uninstaller removes it on the simulated machine"
SANDBOX_ROOT="$root" "$root/C/Program Files/演示程序/UnInstall 演示程序.exe"
wait_sandbox_exits 2

echo "== what the two machines hold after the removal"
# The uninstaller deletes itself through a batch file once it has ended; the
# simulated machine records the batch being started but does not run it.
uninstaller="$root/C/Program Files/演示程序/UnInstall 演示程序.exe"
[ -f "$uninstaller" ] || fail "the simulated machine ran the self-deletion batch"
grep -q '_deleteme' "$root/effects.jsonl" || fail "the simulated uninstaller started no self-deletion batch"
rm "$uninstaller"
compare removed "after the removal"
[ ! -e "$dir/UnInstall 演示程序.exe" ] || fail "the uninstaller did not delete itself under Wine"
[ -f "$dir/config/settings.ini" ] || fail "the file kept on uninstall is gone"
"$wine" reg query "$uninstall_key" >/dev/null 2>&1 && fail "the Uninstall entry is still there"

echo "== setup.exe installs the demo through the wizard under Wine, pressed by pointer clicks"
layout="$out/layout.txt"
rm -f "$layout"
# Without a sound device, Wine's media player playing the background music
# while the shell makes a missing quick-launch folder and pins a link there
# crashes inside Wine's shell32 (a read of freed memory in ILFindLastID); the
# wizard runs here without music until that is understood. The music loop is
# tested on the simulated machine.
cp -r "$out/project" "$out/project-silent"
sed -i '/^BakMusic = /d' "$out/project-silent/project.toml"
# The wizard runs on the test build of setup.exe, the one that writes the
# layout file SETUP_LAYOUT_FILE names; the shipped one ignores the variable.
[ -f "$win_build/test-programs/setup.exe" ] || fail "no test build of setup.exe in $win_build/test-programs"
"$linux_build/bin/makesetup" build "$out/project-silent/project.toml" -o "$out/wizard-setup.exe" \
    --stub "$win_build/test-programs/setup.exe" --uninstaller "$bin/uninstall.exe" >/dev/null
cp "$out/wizard-setup.exe" "$WINEPREFIX/drive_c/wizard-setup.exe"
pages_seen=0
wizard_pages=()
# Each time the wizard shows another page: a picture of it, its layout
# checked against the table, then Next (or Finish) pressed where it is drawn.
on_wizard_step() {
    [ -f "$layout" ] || return 0
    local pages page
    pages=$(grep -c '^form TfrmParent page ' "$layout" || true)
    [ "$pages" -gt "$pages_seen" ] || return 0
    # Pages the wizard passed by itself (the progress page of a quick
    # installation) are counted too; the last one is the one on screen.
    local fresh=()
    while read -r page; do fresh+=("$page"); done < <(grep '^form TfrmParent page ' "$layout" |
        sed -n "$((pages_seen + 1)),${pages}p" | awk '{print $4}')
    wizard_pages+=("${fresh[@]}")
    pages_seen=$pages
    page=${wizard_pages[-1]}
    sleep 1
    shot "wizard-$page"
    for shown in "${fresh[@]}"; do
        python3 "$here/layout_check.py" "$layout" "$shown" || fail "the $shown page does not match its layout"
    done
    local frame
    frame=$(frame_window)
    [ -n "$frame" ] || fail "no wizard window of $(frame_size)"
    case "$page" in
    TfrmBeginIns)
        # The installation runs (slowed down by the test-only pause); a close
        # request now is refused and the finish page follows.
        if [ -n "${close_while_installing:-}" ]; then
            xdotool windowactivate --sync "$frame" 2>/dev/null || true
            xdotool key alt+F4
            closes_sent=$((closes_sent + 1))
        fi
        ;;
    TfrmEndIns) xdotool mousemove --window "$frame" "$(px $((424 + 37)))" "$(px $((304 + 11)))" click 1 ;;  # 完成(&F)
    *) xdotool mousemove --window "$frame" "$(px $((336 + 37)))" "$(px $((304 + 11)))" click 1 ;;            # 下一步(&N)->
    esac
}
frame_window() {
    xdotool search --onlyvisible --name '^“演示程序”安装向导$' 2>/dev/null | while read -r w; do
        [ "$(xdotool getwindowgeometry "$w" | sed -n 's/.*Geometry: //p')" = "$(frame_size)" ] && echo "$w"
    done | head -1
}
closes_sent=0
close_while_installing=yes
SETUP_TEST_PROGRESS_PAUSE=150 SETUP_LAYOUT_FILE="$(winepath -w "$layout" 2>/dev/null)" \
    "$wine" 'C:\wizard-setup.exe' >/dev/null 2>&1 &
watch_windows on_install_window on_wizard_step
close_while_installing=""
[ "$closes_sent" = 1 ] || fail "no close request was sent while the wizard installed"
all_pages="TfrmFist TfrmProtocol TfrmSoftExplaion TfrmStartFolder TfrmSelComponent TfrmSelectInstallDir"
all_pages="$all_pages TfrmAddonsTask TfrmReadyIns TfrmBeginIns TfrmEndIns"
[ "${wizard_pages[*]}" = "$all_pages" ] || fail "the wizard showed the pages ${wizard_pages[*]}"
wine_manifest >"$out/wine-wizard.txt"
diff -u "$out/wine-installed.txt" "$out/wine-wizard.txt" >"$out/wizard.diff" ||
    { cat "$out/wizard.diff" >&2; fail "the wizard installed something else than the quiet run"; }
echo "   the wizard installed what the quiet run did: $(wc -l <"$out/wine-wizard.txt") lines"

echo "== unattended: a signed package, setup.exe /S /D= /LOG= and uninstall.exe /S under Wine"
# No window may appear in a silent run.
on_silent_window() { fail "a window appeared in a silent run: $2"; }
# Runs a Wine program in the background, watches for windows, and returns its
# exit status.
run_silently() {
    rm -f "$out/.status"
    ( set +e; "$wine" "$@" >/dev/null 2>&1; echo $? >"$out/.status" ) &
    local runner=$!
    watch_windows on_silent_window
    wait "$runner" 2>/dev/null || true
    cat "$out/.status"
}
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Setup Test' \
    -keyout "$out/key.pem" -out "$out/cert.pem" >/dev/null 2>&1 || fail "openssl made no test certificate"
"$linux_build/bin/makesetup" build "$out/project/project.toml" -o "$WINEPREFIX/drive_c/signed-setup.exe" \
    --stub "$bin/setup.exe" --uninstaller "$bin/uninstall.exe" --set project.Displayed=false \
    --sign "$out/cert.pem" "$out/key.pem" >/dev/null 2>&1 || fail "makesetup could not sign the package"
osslsigncode verify -CAfile "$out/cert.pem" "$WINEPREFIX/drive_c/signed-setup.exe" >/dev/null 2>&1 ||
    fail "osslsigncode does not accept the signed package"
# The wizard's installation goes first, silently.
status=$(run_silently 'C:\Program Files\演示程序\UnInstall 演示程序.exe' /S '/LOG=C:\uninstall-1.log')
[ "$status" = 0 ] || fail "uninstall.exe /S ended with $status"
[ ! -e "$dir/demo.exe" ] || fail "uninstall.exe /S left demo.exe"
status=$(run_silently 'C:\signed-setup.exe' /S '/LOG=C:\silent.log' '/D=C:\Silent' 'Apps\演示')
[ "$status" = 0 ] || fail "the signed setup.exe /S ended with $status"
silent_dir="$WINEPREFIX/drive_c/Silent Apps/演示"
cmp "$silent_dir/demo.exe" "$out/project/files/demo.exe" || fail "/D= did not install demo.exe there"
grep -q '结果：退出代码 0' "$WINEPREFIX/drive_c/silent.log" || fail "the log does not end with the result"
grep -q "文件：C:\\\\Silent Apps\\\\演示\\\\demo.exe" "$WINEPREFIX/drive_c/silent.log" ||
    fail "the log does not list demo.exe"
"$wine" reg query "$uninstall_key" /v QuietUninstallString 2>/dev/null | iconv -f GBK -t UTF-8 |
    grep -q 'UnInstall 演示程序.exe" /S' || fail "reg query: no QuietUninstallString"
status=$(run_silently 'C:\Silent Apps\演示\UnInstall 演示程序.exe' /S '/LOG=C:\uninstall-2.log')
[ "$status" = 0 ] || fail "the silent uninstall ended with $status"
[ ! -e "$silent_dir/demo.exe" ] || fail "the silent uninstall left demo.exe"
"$wine" reg query "$uninstall_key" >/dev/null 2>&1 && fail "the Uninstall entry is still there after /S"
echo "   signed, verified, installed and removed with no window"

echo "== the wizard's choices changed by a user, under Wine on a fresh machine and on the simulated machine"
# Every choice differs from the defaults: a Start-menu folder typed into the
# picker and confirmed with Enter, a component unticked, another
# installation folder typed, the desktop shortcut and the program start
# unticked. Both machines must then hold the same.
choices=(
    'click TfrmParent bNext' 'click TfrmParent bNext' 'click TfrmParent bNext'
    'click TfrmParent TfrmStartFolder.BitBtn1' 'type TfrmStartFolderInfo Edit1 DemoTools'
    'press TfrmStartFolderInfo Enter' 'click TfrmParent bNext'
    'untick TfrmParent TfrmSelComponent.List_Component fonts' 'click TfrmParent bNext'
    'type TfrmParent TfrmSelectInstallDir.Edit1 C:\DemoApp' 'click TfrmParent bNext'
    'untick TfrmParent TfrmAddonsTask.CheckBox1' 'click TfrmParent bNext' 'click TfrmParent bNext'
    'untick TfrmParent TfrmEndIns.CheckBox1'
)
choice_root=$out/sandbox-choices
rm -rf "$choice_root"
mkdir -p "$choice_root/C/Users/Demo/Downloads"
printf '[Machine]\nOsVersion=10.0\nUser=Demo\n' >"$choice_root/machine.ini"
printf '%s\n' "${choices[@]}" >"$choice_root/user.script"
"$linux_build/bin/makesetup" build "$out/project-silent/project.toml" -o "$choice_root/C/demo-setup" >/dev/null 2>&1
SANDBOX_ROOT="$choice_root" "$choice_root/C/demo-setup"
for _ in $(seq 1 100); do
    [ "$(grep -c '"effect":"ProcessExit"' "$choice_root/effects.jsonl" 2>/dev/null)" -ge 1 ] && break
    sleep 0.1
done
grep -q '"status":0' "$choice_root/effects.jsonl" || fail "the scripted choices did not install on the simulated machine"

wineserver -k 2>/dev/null || true
# The copy's profile folders are links into the same home: its desktop is
# emptied of the earlier runs' links.
export WINEPREFIX="$out/prefix-fresh"
rm -rf "${HOME:?}/Desktop"/*
cp "$out/wizard-setup.exe" "$WINEPREFIX/drive_c/wizard-setup.exe"
rm -f "$layout"
pages_seen=0
wizard_pages=()
click_at() { xdotool mousemove --window "$1" "$2" "$3" click 1; sleep 0.5; }
next_at() { click_at "$1" $((336 + 37)) $((304 + 11)); }
on_choice_step() {
    [ -f "$layout" ] || return 0
    local pages page frame picker
    pages=$(grep -c '^form TfrmParent page ' "$layout" || true)
    [ "$pages" -gt "$pages_seen" ] || return 0
    while read -r page; do wizard_pages+=("$page"); done < <(grep '^form TfrmParent page ' "$layout" |
        sed -n "$((pages_seen + 1)),${pages}p" | awk '{print $4}')
    pages_seen=$pages
    page=${wizard_pages[-1]}
    sleep 1
    frame=$(frame_window)
    [ -n "$frame" ] || fail "no wizard window of $(frame_size)"
    case "$page" in
    TfrmStartFolder)
        click_at "$frame" $((384 + 40)) $((134 + 11))  # 浏览(&B)...
        sleep 1
        picker=$(xdotool search --onlyvisible --name '^浏览文件夹$' 2>/dev/null | head -1)
        [ -n "$picker" ] || fail "the folder picker did not open"
        shot "choices-picker"
        python3 "$here/layout_check.py" "$layout" TfrmStartFolderInfo || fail "the folder picker does not match its layout"
        click_at "$picker" $((14 + 170)) $((42 + 10))
        xdotool key End shift+Home
        xdotool type --delay 50 DemoTools
        xdotool key Return
        sleep 1
        ;;
    TfrmSelComponent) click_at "$frame" $((16 + 1 + 8)) $((95 + 1 + 2 * 18 + 9)) ;;  # the box of "fonts"
    TfrmSelectInstallDir)
        click_at "$frame" $((33 + 100)) $((148 + 10))
        xdotool key End shift+Home
        xdotool type --delay 50 'C:\DemoApp'
        ;;
    TfrmAddonsTask) click_at "$frame" $((32 + 7)) $((136 + 8)) ;;  # 创建桌面快捷方式
    TfrmEndIns) click_at "$frame" $((168 + 7)) $((133 + 8)) ;;      # 运行“演示程序”
    esac
    shot "choices-$page"
    case "$page" in
    TfrmBeginIns) ;;
    TfrmEndIns) click_at "$frame" $((424 + 37)) $((304 + 11)) ;;
    *) next_at "$frame" ;;
    esac
}
SETUP_LAYOUT_FILE="$(winepath -w "$layout" 2>/dev/null)" "$wine" 'C:\wizard-setup.exe' >/dev/null 2>&1 &
watch_windows on_install_window on_choice_step
[ "${wizard_pages[*]}" = "$all_pages" ] || fail "the wizard showed the pages ${wizard_pages[*]}"
manifest "$choice_root/C" Demo "$choice_root/registry.reg" >"$out/sandbox-choices.txt"
wine_manifest >"$out/wine-choices.txt"
if ! diff -u "$out/sandbox-choices.txt" "$out/wine-choices.txt" >"$out/choices.diff"; then
    cat "$out/choices.diff" >&2
    fail "the simulated machine and Wine differ after the scripted choices (< simulated, > Wine)"
fi
grep -q '^file demoapp/demo.exe' "$out/wine-choices.txt" || fail "the typed installation folder was not used"
grep -q 'demo.fon' "$out/wine-choices.txt" && fail "the unticked component was installed"
grep -q 'desktop/演示程序.lnk' "$out/wine-choices.txt" && fail "the unticked desktop shortcut was made"
grep -q 'demotools/' "$out/wine-choices.txt" || fail "the Start-menu folder typed in the picker was not used"
echo "   the choices agree on both machines: $(wc -l <"$out/wine-choices.txt") lines"

source "$here/e2e_scaled.sh"

echo "e2e: passed; $shots screenshots in $out/screens"
ls "$out/screens"
