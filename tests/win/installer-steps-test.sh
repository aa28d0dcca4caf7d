#!/usr/bin/env bash
# The installer's own steps (cmake/Installer.nsh), built into a small NSIS installer that runs
# them on a stand-in installation in a fresh Wine prefix, without the packaged program:
#   a stand-in panel (orvelin-file-holder panel, through the platform layer's quit watcher) is asked
#   to quit through the Global event and ends with status 0; another process holding a file and
#   taking no quit request makes the silent run stop (held_file_run in test-lib.sh); without it the
#   run goes through.
# Usage: tests/win/installer-steps-test.sh orvelin-file-holder.exe WORK_DIR
set -uo pipefail

# shellcheck source=tests/win/test-lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/test-lib.sh" "installer steps" "$@"
holder=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$2
panel=
trap '[ -n "$panel" ] && kill "$panel" 2>/dev/null; [ -n "${HOLDER_PID:-}" ] && kill "$HOLDER_PID" 2>/dev/null; wine_prefix_end' EXIT

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
wait_for 30 grep -q holding "$work/panel.log" || fail "the stand-in panel did not start"

held_file_run "$work/steps.exe" "$holder" 'C:\orvelin-steps\platforms\qwindows.dll' "$folder"
wine_clean_exit "$panel" 10 && grep -q "quit requested" "$work/panel.log" ||
    fail "the stand-in panel was not asked to quit${WINE_EXIT_WHY:+ (it $WINE_EXIT_WHY)}"
panel=
say "the panel quit through the Global event with status 0"

kill "$HOLDER_PID"
wait "$HOLDER_PID" 2>/dev/null
HOLDER_PID=
timeout 120 wine "$work/steps.exe" /S || fail "the run without a held file ended with status $?"
[ -e "$folder/installed.txt" ] || fail "the run without a held file did not go on"
say "passed"
