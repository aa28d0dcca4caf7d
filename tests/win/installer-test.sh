#!/usr/bin/env bash
# The Windows installer end to end, in a fresh Wine prefix on a virtual X display:
#   silent install; the installed program starts with the windows platform plugin and shows only
#   its tray icon; a click on the icon shows "Orvelin Driver" with its no-device status; a second
#   start exits at once while the first keeps running and leaves its log alone; the log file holds
#   the start-up lines; Quit in the tray menu tears it down cleanly; a silent upgrade while the panel
#   runs ends it through its teardown (the machine-wide quit event), replaces every file, keeps a
#   declined start at log-in and starts the panel again through the desktop shell; an upgrade while
#   another program holds a file stops with status 2, changes nothing and says which file; the
#   uninstaller, run while the panel runs, ends it and removes every
#   installed file, the folder, the Start-menu entry and the Run entry, and leaves the user's
#   settings and log.
# Usage: tests/win/installer-test.sh [BUILD_DIR]   (default build-windows, after build-windows.sh)
# Screenshots go to BUILD_DIR/screenshots; start-up time and resident memory are printed.
set -uo pipefail

# shellcheck source=tests/win/test-lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/test-lib.sh" "installer test" "$@"
build=$(cd "${1:-$root/build-windows}" && pwd) || fail "no build folder ${1:-}"

shots=$build/screenshots
mkdir -p "$shots"
setup=$(find "$build" -maxdepth 1 -name 'OrvelinDriver-*-win64-setup.exe' | head -n1)
[ -n "$setup" ] || fail "no installer in $build (run scripts/build-windows.sh)"

on_failure() {
    [ -z "${shots:-}" ] || import -window root "$shots/installer-failure.png" 2>/dev/null || true
    [ -n "${logfile:-}" ] && [ -f "$logfile" ] && { say "log file:"; tail -n 40 "$logfile"; }
}
cleanup() {
    [ -n "${first:-}" ] && kill "$first" 2>/dev/null
    [ -n "${HOLDER_PID:-}" ] && kill "$HOLDER_PID" 2>/dev/null
    wine_prefix_end
}
trap cleanup EXIT

has_line() { [ -f "$logfile" ] && grep -qF -- "$1" "$logfile"; }
reg_has() { wine reg query "$1" /v "$2" >/dev/null 2>&1; }
visible_window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1; }

prefix=$build/wine-installer
say "fresh Wine prefix $prefix"
wine_prefix_new "$prefix" || fail "wineboot could not make the prefix"

say "silent install of $(basename "$setup")"
timeout 180 wine "$setup" /S || fail "the installer ended with status $?"
wineserver -w
installdir="$prefix/drive_c/Program Files/Orvelin Driver"
for file in OrvelinDriver.exe OrvelinDriver_en_US.qm OrvelinDriver_zh_CN.qm qtbase_zh_CN.qm Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll \
    platforms/qwindows.dll styles/qwindowsvistastyle.dll imageformats/qico.dll Uninstall.exe; do
    [ -f "$installdir/$file" ] || fail "not installed: $file"
done
installed=$(cd "$installdir" && find . -type f | sort)
menu="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Orvelin Driver"
[ -f "$menu/Orvelin Driver.lnk" ] || fail "no Start-menu entry in $menu"
runkey='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
uninstkey='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvelin Driver'
reg_has "$runkey" OrvelinDriver || fail "no Run entry (start at log-in)"
wine reg query "$uninstkey" /v DisplayVersion 2>/dev/null | grep -q '4\.' || fail "no installed-programs entry with its version"
say "installed $(echo "$installed" | wc -l) files, Start-menu entry, Run entry, installed-programs entry"

# Signed builds (ORVELIN_SIGN_CERT: the certificate they were signed with): every program and DLL
# installed, the uninstaller NSIS wrote and the installer itself carry a signature that verifies.
if [ -n "${ORVELIN_SIGN_CERT:-}" ]; then
    signed=0
    while IFS= read -r file; do
        osslsigncode verify -CAfile "$ORVELIN_SIGN_CERT" -in "$file" >/dev/null 2>&1 || fail "no valid signature: $file"
        signed=$((signed + 1))
    done < <(find "$installdir" -type f \( -name '*.exe' -o -name '*.dll' \); echo "$setup")
    say "$signed signatures verified, the uninstaller's and the installer's among them"
fi

exe='C:\Program Files\Orvelin Driver\OrvelinDriver.exe'
users="$prefix/drive_c/users/$(id -un)"
logfile="$users/AppData/Local/OrvelinDriver/OrvelinDriver.log"
say "first start"
began=$(date +%s%N)
WINE_PROGRAM_LOG=$build/installer-program.log ORVELIN_STARTUP_PROBE=1 wine_start_program "$exe"
first=$WINE_PROGRAM_PID
wait_for 60 has_line "Event loop running at steady clock ms:" || fail "the program did not reach its event loop within 60 s"
startup_ms=$((($(date +%s%N) - began) / 1000000))
has_line "Settings dialog created." || fail "no start-up lines in the log file $logfile"
has_line "系统返回的语言代码：" || fail "the log file lacks the language line"
# Detection runs once a second and finds no driver here.
wait_for 30 has_line "Failed to connect to driver." || fail "no detection line in the log file"
[ -z "$(visible_window "Orvelin Driver")" ] || fail "the main window is visible at start"
say "started in $startup_ms ms (launch to event loop), only the tray icon shown"

wine_click_tray 20 || fail "no tray icon to click"
window=$(wine_find_window "Orvelin Driver" 20) || fail "a click on the tray icon did not show \"Orvelin Driver\""
sleep 1
wine_screenshot "$window" "$shots/installed-mainwindow.png" || fail "no screenshot"
import -window root "$shots/installed-desktop.png" 2>/dev/null || true
rss_kb=$(awk '/^VmRSS:/ { print $2 }' "/proc/$first/status" 2>/dev/null)
say "main window shown (screenshot $shots/installed-mainwindow.png), resident memory ${rss_kb:-?} kB"

say "second start"
second_began=$SECONDS
log_before=$(stat -c %s "$logfile")
timeout 30 wine "$exe" >/dev/null 2>&1
status=$?
[ $status -eq 0 ] || fail "the second start ended with status $status"
kill -0 "$first" 2>/dev/null || fail "the first copy ended when the second started"
# The refused copy never opens the running copy's log: nothing of it there, nothing cut away.
sleep 1
has_line "Orvelin Mixer 已经在运行中。" && fail "the refused second copy wrote into the running copy's log"
[ "$(stat -c %s "$logfile")" -ge "$log_before" ] && has_line "Event loop running at steady clock ms:" ||
    fail "the second start cut the running copy's log"
say "second start exited 0 in $((SECONDS - second_began)) s; the first keeps running, its log untouched"

# Scripts reach the running panel through its control pipe.
ctl_out=$(timeout 30 wine 'C:\Program Files\Orvelin Driver\orvelinctl.exe' status 2>&1)
status=$?
[ $status -eq 3 ] && echo "$ctl_out" | grep -q '^connected: no' ||
    fail "orvelinctl status gave status $status and: $ctl_out"
say "orvelinctl.exe reached the running panel over its pipe: no device connected (status 3)"

# Quit is the first entry of the tray menu.
say "Quit from the tray menu"
wine_click_first_menu_entry OrvelinDriver "$shots/installed-traymenu.png" || fail "the tray menu did not open"
wine_clean_exit "$first" 20 || fail "the program $WINE_EXIT_WHY after Quit"
first=
has_line "Settings dialog closed and resources cleaned up." || fail "no teardown line in the log file"
say "ended with status 0 after its teardown"

# The panel of this prefix, wherever it was started from (the installer starts it through the
# shell, so it is nobody's child here).
panel_pids() {
    local pid
    for pid in $(pgrep -f 'OrvelinDriver\.exe'); do
        tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$prefix" && echo "$pid"
    done
}
panel_running() { [ -n "$(panel_pids)" ]; }
panel_gone() { ! panel_running; }
count_lines() { grep -cF -- "$1" "$logfile" 2>/dev/null; }

# A silent upgrade while the panel runs, after the user declined starting at log-in: the panel
# quits through its teardown, every file is replaced, the choice is kept, the panel runs again.
say "silent upgrade while the panel runs"
starts=$(count_lines "ThreadSettingsPip initialized.")
wine_start_program "$exe"
first=$WINE_PROGRAM_PID
wait_for 60 eval '[ "$(count_lines "ThreadSettingsPip initialized.")" -gt "$starts" ]' || fail "the panel did not start"
sleep 2
has_line "Quit event not created" && fail "the panel could not make its quit event"
starts=$(count_lines "ThreadSettingsPip initialized.")
wine reg delete "$runkey" /v OrvelinDriver /f >/dev/null 2>&1
find "$installdir" -type f -exec touch -d '2001-01-01' {} +
teardowns=$(count_lines "Settings dialog closed and resources cleaned up.")
timeout 180 wine "$setup" /S || fail "the upgrade ended with status $?"
wine_clean_exit "$first" 20 || fail "the running panel $WINE_EXIT_WHY during the upgrade"
first=
has_line "Quit requested by the installer, quitting." || fail "the panel was not asked to quit by the installer"
[ "$(count_lines "Settings dialog closed and resources cleaned up.")" -gt "$teardowns" ] ||
    fail "the panel did not go through its teardown during the upgrade"
stale=$(find "$installdir" -type f ! -newermt '2002-01-01' | sed "s|$installdir/||")
[ -z "$stale" ] || fail "not replaced by the upgrade: $stale"
[ "$(cd "$installdir" && find . -type f | sort)" = "$installed" ] || fail "the upgrade installed other files"
reg_has "$runkey" OrvelinDriver && fail "the silent upgrade added the Run entry the user had declined"
wait_for 30 panel_running || fail "the panel was not started again after the upgrade"
wait_for 30 eval '[ "$(count_lines "ThreadSettingsPip initialized.")" -gt "$starts" ]' ||
    fail "the restarted panel did not come up"
say "upgraded while running: the panel quit with status 0 through its teardown, $(echo "$installed" | wc -l) files replaced, start at log-in still off, the panel runs again"

# An upgrade while a file of the installation is held by a process the installer cannot end (it
# has no window and takes no quit request): the panel is asked to quit, then the installer stops
# with status 2 before it removes or writes anything, says which file is held and leaves nothing
# to be deleted at the next restart.
say "silent upgrade while another program holds a file of the installation"
starts=$(count_lines "ThreadSettingsPip initialized.")
quits=$(count_lines "Quit requested by the installer, quitting.")
held_file_run "$setup" "$build/tests/win/orvelin-file-holder.exe" 'C:\Program Files\Orvelin Driver\imageformats\qico.dll' "$installdir"
[ "$(count_lines "Quit requested by the installer, quitting.")" -gt "$quits" ] || fail "the panel was not asked to quit"
wine reg query "$uninstkey" /v DisplayVersion >/dev/null 2>&1 || fail "the stopped upgrade removed the installed-programs entry"
kill "$HOLDER_PID" 2>/dev/null
wait "$HOLDER_PID" 2>/dev/null
# The stopped installer starts the panel again through the desktop shell; in this sequence Wine's
# shell does not always start it, so that is left to real Windows and the panel is started here.
if ! wait_for 10 eval '[ "$(count_lines "ThreadSettingsPip initialized.")" -gt "$starts" ]'; then
    wine_start_program "$exe"
    wait_for 60 eval '[ "$(count_lines "ThreadSettingsPip initialized.")" -gt "$starts" ]' || fail "the panel did not start"
fi

# The user's settings are not the installer's: a settings file must survive the uninstall.
settings="$users/AppData/Roaming/OrvelinDriver"
mkdir -p "$settings"
echo "[Dial]" >"$settings/ka2.ini"
say "silent uninstall while the panel runs"
quits=$(count_lines "Quit requested by the installer, quitting.")
timeout 120 wine "C:\\Program Files\\Orvelin Driver\\Uninstall.exe" /S || fail "the uninstaller ended with status $?"
wait_for 20 panel_gone || fail "the panel still runs after the uninstall"
[ "$(count_lines "Quit requested by the installer, quitting.")" -gt "$quits" ] ||
    fail "the uninstaller did not ask the panel to quit"
# The uninstaller copies itself away and finishes from there.
wineserver -w
[ -e "$installdir" ] && fail "the installation folder is left"
left=$(cd "$installdir" 2>/dev/null && find . -type f | sort)
[ -z "$left" ] || fail "files left after uninstall: $left"
[ ! -e "$menu" ] || fail "the Start-menu entry is left"
reg_has "$runkey" OrvelinDriver && fail "the Run entry is left"
wine reg query "$uninstkey" >/dev/null 2>&1 && fail "the installed-programs entry is left"
[ -f "$settings/ka2.ini" ] || fail "the uninstaller removed the user's settings"
[ -f "$logfile" ] || fail "the uninstaller removed the user's log file"
pending_renames && fail "the uninstaller left a delete for the next restart"
say "uninstalled: no file, Start-menu entry, Run entry or installed-programs entry left; settings and log kept"

# The portable ZIP: unpacked anywhere, the program runs from its folder.
zip=$(find "$build" -maxdepth 1 -name 'OrvelinDriver-*-win64.zip' | head -n1)
[ -n "$zip" ] || fail "no ZIP package in $build"
portable="$prefix/drive_c/portable"
rm -rf "$portable"
mkdir -p "$portable"
unzip -q "$zip" -d "$portable" || fail "the ZIP does not unpack"
zipped=$(cd "$portable" && find . -type f ! -name Uninstall.exe | sort)
expected=$(echo "$installed" | grep -v '^./Uninstall.exe$')
[ "$zipped" = "$expected" ] || fail "the ZIP and the installer carry different files: $(diff <(echo "$expected") <(echo "$zipped") | tr '\n' ' ')"
: >"$logfile"
say "portable start from the unpacked ZIP"
WINE_PROGRAM_LOG=$build/portable-program.log ORVELIN_STARTUP_PROBE=1 wine_start_program 'C:\portable\OrvelinDriver.exe'
first=$WINE_PROGRAM_PID
wait_for 60 has_line "Event loop running at steady clock ms:" || fail "the portable program did not reach its event loop"
wine_find_window "Wine System Tray" 20 >/dev/null || fail "no tray for the portable program"
wine_click_first_menu_entry OrvelinDriver || fail "the portable program's tray menu did not open"
wine_clean_exit "$first" 20 || fail "the portable program $WINE_EXIT_WHY after Quit"
first=
say "the unpacked ZIP ($(echo "$zipped" | wc -l) files) runs and quits with status 0"

say "figures: installer $(stat -c %s "$setup") bytes, ZIP $(stat -c %s "$zip") bytes, start-up $startup_ms ms, resident ${rss_kb:-?} kB"
say "passed"
