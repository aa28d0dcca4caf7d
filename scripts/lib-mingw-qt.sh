# shellcheck shell=bash
# What scripts/build-qt-mingw.sh and scripts/build-qt-mingw-modules.sh share; source this file.
#   root      the checkout
#   prefix    the MinGW Qt's folder: ORVELIN_QT_MINGW, by default /opt/orvelin/qt6-mingw-6.4.2
#   jobs      ORVELIN_JOBS, by default 2
#   stamp_holds FILE HASH   true when the stamp FILE holds HASH, a complete copy of that recipe
#   use_sudo                sudo=(sudo) unless root; fails when sudo is needed but missing
#   with_progress LOG LABEL IDLE COMMAND...
#                           runs COMMAND with its output in LOG and its status as its own; once a
#                           minute prints "LABEL STEP after N s", STEP the last ninja step in LOG
#                           ("[n/m]", IDLE before the first). COMMAND ends with the script.

# shellcheck disable=SC2034 # for the scripts that source this file
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck disable=SC2034
prefix=${ORVELIN_QT_MINGW:-/opt/orvelin/qt6-mingw-6.4.2}
# shellcheck disable=SC2034
jobs=${ORVELIN_JOBS:-2}

stamp_holds() {
    [ -f "$1" ] && [ "$(cat "$1")" = "$2" ]
}

use_sudo() {
    sudo=()
    [ "$(id -u)" -eq 0 ] && return 0
    # shellcheck disable=SC2034
    sudo=(sudo)
    command -v sudo >/dev/null
}

with_progress() {
    local log=$1 label=$2 idle=$3
    shift 3
    local begin=$SECONDS at
    "$@" >"$log" 2>&1 &
    local worker=$!
    # shellcheck disable=SC2064 # the worker of this call
    trap "kill $worker 2>/dev/null" EXIT
    local next=$((SECONDS + 60))
    while kill -0 "$worker" 2>/dev/null; do
        sleep 2
        if [ $SECONDS -ge $next ]; then
            at=$(grep -o '^\[[0-9]*/[0-9]*\]' "$log" | tail -n 1 || true)
            echo "$label ${at:-$idle} after $((SECONDS - begin)) s"
            next=$((SECONDS + 60))
        fi
    done
    local status=0
    wait "$worker" || status=$?
    trap - EXIT
    return $status
}
