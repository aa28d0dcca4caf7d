#!/usr/bin/env bash
# The Windows twin of run.sh: builds the Windows program with build-windows.sh, then runs the
# emulated device (KA2 unless a model is named: KA1, KA2, KA2SE, KV or a model code) as
# orvelin-emulator.exe and the program from its portable ZIP against it, both under Wine in a
# private prefix (build-windows/wine-run, readied once for the relay driver). Without a display
# both run on Xvfb. A click on the tray icon brings up the main window; its screenshot is saved to
# build-windows/mainwindow.png and its title printed. On a terminal the emulator then takes
# commands (state, unplug, plug 18, asio-status 0 256 0 0 1) while the program runs; its request
# log is written to build-windows/emulator-requests.json. quit, Ctrl-D, Ctrl-C or the program's own
# Quit end the run: the emulator quits (the device goes), the program and the prefix's wineserver
# end. One run at a time per build folder: a second one says that a panel is already running.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ORVELIN_WINDOWS_BUILD:-$root/build-windows}

# shellcheck source=scripts/run-lib.sh
. "$root/scripts/run-lib.sh"
run_model "${1:-}"

# A second run would rebuild the program under the running one and end it with the prefix's
# wineserver; the lock is held until this run has ended everything it started (what it starts
# does not inherit it).
mkdir -p "$build"
build=$(cd "$build" && pwd)
exec 9>"$build/run-windows.lock"
if ! flock -n 9; then
    echo "A panel is already running from $0 in $build; this run leaves it and its log alone." >&2
    exit 1
fi

ORVELIN_WINDOWS_BUILD=$build "$root/scripts/build-windows.sh" 9>&-
# shellcheck source=scripts/wine-lib.sh
. "$root/scripts/wine-lib.sh"

standin=$build/standin
program_log=$build/OrvelinDriver.log
requests=$build/emulator-requests.json
screenshot=$build/mainwindow.png
zip=$(find "$build" -maxdepth 1 -name 'OrvelinDriver-*-win64.zip' | sort | tail -n1)
[ -n "$zip" ] || { echo "no OrvelinDriver-*-win64.zip in $build" >&2; exit 1; }

# The program as a user unpacks it; unpacked again when the ZIP is newer.
app_root=$build/run-program
if [ ! -f "$app_root/.unpacked" ] || [ "$zip" -nt "$app_root/.unpacked" ]; then
    echo "Unpacking $(basename "$zip") into $app_root"
    rm -rf "$app_root"
    mkdir -p "$app_root"
    unzip -q "$zip" -d "$app_root"
    touch "$app_root/.unpacked"
fi
exe=$(find "$app_root" -name OrvelinDriver.exe | head -n1)
[ -n "$exe" ] || { echo "no OrvelinDriver.exe in $zip" >&2; exit 1; }

work=$(mktemp -d "$build/run.XXXXXX")
mkfifo "$work/commands"
emulator_pid=
program_pid=
xvfb_pid=
wine_log=
log_start=0
# This run's part of the program's log file in the prefix, copied out.
copy_log() { [ -n "$wine_log" ] && [ -f "$wine_log" ] && tail -c +"$((log_start + 1))" "$wine_log" >"$program_log" || true; }
cleanup() {
    local status=$?
    trap - EXIT INT TERM
    set +e
    console_end
    echo "Ending the run: the emulator, the program and the prefix's wineserver"
    # The emulator quits at its own command (the device goes with it); it may have quit already.
    if [ -n "$emulator_pid" ]; then
        kill -0 "$emulator_pid" 2>/dev/null && echo quit >&3 2>/dev/null
        for _ in $(seq 100); do kill -0 "$emulator_pid" 2>/dev/null || break; sleep 0.1; done
        kill "$emulator_pid" 2>/dev/null
        wait "$emulator_pid" 2>/dev/null
    fi
    exec 3>&- 2>/dev/null
    # Quit from the tray menu (its first entry) where the tray can be reached; else the
    # wineserver ends the program below.
    if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null &&
        wine_click_first_menu_entry OrvelinDriver 2>/dev/null; then
        for _ in $(seq 100); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
    fi
    [ -n "${WINEPREFIX:-}" ] && { wineserver -k >/dev/null 2>&1 || true; wineserver -w >/dev/null 2>&1 || true; }
    [ -n "$program_pid" ] && wait "$program_pid" 2>/dev/null
    copy_log
    stop_process "$xvfb_pid"
    rm -rf "$work"
    [ -n "$program_pid" ] && echo "Left in $build: OrvelinDriver.log, emulator-requests.json ($(wc -l <"$requests" 2>/dev/null || echo 0) requests)${screenshot_saved:+, mainwindow.png}."
    exit "$status"
}
trap cleanup EXIT
# Ctrl-C and a termination request are ordinary ways to end the run.
trap 'exit 0' INT TERM
screenshot_saved=

# Without a display everything runs on a virtual one (Xvfb); Wine then shows its own tray window.
if [ -z "${DISPLAY:-}" ]; then
    start_xvfb "$work"
fi

# The prefix is kept between runs (with the program's settings, like a real machine); it is made
# and readied for the relay driver once.
export WINEPREFIX=$build/wine-run WINEARCH=win64
[ -f "$WINEPREFIX/.orvelin-relay-ready" ] || echo "Readying the Wine prefix $WINEPREFIX (once; about a minute)"
wine_prefix_open "$WINEPREFIX" 9>&-
sh "$root/tests/win/prepare-relay-prefix.sh" "$standin" 9>&-
wine_log="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/OrvelinDriver/OrvelinDriver.log"

# The emulator's answers go to the terminal, its request log and the program's log to files.
rm -f "$requests"
echo "Starting the emulated device under Wine (model code $model)"
wine "$standin/orvelin-emulator.exe" --model "$model" --log "Z:${requests//\//\\}" \
    <"$work/commands" >"$work/emulator.out" 2>&1 9>&- &
emulator_pid=$!
exec 3>"$work/commands"
for _ in $(seq 300); do grep -q '^ready' "$work/emulator.out" && break; sleep 0.1; done
grep -q '^ready' "$work/emulator.out" || { cat "$work/emulator.out" >&2; echo "the emulator did not start" >&2; exit 1; }

# The program appends to its log file in the prefix.
[ -f "$wine_log" ] && log_start=$(stat -c %s "$wine_log")
wine "$exe" >"$work/program.out" 2>&1 9>&- &
program_pid=$!
echo "OrvelinDriver.exe started under Wine (pid $program_pid); its log: $program_log"

found=false
for _ in $(seq 300); do
    copy_log
    grep -aq 'Device found with PID:' "$program_log" 2>/dev/null && { found=true; break; }
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
done
if $found; then
    grep -a -m1 'Device found with PID:' "$program_log"
elif ! kill -0 "$program_pid" 2>/dev/null; then
    status=0
    wait "$program_pid" || status=$?
    program_pid=
    echo "OrvelinDriver.exe ended at once with status $status; Wine said:" >&2
    tail -n 20 "$work/program.out" >&2
    exit 1
else
    echo "No device found yet; the program keeps searching (see $program_log)."
fi

# The program starts in the tray; a click on its icon shows the main window.
window=
if wine_click_tray 20; then
    window=$(wine_find_window 'Orvelin .*' 10 || true)
fi
if [ -n "$window" ]; then
    sleep 1 # one meter refresh
    if wine_screenshot "$window" "$screenshot" 2>/dev/null; then
        echo "Main window \"$(xdotool getwindowname "$window")\" saved to $screenshot"
        screenshot_saved=1
    else
        echo "Main window \"$(xdotool getwindowname "$window")\" shown; no screenshot." >&2
    fi
else
    echo "No main window after a click on the tray icon." >&2
fi

emulator_console "$program_pid" OrvelinDriver.exe "$work/emulator.out" "$requests"
