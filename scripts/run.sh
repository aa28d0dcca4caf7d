#!/usr/bin/env bash
# Builds the program, orvelinctl and the emulator, and starts the control panel against an
# emulated device (KA2 unless a model is named: KA1, KA2, KA2SE, KV or a model code). Without a
# display both run under Xvfb and a screenshot of the main window is saved to
# build-run/mainwindow.png. On a terminal the emulator then takes commands (state, unplug,
# plug 18, fail 0xFFDC2084 refuse 3) while the panel runs; quit, Ctrl-D, Ctrl-C or the panel's own
# Quit end the run and everything it started.
#
# The run keeps its settings (build-run/data), its runtime folder (build-run/runtime) and its logs
# in build-run/, away from the settings of an installed panel. ORVELIN_RUN_OWN_SETTINGS=1 uses the
# user's own settings and runtime folder instead, as the installed program would.
# ORVELIN_RUN_BUILD names another build folder; ORVELIN_RUN_PREBUILT=DIR runs the programs of an
# existing build in DIR without building (the run's own test does).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ORVELIN_RUN_BUILD:-$root/build-run}

# shellcheck source=scripts/run-lib.sh
. "$root/scripts/run-lib.sh"
run_model "${1:-}"

if [ -n "${ORVELIN_RUN_PREBUILT:-}" ]; then
    bin=$(cd "$ORVELIN_RUN_PREBUILT" && pwd)
    mkdir -p "$build"
else
    "$root/scripts/install-deps.sh"
    echo "Building the panel, orvelinctl and the emulator in $build"
    cmake -G Ninja -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DORVELIN_BENCH=OFF >/dev/null
    ninja -C "$build" -j"${ORVELIN_JOBS:-2}" orvelin-emulator OrvelinDriver orvelinctl
    bin=$build
fi
build=$(cd "$build" && pwd)

private_dir() { mkdir -p "$1" && chmod 700 "$1"; }
work=$(mktemp -d "$build/run.XXXXXX")
mkfifo "$work/commands"
owned_runtime=
reach=$bin/client/orvelinctl
if [ "${ORVELIN_RUN_OWN_SETTINGS:-}" != 1 ]; then
    export XDG_DATA_HOME=$build/data XDG_CONFIG_HOME=$build/config
    # The device's socket path must fit a Unix socket address (107 bytes); a deep checkout gets a
    # short runtime folder under /tmp for the run instead.
    runtime=$build/runtime
    if [ $((${#runtime} + 56)) -gt 107 ]; then
        runtime=$(mktemp -d /tmp/orvelin-run.XXXXXX)
        owned_runtime=$runtime
    fi
    private_dir "$runtime"
    export ORVELIN_RUNTIME_DIR=$runtime
    reach="ORVELIN_RUNTIME_DIR=$runtime $reach"
    # Qt wants a runtime folder of its own; without one it would make one in /tmp.
    if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
        private_dir "$build/xdg-runtime"
        export XDG_RUNTIME_DIR=$build/xdg-runtime
    fi
fi

program_log=$build/OrvelinDriver.log
requests=$build/emulator-requests.json
screenshot=$build/mainwindow.png
emulator_pid=
program_pid=
xvfb_pid=
headless=
started=()
cleanup() {
    local status=$?
    trap - EXIT INT TERM
    set +e
    console_end
    stop_process "$program_pid"
    [ -n "$program_pid" ] && started+=("the panel")
    stop_process "$emulator_pid"
    [ -n "$emulator_pid" ] && started+=("the emulator")
    exec 3>&- 2>/dev/null
    stop_process "$xvfb_pid"
    [ -n "$xvfb_pid" ] && started+=("Xvfb")
    rm -rf "$work" ${owned_runtime:+"$owned_runtime"}
    if [ ${#started[@]} -gt 0 ]; then
        local ended
        ended=$(printf '%s, ' "${started[@]}")
        echo "Ended: ${ended%, }."
        [ -n "$program_pid" ] && echo "Left in $build: OrvelinDriver.log, emulator-requests.json ($(wc -l <"$requests" 2>/dev/null || echo 0) requests)${headless:+, mainwindow.png}."
    fi
    exit "$status"
}
trap cleanup EXIT
# Ctrl-C and a termination request are ordinary ways to end the run.
trap 'exit 0' INT TERM

# Without a display the program runs on a virtual one (Xvfb). There is no tray there, so the main
# window is shown at start and a screenshot of it is saved.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    headless=1
    start_xvfb "$work"
    export QT_QPA_PLATFORM=xcb
    unset DBUS_SESSION_BUS_ADDRESS
fi

# The panel starts first: a second copy leaves at once, and must then neither start a device in
# the runtime folder of the running one nor touch its log. Its lines go to a file of its own
# until it is known to be the copy that runs.
: >"$work/program.log"
QT_FORCE_STDERR_LOGGING=1 "$bin/app/OrvelinDriver" 2>"$work/program.log" &
program_pid=$!
for _ in $(seq 300); do
    grep -q 'Event loop running at steady clock ms:' "$work/program.log" && break
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
done
if ! kill -0 "$program_pid" 2>/dev/null; then
    status=0
    wait "$program_pid" || status=$?
    program_pid=
    if grep -q '已经在运行中' "$work/program.log"; then
        echo "A panel is already running; this run leaves it and its log alone." >&2
    else
        echo "OrvelinDriver ended at once with status $status:" >&2
        tail -n 20 "$work/program.log" >&2
    fi
    exit 1
fi
mv "$work/program.log" "$program_log"
echo "OrvelinDriver started (pid $program_pid); its log: $program_log"

"$bin/emulator/orvelin-emulator" --model "$model" --log "$requests" <"$work/commands" >"$work/emulator.out" &
emulator_pid=$!
exec 3>"$work/commands"
for _ in $(seq 100); do grep -q '^ready' "$work/emulator.out" && break; sleep 0.1; done
grep -q '^ready' "$work/emulator.out" || { echo "the emulator did not start" >&2; exit 1; }

found=false
for _ in $(seq 150); do
    grep -q 'Device found with PID:' "$program_log" && { found=true; break; }
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
done
if $found; then
    grep -m1 'Device found with PID:' "$program_log"
else
    echo "No device found yet; the program keeps searching (see $program_log)."
fi
if [ "${ORVELIN_RUN_OWN_SETTINGS:-}" != 1 ]; then
    echo "Settings of this run: $XDG_DATA_HOME/OrvelinDriver"
fi
echo "To reach this panel from another terminal: $reach status"

if [ -n "$headless" ]; then
    sleep 1 # one meter refresh
    window=$(xdotool search --onlyvisible --name '^Orvelin ' 2>/dev/null | head -n1 || true)
    if [ -n "$window" ] && import -window "$window" "$screenshot" 2>/dev/null; then
        echo "Main window \"$(xdotool getwindowname "$window")\" saved to $screenshot"
    else
        echo "No main window to capture." >&2
    fi
fi

emulator_console "$program_pid" OrvelinDriver "$work/emulator.out" "$requests"
