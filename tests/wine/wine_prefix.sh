# The Wine machine the Windows programs run on outside the unit tests,
# sourced by tests/wine/e2e.sh and bench/peer.sh, so that the programs are
# measured on the machine they are tested on:
#
#   wine_session_start win32|win64 HOME
#       the environment (architecture, locale, no debug output, no menu
#       builder), a home of the run's own, a virtual screen and a window
#       manager; sets `wine` to the loader that runs programs of the
#       architecture. Fails when the screen does not start.
#   wine_prefix_create PREFIX
#       a fresh prefix at PREFIX (whatever was there is removed), set up for
#       the programs, its server ended.
#   wine_prefix_ready PREFIX
#       true when PREFIX was made by wine_prefix_create of this very set-up.
#   wine_session_stop
#       ends the server of WINEPREFIX, the window manager and the screen;
#       for the caller's EXIT trap.
#
# WINEPREFIX is the caller's to set.

wine_prefix_recipe=$(md5sum "${BASH_SOURCE[0]}" | cut -d' ' -f1)
wine_xvfb=""
wine_wm=""

wine_session_start() {
    local arch=$1
    case "$arch" in
    win64)
        # The 64-bit loader is called directly: Debian's wine script prefers
        # the 32-bit one whenever it is installed.
        export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
        wine=/usr/lib/wine/wine64
        ;;
    win32)
        export WINEARCH=win32
        unset WINELOADER
        wine=wine
        ;;
    *)
        echo "wine_session_start: the architecture is win32 or win64, not $arch" >&2
        return 2
        ;;
    esac
    export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    # The Chinese code pages (936) and China's time zone, as the simulated
    # machine has them by default (scripts/bootstrap.sh makes the locale).
    if locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
        export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
    fi
    export TZ=Asia/Shanghai
    # Wine links the profile folders (Desktop, Documents) to the same folders
    # of $HOME, or all of them to $HOME itself where those are missing: a
    # home of the run's own keeps the user's files out of it.
    export HOME=$2
    mkdir -p "$HOME"/{Desktop,Documents,Downloads,Music,Pictures,Videos,Templates}

    # The screen takes the first free display number and writes it out once
    # it accepts clients, so that runs side by side never share one.
    local number_file
    number_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 3>"$number_file" >/dev/null 2>&1 &
    wine_xvfb=$!
    for _ in $(seq 1 100); do
        [ -s "$number_file" ] && break
        kill -0 "$wine_xvfb" 2>/dev/null || break
        sleep 0.1
    done
    if [ ! -s "$number_file" ]; then
        rm -f "$number_file"
        echo "wine_session_start: Xvfb did not start" >&2
        return 1
    fi
    export DISPLAY=:$(tr -dc 0-9 <"$number_file")
    rm -f "$number_file"
    # A desktop has a window manager: it draws the title bars a user sees,
    # and without one Wine waits two seconds for every window it hides to be
    # withdrawn, which no user ever sees.
    if command -v openbox >/dev/null; then
        openbox >/dev/null 2>&1 &
        wine_wm=$!
    fi
}

wine_prefix_create() {
    local prefix=$1 font
    rm -rf "$prefix"
    WINEPREFIX=$prefix "$wine" wineboot -i >/dev/null 2>&1 || true
    # The programs' Chinese texts and Wine's own dialogs are drawn with a CJK
    # font the host has.
    for font in SimSun 宋体 Tahoma "MS Shell Dlg" "MS Shell Dlg 2"; do
        WINEPREFIX=$prefix "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$font" \
            /d "WenQuanYi Micro Hei" /f >/dev/null 2>&1
    done
    # As on Windows, text files open in Notepad (Wine leaves .txt to its menu
    # builder, which is switched off here).
    WINEPREFIX=$prefix "$wine" reg add 'HKCR\.txt' /ve /d txtfile /f >/dev/null 2>&1
    WINEPREFIX=$prefix wineserver -w
    echo "$wine_prefix_recipe" >"$prefix/.ready"
}

wine_prefix_ready() {
    [ "$(cat "$1/.ready" 2>/dev/null)" = "$wine_prefix_recipe" ]
}

wine_session_stop() {
    wineserver -k 2>/dev/null || true
    [ -z "$wine_wm" ] || kill "$wine_wm" 2>/dev/null || true
    [ -z "$wine_xvfb" ] || kill "$wine_xvfb" 2>/dev/null || true
    wine_wm=""
    wine_xvfb=""
}
