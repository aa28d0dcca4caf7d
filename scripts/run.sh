#!/usr/bin/env bash
# Builds the program and starts the emulated device (KA2 unless a model is named: KA1, KA2,
# KA2SE, KV or a model code), then shows the device's state. On a terminal the emulator stays
# and takes commands (state, unplug, plug 18, fail 0xFFDC2084 refuse 3, quit); its request log
# is written to build-run/emulator-requests.json.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ORVELIN_RUN_BUILD:-$root/build-run}

case "${1:-KA2}" in
KA1 | ka1) model=1 ;;
KA2 | ka2) model=2 ;;
KA2SE | ka2se | "KA2 SE") model=18 ;;
KV | kv) model=15 ;;
*[!0-9]* | "")
    echo "usage: $0 [KA1|KA2|KA2SE|KV|MODEL-CODE]" >&2
    exit 2
    ;;
*) model=$1 ;;
esac

"$root/scripts/install-deps.sh"

if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR=/tmp/orvelin-xdg-$(id -u)
    mkdir -p "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    export XDG_RUNTIME_DIR
fi

cmake -G Ninja -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DORVELIN_BENCH=OFF >/dev/null
ninja -C "$build" -j"${ORVELIN_JOBS:-2}" orvelin-emulator

emulator=("$build/emulator/orvelin-emulator" --model "$model" --log "$build/emulator-requests.json")
if [ -t 0 ]; then
    echo "Emulated device, model code $model. Commands: state, unplug, plug MODEL, fail CODE MODE [N], errors N,"
    echo "level I VALUE, quit (or Ctrl-C). Requests are logged to $build/emulator-requests.json"
    { echo state; cat; } | "${emulator[@]}"
else
    printf 'state\nquit\n' | "${emulator[@]}"
fi
