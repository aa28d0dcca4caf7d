# shellcheck shell=bash
# Shell functions for running the Windows build under Wine and Xvfb; source this file.
#   wine_prefix_open DIR         the 64-bit WINEPREFIX in DIR (exported), made and readied when it
#                                is not yet (WINE_PREFIX_SETTINGS): the program's fonts are
#                                substituted by DejaVu Sans, and Wine's menu builder is off
#   wine_prefix_new DIR          the same in a fresh DIR (anything there before is removed)
#   wine_prefix_end              waits for the prefix's wineserver to end
#   wine_start_program EXE ARGS  starts EXE under Wine in the background; its pid in WINE_PROGRAM_PID
#   wine_find_window NAME [S]    X window id of the first window named NAME, waiting up to S seconds
#   wine_click_tray [S] [B]      clicks the first icon of Wine's tray (its own window or trayer)
#                                with mouse button B (1, the left one, by default)
#   wine_click_first_menu_entry NAME [FILE]  opens the tray menu and clicks its first entry
#   wine_screenshot WINDOW FILE  saves the X window WINDOW as a PNG
#   wait_for S COMMAND...        waits up to S seconds for COMMAND to succeed
# Needs DISPLAY (xvfb-run), xdotool and ImageMagick's import.

export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# Wine's menu builder would write .desktop files and icons into the real home folder, from the
# first boot of a prefix on; it is off in every Wine process started from here.
case "$WINEDLLOVERRIDES" in
*winemenubuilder*) ;;
*) WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d" ;;
esac

# The prefix's own settings, kept in its registry for whatever else runs there later: the menu
# builder stays off without the variable too, and the program's texts get a sans font as on
# Windows: Segoe UI (its knobs) and the dialog font Qt takes from the system (MS Shell Dlg, which
# Wine maps to Tahoma) are DejaVu Sans, as none of them is in the prefix.
WINE_PREFIX_SETTINGS='REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\DllOverrides]
"winemenubuilder.exe"=""

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"Segoe UI"="DejaVu Sans"
"MS Shell Dlg"="DejaVu Sans"
"MS Shell Dlg 2"="DejaVu Sans"
"Tahoma"="DejaVu Sans"
'

wine_prefix_open() {
    export WINEPREFIX=$1 WINEARCH=win64
    local marker=$WINEPREFIX/.orvelin-prefix-ready settings
    # The marker holds the settings applied, so a prefix readied with older ones gets these.
    [ "$(cat "$marker" 2>/dev/null)" = "$(printf '%s' "$WINE_PREFIX_SETTINGS")" ] && return 0
    mkdir -p "$WINEPREFIX"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        wineboot -i >/dev/null 2>&1 || return 1
    fi
    settings=$WINEPREFIX/orvelin-prefix.reg
    printf '%s' "$WINE_PREFIX_SETTINGS" | sed 's/$/\r/' >"$settings"
    wine regedit /S "$(winepath -w "$settings" 2>/dev/null)" >/dev/null 2>&1 || return 1
    rm -f "$settings"
    wineserver -w
    printf '%s' "$WINE_PREFIX_SETTINGS" >"$marker"
}

wine_prefix_new() {
    rm -rf "$1"
    wine_prefix_open "$1"
}

wine_prefix_end() {
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
}

wine_start_program() {
    wine "$@" >"${WINE_PROGRAM_LOG:-/dev/null}" 2>&1 &
    WINE_PROGRAM_PID=$!
}

wine_find_window() {
    local name=$1 seconds=${2:-30} id
    local until=$((SECONDS + seconds))
    while [ $SECONDS -lt $until ]; do
        id=$(xdotool search --onlyvisible --name "^$name\$" 2>/dev/null | head -n1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.5
    done
    return 1
}

wine_click_tray() {
    local seconds=${1:-30} button=${2:-1} tray x y
    # Without an X tray Wine shows its own tray window; with trayer its icons are trayer's children.
    tray=$(wine_find_window "Wine System Tray" "$seconds") || tray=$(wine_find_window panel 1) || return 1
    eval "$(xdotool getwindowgeometry --shell "$tray")"
    x=$((X + 8)); y=$((Y + HEIGHT / 2))
    [ "$WIDTH" -gt 16 ] || x=$((X + WIDTH / 2))
    # Wine takes a press only over a pointer it has seen arrive there.
    xdotool mousemove "$x" "$y"
    sleep 0.3
    xdotool mousedown "$button"
    sleep 0.1
    xdotool mouseup "$button"
}

# Opens the tray icon's context menu (the popup window named NAME, after the program's executable)
# and clicks its first entry. A right click now and then opens no menu under Wine, so up to three
# are tried. With FILE the screen with the open menu is saved there first.
wine_click_first_menu_entry() {
    local name=$1 shot=${2:-} menu="" X Y WIDTH HEIGHT SCREEN WINDOW
    for _ in 1 2 3; do
        wine_click_tray 5 3 || return 1
        menu=$(wine_find_window "$name" 5) && break
    done
    [ -n "$menu" ] || return 1
    [ -z "$shot" ] || import -window root "$shot" 2>/dev/null || true
    # shellcheck disable=SC2034 # all set by getwindowgeometry --shell
    eval "$(xdotool getwindowgeometry --shell "$menu")"
    xdotool mousemove $((X + WIDTH / 3)) $((Y + 13)) sleep 0.3 click 1
}

wine_screenshot() {
    import -window "$1" "$2"
}

wait_for() {
    local seconds=$1
    shift
    local until=$((SECONDS + seconds))
    until "$@"; do
        [ $SECONDS -ge $until ] && return 1
        sleep 0.05
    done
}

# Waits up to SECONDS for the background program PID (a child of this shell) to end with status 0;
# otherwise returns 1 with the reason in WINE_EXIT_WHY ("did not end within 20 s", "ended with
# status 3"). Not to be called in a subshell, which could not wait for the program.
wine_clean_exit() {
    local pid=$1 seconds=$2 status
    WINE_EXIT_WHY=
    if ! wait_for "$seconds" eval "! kill -0 $pid 2>/dev/null"; then
        WINE_EXIT_WHY="did not end within $seconds s"
        return 1
    fi
    wait "$pid"
    status=$?
    [ $status -eq 0 ] && return 0
    WINE_EXIT_WHY="ended with status $status"
    return 1
}
