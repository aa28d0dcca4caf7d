#!/usr/bin/env bash
# Builds the program and starts the emulated device (KA2 unless a model is named: KA1, KA2,
# KA2SE, KV or a model code) and the control panel against it. Without a display both run under
# Xvfb and a screenshot of the main window is saved to build-run/mainwindow.png. On a terminal the
# emulator then takes commands (state, unplug, plug 18, fail 0xFFDC2084 refuse 3, quit) while the
# panel runs; its request log is written to build-run/emulator-requests.json.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ORVELIN_RUN_BUILD:-$root/build-run}

# shellcheck source=scripts/run-lib.sh
. "$root/scripts/run-lib.sh"
model=$(model_code "${1:-KA2}") || {
    echo "usage: $0 [KA1|KA2|KA2SE|KV|MODEL-CODE]" >&2
    exit 2
}

"$root/scripts/install-deps.sh"

if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR=/tmp/orvelin-xdg-$(id -u)
    mkdir -p "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    export XDG_RUNTIME_DIR
fi

cmake -G Ninja -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DORVELIN_BENCH=OFF >/dev/null
ninja -C "$build" -j"${ORVELIN_JOBS:-2}" orvelin-emulator OrvelinDriver

# The program and the emulator meet in the runtime folder; the emulator's answers go to the
# terminal, its request log and the program's debug log to files.
work=$(mktemp -d)
program_log=$build/OrvelinDriver.log
requests=$build/emulator-requests.json
screenshot=$build/mainwindow.png
mkfifo "$work/commands"
emulator_pid=
program_pid=
xvfb_pid=
cleanup() {
    trap - EXIT INT TERM
    [ -n "$program_pid" ] && kill -TERM "$program_pid" 2>/dev/null && wait "$program_pid" 2>/dev/null || true
    if [ -n "$emulator_pid" ]; then
        { echo quit >&3; } 2>/dev/null || true
        wait "$emulator_pid" 2>/dev/null || true
    fi
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

"$build/emulator/orvelin-emulator" --model "$model" --log "$requests" <"$work/commands" >"$work/emulator.out" &
emulator_pid=$!
exec 3>"$work/commands"
tail -f "$work/emulator.out" --pid "$emulator_pid" 2>/dev/null &
for _ in $(seq 50); do grep -q '^ready' "$work/emulator.out" && break; sleep 0.1; done
grep -q '^ready' "$work/emulator.out" || { echo "the emulator did not start" >&2; exit 1; }

# Without a display the program runs on a virtual one (Xvfb). There is no tray there, so the main
# window is shown at start and a screenshot of it is saved.
headless=false
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    headless=true
    Xvfb -displayfd 4 -screen 0 1280x800x24 -nolisten tcp 4>"$work/display" 2>/dev/null &
    xvfb_pid=$!
    for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
    [ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
    export DISPLAY=:$(cat "$work/display")
    export QT_QPA_PLATFORM=xcb
    unset DBUS_SESSION_BUS_ADDRESS
fi

QT_FORCE_STDERR_LOGGING=1 "$build/app/OrvelinDriver" 2>"$program_log" &
program_pid=$!
echo "OrvelinDriver started (pid $program_pid); its log: $program_log"

found=false
for _ in $(seq 100); do
    grep -q 'Device found with PID:' "$program_log" && { found=true; break; }
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
done
if $found; then
    grep -m1 'Device found with PID:' "$program_log"
else
    echo "No device found yet; the program keeps searching (see $program_log)."
fi

if $headless; then
    sleep 1 # one meter refresh
    window=$(xdotool search --onlyvisible --name '^Orvelin ' 2>/dev/null | head -n1 || true)
    if [ -n "$window" ] && import -window "$window" "$screenshot" 2>/dev/null; then
        echo "Main window \"$(xdotool getwindowname "$window")\" saved to $screenshot"
    else
        echo "No main window to capture." >&2
    fi
fi

emulator_console "$model" "$program_pid" OrvelinDriver "$work/emulator.out" "$requests"
