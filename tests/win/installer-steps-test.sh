#!/usr/bin/env bash
# The installer's own steps (cmake/Installer.nsh), built into a small NSIS installer that runs
# them on a stand-in installation in a fresh Wine prefix, without the packaged program:
#   a stand-in panel (orvelin-file-holder panel, through the platform layer's quit watcher) is asked
#   to quit through the Global event and ends with status 0; another process holding a file and
#   taking no quit request makes the silent run stop with status 2 before it writes anything, and
#   name the file in its setup log; without it the run goes through.
# Usage: tests/win/installer-steps-test.sh orvelin-file-holder.exe WORK_DIR
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
holder=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$2
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
# shellcheck source=scripts/wine-lib.sh
. "$root/scripts/wine-lib.sh"

say() { echo "installer steps: $*"; }
fail() {
    say "FAILED: $*"
    exit 1
}
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wine_prefix_end' EXIT

rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
cat >"$work/steps.nsi" <<NSI
Unicode true
Target amd64-unicode
!include "$root/cmake/Installer.nsh"
Name "Orvelin Driver steps"
OutFile "$work/steps.exe"
InstallDir "C:\\orvelin-steps"
RequestExecutionLevel admin
Section
  Call OrvelinBeforeInstall
  FileOpen \$0 "\$INSTDIR\\installed.txt" w
  FileClose \$0
SectionEnd
NSI
makensis -V1 "$work/steps.nsi" || fail "makensis"

wine_prefix_new "$work/prefix" || fail "no Wine prefix"
folder=$work/prefix/drive_c/orvelin-steps
mkdir -p "$folder/platforms"
cp "$holder" "$folder/OrvelinDriver.exe"
echo stand-in >"$folder/platforms/qwindows.dll"
wine "$holder" panel 'C:\orvelin-steps\OrvelinDriver.exe' >"$work/panel.log" 2>&1 &
panel=$!
wine "$holder" hold 'C:\orvelin-steps\platforms\qwindows.dll' >"$work/holder.log" 2>&1 &
pids=("$panel" $!)
wait_for 30 grep -q holding "$work/panel.log" || fail "the stand-in panel did not start"
wait_for 30 grep -q holding "$work/holder.log" || fail "the holder did not start"

timeout 120 wine "$work/steps.exe" /S
status=$?
[ $status -eq 2 ] || fail "a silent run with a held file ended with status $status, not 2"
wait_for 10 eval "! kill -0 $panel 2>/dev/null" || fail "the stand-in panel still runs"
wait "$panel"
panel_status=$?
[ $panel_status -eq 0 ] && grep -q "quit requested" "$work/panel.log" ||
    fail "the stand-in panel was not asked to quit (status $panel_status)"
log=$(find "$work/prefix/drive_c" -name OrvelinDriver-setup.log | head -n1)
[ -n "$log" ] && grep -qF 'C:\orvelin-steps\platforms\qwindows.dll is in use by' "$log" ||
    fail "the setup log does not name the held file"
[ ! -e "$folder/installed.txt" ] || fail "the stopped run went on"
say "the panel quit through the Global event; the held file stopped the run with status 2: $(tr -d '\r' <"$log")"

kill "${pids[1]}"
wait "${pids[1]}" 2>/dev/null
timeout 120 wine "$work/steps.exe" /S || fail "the run without a held file ended with status $?"
[ -e "$folder/installed.txt" ] || fail "the run without a held file did not go on"
say "passed"
