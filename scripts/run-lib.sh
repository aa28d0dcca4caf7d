# shellcheck shell=bash
# What scripts/run.sh and scripts/run-windows.sh share; source this file.
#   model_code NAME   prints the model code of KA1, KA2, KA2SE or KV, or a number as it is;
#                     fails on anything else
#   run_model [NAME]  sets model to the model code of NAME (KA2 when none), or prints the usage
#                     and exits with status 2
#   start_xvfb DIR    starts Xvfb on a free display (its number written to DIR/display), exports
#                     DISPLAY and sets xvfb_pid; exits with status 1 when it does not start
#   stop_process PID [S]
#                     asks the background process PID to end (SIGTERM), waits up to S seconds
#                     (10 by default), then kills it
#   state_summary     reads the emulator's JSON state line on stdin, prints it as one short line
#   emulator_console PID PROGRAM OUT REQUESTS
#                     prints the device's state in short; on a terminal then hands each typed line
#                     to the emulator (file descriptor 3) and shows its answers from OUT until
#                     quit, Ctrl-D, Ctrl-C or the end of the program PID (named PROGRAM)
#   console_end       ends what emulator_console started; for the cleanup, as Ctrl-C leaves the
#                     console without its own end (the copy of the answers ignores Ctrl-C)

# A write into the emulator's pipe after it has gone must not end the script before its cleanup:
# a handled SIGPIPE makes the write fail instead (and, unlike an ignored one, is not inherited).
trap ':' PIPE

model_code() {
    case "$1" in
    KA1 | ka1) echo 1 ;;
    KA2 | ka2) echo 2 ;;
    KA2SE | ka2se | "KA2 SE") echo 18 ;;
    KV | kv) echo 15 ;;
    *[!0-9]* | "") return 1 ;;
    *) echo "$1" ;;
    esac
}

run_model() {
    # shellcheck disable=SC2034 # for the script that sources this file
    model=$(model_code "${1:-KA2}") && return 0
    echo "usage: $0 [KA1|KA2|KA2SE|KV|MODEL-CODE]" >&2
    exit 2
}

start_xvfb() {
    # Xvfb keeps none of the run's own descriptors (run-windows.sh holds its lock on 9).
    Xvfb -displayfd 4 -screen 0 1280x800x24 -nolisten tcp 4>"$1/display" 2>/dev/null 9>&- &
    # shellcheck disable=SC2034
    xvfb_pid=$!
    for _ in $(seq 100); do [ -s "$1/display" ] && break; sleep 0.1; done
    [ -s "$1/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
    DISPLAY=:$(cat "$1/display")
    export DISPLAY
}

stop_process() {
    local pid=$1 seconds=${2:-10}
    [ -n "$pid" ] || return 0
    kill -TERM "$pid" 2>/dev/null || { wait "$pid" 2>/dev/null; return 0; }
    for _ in $(seq $((seconds * 10))); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

state_summary() {
    python3 -c '
import json, sys
names = {1: "KA1", 2: "KA2", 15: "KV", 18: "KA2 SE"}
try:
    s = json.loads(sys.stdin.read())
except ValueError:
    sys.exit("no state from the emulator")
if not s.get("plugged"):
    print("Emulated device: unplugged")
    sys.exit()
print("Emulated device: %s (model code %d), firmware %s, %d Hz, buffer %d samples, %d mixer cells set by the panel"
      % (names.get(s["model"], "unknown"), s["model"], s["firmware"], s["sampleRate"], s["bufferSize"],
         len(s.get("mixerCells", {}))))'
}

console_tail=
console_end() {
    [ -z "$console_tail" ] || kill "$console_tail" 2>/dev/null || true
    console_tail=
}

emulator_console() {
    local pid=$1 program=$2 out=$3 requests=$4 line answers status
    answers=$(wc -l <"$out")
    echo state >&3
    for _ in $(seq 100); do [ "$(wc -l <"$out")" -gt "$answers" ] && break; sleep 0.1; done
    tail -n +"$((answers + 1))" "$out" | head -n1 | tr -d '\r' | state_summary || true
    [ -t 0 ] || return 0

    echo "Commands for the emulated device: state, unplug, plug MODEL, fail CODE MODE [N], errors N,"
    echo "level I VALUE, asio-status A B C D E; quit (or Ctrl-D, Ctrl-C) ends the run. Requests are logged to $requests"
    tail -n +"$((answers + 2))" -f "$out" 2>/dev/null > >(tr -d '\r') &
    console_tail=$!
    # Read with a time-out, so the end of the program is noticed while nobody types.
    while :; do
        status=0
        IFS= read -r -t 1 line || status=$?
        if [ "$status" -gt 128 ]; then
            kill -0 "$pid" 2>/dev/null && continue
            echo "$program has ended."
            break
        fi
        [ "$status" -eq 0 ] || break # Ctrl-D
        [ "$line" = quit ] && break
        echo "$line" >&3 2>/dev/null || { echo "The emulator has ended."; break; }
    done
    console_end
}
