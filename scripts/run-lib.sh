# shellcheck shell=bash
# What scripts/run.sh and scripts/run-windows.sh share; source this file.
#   model_code NAME   prints the model code of KA1, KA2, KA2SE or KV, or a number as it is;
#                     fails on anything else
#   emulator_console MODEL PID PROGRAM OUT REQUESTS
#                     on a terminal, hands each typed line to the emulator (file descriptor 3)
#                     until quit, Ctrl-D or the end of the program PID (named PROGRAM); without
#                     one, asks for the device's state once and waits for the answer in OUT
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

emulator_console() {
    local model=$1 pid=$2 program=$3 out=$4 requests=$5 line answers
    if [ -t 0 ]; then
        echo "Emulated device, model code $model. Commands: state, unplug, plug MODEL, fail CODE MODE [N], errors N,"
        echo "level I VALUE, asio-status A B C D E, quit (or Ctrl-D, Ctrl-C). Requests are logged to $requests"
        echo state >&3
        while IFS= read -r line; do
            echo "$line" >&3
            [ "$line" = quit ] && break
            kill -0 "$pid" 2>/dev/null || { echo "$program has ended."; break; }
        done
    else
        answers=$(wc -l <"$out")
        echo state >&3
        for _ in $(seq 50); do [ "$(wc -l <"$out")" -gt "$answers" ] && break; sleep 0.1; done
        sleep 0.1 # for the terminal copy
    fi
}
