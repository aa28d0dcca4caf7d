# shellcheck shell=bash
# What the scripts of the Windows tests share; source it first, with the test's name and the
# script's arguments:  . "$(dirname "${BASH_SOURCE[0]}")/test-lib.sh" "installer test" "$@"
#   root                 the checkout
#   say TEXT             a line of the test's own
#   fail TEXT            a FAILED line, then the script's on_failure (when it defines one), exit 1
#   held_file_run SETUP HOLDER FILE FOLDER
#                        the installer SETUP run silently while HOLDER (orvelin-file-holder.exe)
#                        holds FILE (its Windows path), a file of the installation in FOLDER, and
#                        takes no quit request: the run must stop with status 2 before it writes or
#                        removes anything, name the file in its setup log (path in setup_log) and
#                        leave no delete for the next restart. The holder's pid is in HOLDER_PID.
# Wine needs an X display; without one, the calling script runs again on a private Xvfb. Then
# scripts/wine-lib.sh is sourced.

test_name=$1
shift
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" "$0" "$@"
fi
# shellcheck source=scripts/wine-lib.sh
. "$root/scripts/wine-lib.sh"

say() { echo "$test_name: $*"; }
fail() {
    say "FAILED: $*"
    if declare -F on_failure >/dev/null; then on_failure; fi
    exit 1
}

pending_renames() {
    wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations >/dev/null 2>&1
}

held_file_run() {
    local setup=$1 holder=$2 file=$3 folder=$4 files status changed
    # Everything there dated long ago, so that whatever the run writes shows.
    find "$folder" -type f -exec touch -d '2001-01-01' {} +
    files=$(cd "$folder" && find . -type f | sort)
    find "$WINEPREFIX/drive_c" -name OrvelinDriver-setup.log -delete
    rm -f "$WINEPREFIX/holder.log"
    WINE_PROGRAM_LOG=$WINEPREFIX/holder.log wine_start_program "$holder" hold "$file"
    # shellcheck disable=SC2034 # for the caller, which ends the holder
    HOLDER_PID=$WINE_PROGRAM_PID
    wait_for 30 grep -q holding "$WINEPREFIX/holder.log" || fail "the holder did not open $file"
    timeout 180 wine "$setup" /S
    status=$?
    [ $status -eq 2 ] || fail "a silent run with a held file ended with status $status, not 2"
    setup_log=$(find "$WINEPREFIX/drive_c" -name OrvelinDriver-setup.log | head -n1)
    [ -n "$setup_log" ] && grep -qF "$file is in use by" "$setup_log" ||
        fail "the stopped run did not say which file is held"
    changed=$(find "$folder" -type f -newermt '2002-01-01' | sed "s|$folder/||")
    [ -z "$changed" ] || fail "the stopped run wrote: $changed"
    [ "$(cd "$folder" && find . -type f | sort)" = "$files" ] || fail "the stopped run removed or added files"
    pending_renames && fail "the stopped run scheduled a delete at the next restart"
    say "a held file stopped the run with status 2: \"$(tr -d '\r' <"$setup_log")\"; nothing written or removed, nothing left for the next restart"
}
