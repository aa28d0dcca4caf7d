#!/usr/bin/env bash
# The Windows program end to end under Wine, against the Windows emulator, in a fresh Wine prefix
# on a virtual X display:
#   orvelin-emulator.exe serves a KA2 through the relay driver and takes its commands from a FIFO;
#   the unchanged OrvelinDriver.exe (unpacked from the ZIP, or an install tree) finds it, a click
#   on the tray icon shows the window titled with the model and firmware; the device received the
#   first-start restore sequence of tests/support/ka2-first-start.txt, exactly and in order; a
#   wheel turn of the speaker knob with the mouse reaches the device as the one mixer block it
#   should be; Tab and Up raise the MIC1 gain one step; the ASIO driver's status record over its
#   named pipe opens the settings dialog; the audio service received STOP_MONITOR and
#   START_MONITOR as UTF-16 text; WM_WTSSESSION_CHANGE posted to the main window hands the device
#   over (no request reaches it, the ASIO pipe is free) and back (found again, the controls
#   resent); unplugging clears the
#   panel after three failed reads and each replug (KA2 SE, KV, KA1) brings the right panel; with
#   remote.ini in the prefix's settings folder, oscsend on the Linux side sets the headphone volume
#   over OSC on 127.0.0.1 and oscdump, subscribed, hears it back; Quit in the tray menu ends it
#   with status 0. (A second start is the installer test's.)
# Usage: tests/win/e2e-test.sh [BUILD_DIR]   (default build-windows, after build-windows.sh)
#   BUILD_DIR holds OrvelinDriver-<version>-win64.zip and standin/ (the emulator, relay driver
#   and its installer). ORVELIN_E2E_PROGRAM=DIR runs DIR/OrvelinDriver.exe instead of the ZIP;
#   ORVELIN_E2E_OUT=DIR puts the prefix, logs and screenshots there instead of BUILD_DIR (so a
#   build can be used read-only).
# Screenshots of the four panels and the settings dialog go to OUT/screenshots; start-up time,
# resident memory (beside an empty window of the same Qt) and the time of one knob event are
# printed.
set -uo pipefail

# shellcheck source=tests/win/test-lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/test-lib.sh" "e2e test" "$@"
build=$(cd "${1:-$root/build-windows}" && pwd) || fail "no build folder ${1:-}"

out=${ORVELIN_E2E_OUT:-$build}
mkdir -p "$out" && out=$(cd "$out" && pwd)
shots=$out/screenshots
work=$out/e2e
standin=${ORVELIN_E2E_STANDIN:-$build/standin}
firmware=V4.0.6.123
table=$root/tests/support/ka2-first-start.txt

on_failure() {
    [ -z "${shots:-}" ] || import -window root "$shots/e2e-failure.png" 2>/dev/null || true
    if [ -n "${logfile:-}" ] && [ -f "$logfile" ]; then
        say "program log ($logfile), last lines:"
        tail -n 30 "$logfile"
    fi
    if [ -f "$work/emulator.out" ]; then
        say "emulator answers, last lines:"
        tail -n 5 "$work/emulator.out" | cut -c1-300
        [ -s "$work/emulator.err" ] && { say "emulator errors:"; tail -n 10 "$work/emulator.err"; }
    fi
    if [ -f "$work/requests.json" ]; then
        say "emulator request log, last lines:"
        grep -v '"0xFFDC2074"' "$work/requests.json" | tail -n 10 | cut -c1-160
    fi
}

program=
emulator_pid=
oscdump_pid=
cleanup() {
    trap - EXIT
    [ -n "$program" ] && kill "$program" 2>/dev/null
    [ -n "$oscdump_pid" ] && kill "$oscdump_pid" 2>/dev/null
    if [ -n "$emulator_pid" ]; then
        { echo quit >&3; } 2>/dev/null
        for _ in $(seq 50); do kill -0 "$emulator_pid" 2>/dev/null || break; sleep 0.1; done
        kill "$emulator_pid" 2>/dev/null
    fi
    exec 3>&- 2>/dev/null
    wine_prefix_end
}
trap cleanup EXIT

# Lines holding the text, counting what the log file wrote once and then as "(repeated N times)"
# or "(last K lines repeated N times)"; each line starts with 26 characters of time and level.
count_lines() {
    [ -f "$logfile" ] || { echo 0; return; }
    LC_ALL=C awk -v want="$1" '
        { text = substr($0, 27); k = 0 }
        text ~ /^\(repeated [0-9]+ times?\)$/ { k = 1; n = text; gsub(/[^0-9]/, "", n) }
        text ~ /^\(last [0-9]+ lines repeated [0-9]+ times?\)$/ { split(text, w, " "); k = w[2]; n = w[5] }
        k > 0 { for (i = 1; i <= k && i <= c; i++) if (index(last[(c - i) % 4], want)) total += n; next }
        { if (index(text, want)) total++; last[c % 4] = text; c++ }
        END { print total + 0 }' "$logfile"
}
has_line() { [ "$(count_lines "$1")" -ge "${2:-1}" ]; }
# The steady clock the program logs (under Wine the host's raw monotonic clock, which drifts from
# the slewed one), and a cheap wall clock.
monotonic_ms() { python3 -c 'import time; print(int(time.clock_gettime(time.CLOCK_MONOTONIC_RAW) * 1000))'; }
now_ms() { local us=${EPOCHREALTIME/./}; echo $((us / 1000)); }
visible_window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1; }
# The unix path as the Windows programs see it (Wine's Z: drive is the root).
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# One command to the emulator; prints its answer line.
emulator() {
    local before
    before=$(wc -l <"$work/emulator.out")
    echo "$*" >&3 || return 1
    wait_for 30 emulator_answered "$before" || return 1
    sed -n "$((before + 1))p" "$work/emulator.out" | tr -d '\r'
}
emulator_answered() { [ "$(wc -l <"$work/emulator.out")" -gt "$1" ]; }
emulator_ok() {
    local answer
    answer=$(emulator "$@") || fail "the emulator gave no answer to \"$*\""
    [ "$answer" = ok ] || fail "the emulator answered \"$answer\" to \"$*\""
}

# The vendor commands and mixer blocks of the request log, in the words of the table.
logged_settings() {
    python3 - "$work/requests.json" <<'EOF'
import json, sys
for line in open(sys.argv[1], encoding="ascii"):
    line = line.strip()
    if not line:
        continue
    request = json.loads(line)
    code, data = request.get("code"), bytes.fromhex(request.get("input", ""))
    if code == "0xFFDC2040":
        text = "block" if len(data) == 66304 else "block of wrong size"
    elif code == "0xFFDC209C":
        if len(data) != 37:
            text = "vendor of wrong size"
        elif any(data[7:]):
            text = "vendor with trailing bytes"
        else:
            text = "vendor " + " ".join("%02X" % b for b in data[:7])
    else:
        continue
    print(text if request.get("result") == "ok" else "%s (%s)" % (text, request.get("result")))
EOF
}
table_lines() { sed -e 's/#.*//' -e 's/[[:space:]]*$//' -e '/^$/d' "$table"; }

# Compares two `state` answers' mixer cells: the second must differ from the first in exactly
# the cells given as OFFSET=VALUE arguments (to within the printed precision), and in no other.
mixer_changed_exactly() {
    python3 - "$@" <<'EOF'
import json, sys
before = json.loads(sys.argv[1])["mixerCells"]
after = json.loads(sys.argv[2])["mixerCells"]
expected = dict(before)
for pair in sys.argv[3:]:
    offset, value = pair.split("=")
    expected[offset] = float(value)
wrong = sorted(set(expected) | set(after), key=int)
wrong = [o for o in wrong if abs(expected.get(o, 0.0) - after.get(o, 0.0)) > 1e-15 * max(1.0, abs(expected.get(o, 0.0)))]
for offset in wrong:
    print("cell %s: %r, expected %r" % (offset, after.get(offset, 0.0), expected.get(offset, 0.0)))
sys.exit(1 if wrong else 0)
EOF
}

# The wine process of OrvelinDriver.exe (the one that maps the program, not a launcher).
program_process() {
    local pid
    for pid in $(pgrep -f 'OrvelinDriver\.exe'); do
        [ "$pid" = "$$" ] && continue
        grep -q 'OrvelinDriver\.exe' "/proc/$pid/maps" 2>/dev/null && { echo "$pid"; return 0; }
    done
    return 1
}

[ -f "$standin/orvelin-emulator.exe" ] || fail "no $standin/orvelin-emulator.exe (run scripts/build-windows.sh)"
[ -f "$table" ] || fail "no table $table"
rm -rf "$work"
mkdir -p "$work" "$shots"
rm -f "$shots"/e2e-*.png

if [ -n "${ORVELIN_E2E_PROGRAM:-}" ]; then
    app=$(cd "$ORVELIN_E2E_PROGRAM" && pwd) || fail "no folder $ORVELIN_E2E_PROGRAM"
else
    zip=$(find "$build" -maxdepth 1 -name 'OrvelinDriver-*-win64.zip' | sort | tail -n1)
    [ -n "$zip" ] || fail "no OrvelinDriver-*-win64.zip in $build (run scripts/build-windows.sh)"
    unzip -q "$zip" -d "$work/program" || fail "cannot unpack $zip"
    exe=$(find "$work/program" -name OrvelinDriver.exe | head -n1)
    [ -n "$exe" ] || fail "no OrvelinDriver.exe in $zip"
    app=$(dirname "$exe")
fi
[ -f "$app/OrvelinDriver.exe" ] || fail "no OrvelinDriver.exe in $app"

prefix=$out/wine-e2e
say "fresh Wine prefix $prefix"
wine_prefix_new "$prefix" || fail "wineboot could not make the prefix"
sh "$root/tests/win/prepare-relay-prefix.sh" "$standin" || fail "the prefix could not be readied for the relay driver"
users="$prefix/drive_c/users/$(id -un)"
logfile="$users/AppData/Local/OrvelinDriver/OrvelinDriver.log"

# The OSC endpoint is turned on beside the panels' INI files, on a port free on this side.
free_udp_port() { python3 -c 'import socket; s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
osc_port=$(free_udp_port)
feedback_port=$(free_udp_port)
mkdir -p "$users/AppData/Roaming/OrvelinDriver"
printf '[Osc]\r\nPort=%s\r\nAddress=127.0.0.1\r\n' "$osc_port" >"$users/AppData/Roaming/OrvelinDriver/remote.ini"

say "emulator: a KA2 with firmware $firmware"
mkfifo "$work/commands"
wine "$standin/orvelin-emulator.exe" --model 2 --firmware "$firmware" --log "$(windows_path "$work/requests.json")" \
    <"$work/commands" >"$work/emulator.out" 2>"$work/emulator.err" &
emulator_pid=$!
exec 3>"$work/commands"
wait_for 60 grep -q '^ready' "$work/emulator.out" || fail "the emulator did not start"

say "first start of $app/OrvelinDriver.exe"
launched=$(monotonic_ms)
WINE_PROGRAM_LOG=$work/program.out ORVELIN_STARTUP_PROBE=1 wine_start_program "$app/OrvelinDriver.exe"
program=$WINE_PROGRAM_PID
wait_for 60 has_line "Event loop running at steady clock ms:" || fail "the program did not reach its event loop within 60 s"
loop_ms=$(grep -a -m1 'Event loop running at steady clock ms:' "$logfile" | grep -o '[0-9]*[[:space:]]*$' | tr -d '[:space:]')
startup_ms=$((loop_ms - launched))
[ "$startup_ms" -ge 0 ] || fail "the program's steady clock reads $startup_ms ms from the launch: not the clock measured with"

# Detection runs once a second.
wait_for 60 has_line "Device found with PID: 2" || fail "the KA2 was not found"
has_line "Adding ka2 widget to layout." || fail "no KA2 panel"
[ -z "$(visible_window "Orvelin KA2 - FW: $firmware")" ] || fail "the main window is visible at start"
say "started in $startup_ms ms (launch to event loop); \"Device found with PID: 2\""

# The restore sequence, exactly: a missing, extra or reordered request fails.
if ! diff <(table_lines) <(logged_settings) >"$work/restore.diff"; then
    cat "$work/restore.diff"
    fail "the device did not receive the first-start sequence of $table (diff: expected < > received)"
fi
say "the device received the $(table_lines | wc -l) requests of the first-start table, in order"

wine_click_tray 20 || fail "no tray icon to click"
window=$(wine_find_window "Orvelin KA2 - FW: $firmware" 20) ||
    fail "a click on the tray icon did not show \"Orvelin KA2 - FW: $firmware\" (visible: $(xdotool search --onlyvisible --name . getwindowname %@ 2>/dev/null | tr '\n' '|'))"
sleep 1 # one meter refresh
wine_screenshot "$window" "$shots/e2e-ka2.png" || fail "no screenshot of the KA2 panel"
# The pointer still rests on the tray icon: its tooltip names the device.
import -window root "$shots/e2e-desktop.png" 2>/dev/null || true
pid=$(program_process) || fail "no wine process maps OrvelinDriver.exe"
rss_kb=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status")
say "window \"Orvelin KA2 - FW: $firmware\" shown; resident memory ${rss_kb} kB (pid $pid, $(cat "/proc/$pid/comm"); launched as pid $program)"

# The speaker knob: the third large knob, 120 x 120, its centre this far into the window.
eval "$(xdotool getwindowgeometry --shell "$window")"
knob_x=$((X + ${ORVELIN_E2E_KNOB_X:-439}))
knob_y=$((Y + ${ORVELIN_E2E_KNOB_Y:-101}))
before=$(emulator state) || fail "no state from the emulator"
xdotool mousemove "$knob_x" "$knob_y" sleep 0.3 click 4
wait_for 30 has_line "Speaker volume set to: -79" || fail "a wheel turn on the speaker knob at ($knob_x, $knob_y) did not reach the program"
after=$(emulator state) || fail "no state from the emulator"
# One step up from -80 dB: both speaker gains at 10^(-79/20), nothing else.
gain=$(python3 -c 'print(repr(10 ** (-79 / 20)))')
mixer_changed_exactly "$before" "$after" "65536=$gain" "65544=$gain" ||
    fail "the wheel turn did not change exactly the two speaker cells of the mixer block"
say "wheel turn on the speaker knob: the device's mixer block changed in exactly its two speaker cells ($gain)"

# The time of one knob event, from the X event to the device: many wheel turns, timed until the
# last one's block has been written.
turns=60
blocks_before=$(grep -c '"0xFFDC2040"' "$work/requests.json")
began=$(now_ms)
xdotool click --repeat "$turns" --delay 1 4
last="Speaker volume set to: $((-79 + turns))"
until has_line "$last"; do
    [ $(($(now_ms) - began)) -lt 60000 ] || fail "$turns wheel turns did not all reach the program"
    sleep 0.02
done
knob_ms=$(($(now_ms) - began))
blocks=$(($(grep -c '"0xFFDC2040"' "$work/requests.json") - blocks_before))
[ "$blocks" -eq "$turns" ] || fail "$turns wheel turns wrote $blocks mixer blocks"
knob_event=$(awk -v ms="$knob_ms" -v n="$turns" 'BEGIN { printf "%.1f", ms / n }')
say "$turns wheel turns in $knob_ms ms: $knob_event ms a knob event (each one mixer block through DeviceIoControl)"

# From the keyboard: nothing had the focus (the start screenshot shows no focus frame), so the
# first Tab reaches the MIC1 gain knob, and Up raises it one step.
xdotool key --delay 200 Tab Up
wait_for 5 has_line "Mic volume set to: 1" || fail "Tab and Up did not raise the MIC1 gain"
[ "$(logged_settings | tail -n1)" = "vendor 01 07 00 02 01 02 00" ] || fail "Tab and Up sent: $(logged_settings | tail -n1)"
wine_screenshot "$window" "$shots/e2e-ka2-keyboard.png" || fail "no screenshot of the focused knob"
say "Tab, Up: the MIC1 gain knob took the focus and sent gain 2 (one step)"

# A control surface on the Linux side: oscdump subscribes to the feedback, oscsend sets a fader.
has_line "OSC endpoint listening on 127.0.0.1:$osc_port" || fail "the OSC endpoint of remote.ini is not listening"
oscdump -L "$feedback_port" >"$work/oscdump.out" 2>&1 &
oscdump_pid=$!
heard() { grep -qF -- "$1" "$work/oscdump.out"; }
sleep 0.5
oscsend 127.0.0.1 "$osc_port" /orvelin/subscribe i "$feedback_port" || fail "oscsend could not send"
wait_for 30 heard '/orvelin/device s "KA2"' || fail "no snapshot reached the subscriber (oscdump: $(tr '\n' '|' <"$work/oscdump.out"))"
blocks_before=$(grep -c '"0xFFDC2040"' "$work/requests.json")
oscsend 127.0.0.1 "$osc_port" /orvelin/headphone/volume i -20 || fail "oscsend could not send"
wait_for 30 has_line "Headphone volume set to: -20" || fail "the OSC set did not reach the headphone knob"
wait_for 30 heard '/orvelin/headphone/volume i -20' || fail "the subscriber did not hear the change back"
[ $(($(grep -c '"0xFFDC2040"' "$work/requests.json") - blocks_before)) -eq 1 ] || fail "the OSC set did not write one mixer block"
kill "$oscdump_pid" 2>/dev/null
oscdump_pid=
say "OSC on 127.0.0.1:$osc_port: /orvelin/headphone/volume i -20 set the knob and wrote one mixer block; the subscriber heard it back"

# The ASIO driver asks for the settings window over its named pipe.
has_line "ThreadSettingsPip is running waiting Asio Info..." || wait_for 30 has_line "ThreadSettingsPip is running" ||
    fail "the program's ASIO pipe server is not running"
emulator_ok asio-status 0 256 0 0 1
wait_for 30 has_line "Received signal from pipe thread to show settings window." ||
    fail "the status record over the pipe did not ask for the settings window"
has_line "Received data from pipe: 0 256 0 0 1" || fail "the status record was not read as 0 256 0 0 1"
dialog=$(wine_find_window Settings 10) || fail "no settings dialog shown"
sleep 0.5
wine_screenshot "$dialog" "$shots/e2e-settings.png" || fail "no screenshot of the settings dialog"
# Closed again (Escape, else its OK button), so that it hides no panel in the screenshots below.
dialog_gone() { [ -z "$(visible_window Settings)" ]; }
xdotool key Escape
if ! wait_for 3 dialog_gone; then
    eval "$(xdotool getwindowgeometry --shell "$dialog")"
    xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT - 53)) click 1
    wait_for 30 dialog_gone || fail "the settings dialog did not close"
fi
say "asio-status 0 256 0 0 1 over the pipe opened the settings dialog; closed again"

# The audio service is told to stop its monitoring on connection and to start it again once the
# start-up delay is over; each command is UTF-16 text ending in a zero code unit.
audio_service() { grep -F '"peer":"audio-service"' "$work/requests.json"; }
audio_service_has() { audio_service | grep -qF "\"command\":\"$1\""; }
wait_for 40 audio_service_has START_MONITOR || fail "the audio service did not receive START_MONITOR"
commands=$(audio_service | tr -d '\r')
expected_commands='{"peer":"audio-service","command":"STOP_MONITOR","bytes":26}
{"peer":"audio-service","command":"START_MONITOR","bytes":28}'
[ "$commands" = "$expected_commands" ] || fail "the audio service received: $commands"
say "the audio service received STOP_MONITOR (26 bytes) and then START_MONITOR (28 bytes)"

# Another user's session takes the console: the system posts WM_WTSSESSION_CHANGE to the panel's
# window. The panel lets go of the device and of the ASIO driver's pipe; nothing reaches the
# device until the session has the console again, when the panel finds it as at a replug.
session_change() {
    wine "$session_tool" "$1" "$2" >>"$work/session-change.out" 2>&1
}
session_tool=$build/tests/win/orvelin-session-change.exe
[ -f "$session_tool" ] || fail "no $session_tool (run scripts/build-windows.sh)"
found=$(count_lines "Device found with PID: 2")
session_change "Orvelin KA2 - FW: $firmware" 2 || fail "no session change posted to the main window"
wait_for 10 has_line "Device handed over: session" || fail "the panel did not hand the device over"
handed=$(grep -a -m1 -o 'Device handed over: .*' "$logfile" | tr -d '\r')
answer=$(emulator asio-status 0 256 0 0 1)
[ "$answer" = "error: 2" ] || fail "the ASIO driver's pipe is still served while the device is handed over (asio-status: $answer)"
requests_away=$(wc -l <"$work/requests.json")
sleep 3 # three detection ticks and more than seven presence ticks
[ "$(wc -l <"$work/requests.json")" -eq "$requests_away" ] || fail "the device received requests while it was handed over"
# Found by its no-device title.
session_change "Orvelin Driver" 1 || fail "no session change posted to the window titled \"Orvelin Driver\""
wait_for 10 has_line "Device taken over: session" || fail "the panel did not take the device over"
wait_for 15 has_line "Device found with PID: 2" $((found + 1)) || fail "the device was not found again after the take-over"
resent=$(($(wc -l <"$work/requests.json") - requests_away))
[ "$resent" -gt 10 ] || fail "only $resent requests after the take-over: the controls were not resent"
wait_for 10 eval '[ "$(emulator asio-status 0 256 0 0 0)" = ok ]' || fail "the ASIO driver's pipe is not served again"
say "hand-over: \"$handed\", the ASIO pipe freed, no request for 3 s; take-over: the device found again, $resent requests resent"

# Unplugged, the program reads the model three times in vain and clears the panel; each replug
# as another model brings that model's panel.
replug() {
    local model=$1 title=$2 shot=$3 runs cleared closed n
    runs=$(count_lines "Error reading device PID from driver, error count: 1")
    cleared=$(count_lines "Cleared all widgets from base layout.")
    closed=$(count_lines "Device handle closed: the device is being removed")
    emulator_ok unplug
    wait_for 30 has_line "Cleared all widgets from base layout." $((cleared + 1)) || fail "the panel stayed after the unplug"
    for n in 1 2 3; do
        [ "$(count_lines "Error reading device PID from driver, error count: $n")" -eq $((runs + 1)) ] ||
            fail "the panel went without the three failed reads (count $n)"
    done
    # The removal notice closes every handle at once, the presence and the settings channels
    # among them, so nothing holds the removed device open.
    local released
    released=$(($(count_lines "Device handle closed: the device is being removed") - closed))
    [ "$released" -ge 2 ] || fail "the removal notice closed $released device handles, not the program's channels"
    local found
    found=$(count_lines "Device found with PID: $model")
    emulator_ok plug "$model"
    wait_for 30 has_line "Device found with PID: $model" $((found + 1)) || fail "the replugged model $model was not found"
    local window
    window=$(wine_find_window "$title - FW: $firmware" 10) || fail "no window \"$title - FW: $firmware\""
    sleep 1
    wine_screenshot "$window" "$shots/$shot" || fail "no screenshot $shot"
    say "unplug: $released handles closed by the removal notice, three failed reads, panel cleared; plug $model: \"Device found with PID: $model\", \"$title - FW: $firmware\""
}
replug 18 "Orvelin KA2 SE" e2e-ka2se.png
replug 15 "Orvelin KV" e2e-kv.png
replug 1 "Orvelin KA1" e2e-ka1.png

# Quit is the first entry of the tray menu.
wine_click_first_menu_entry OrvelinDriver "$shots/e2e-traymenu.png" || fail "the tray icon showed no menu"
wine_clean_exit "$program" 20 || fail "the program $WINE_EXIT_WHY after Quit"
program=
has_line "Settings dialog closed and resources cleaned up." || fail "no teardown line in the log"
emulator_ok quit
wait "$emulator_pid"
status=$?
emulator_pid=
[ $status -eq 0 ] || fail "the emulator ended with status $status"
say "Quit from the tray menu: status 0; the emulator ended with status 0"

# The memory floor: an empty window of the same Qt (one label, 760 x 320), run from a copy of the
# program's folder in the same prefix and measured the same way, 1 s after its window shows.
floor=${ORVELIN_E2E_FLOOR:-$build/tests/orvelin-empty-window.exe}
[ -f "$floor" ] || fail "no $floor (run scripts/build-windows.sh)"
rm -rf "$work/floor"
cp -r "$app" "$work/floor" && cp "$floor" "$work/floor/" || fail "cannot copy the program's folder"
wine_start_program "$work/floor/$(basename "$floor")"
program=$WINE_PROGRAM_PID
wine_find_window "Orvelin empty window" 30 >/dev/null || fail "the empty window did not show"
sleep 1
floor_pid=
for pid in $(pgrep -f 'orvelin-empty-window\.exe'); do
    grep -q 'orvelin-empty-window\.exe' "/proc/$pid/maps" 2>/dev/null && floor_pid=$pid && break
done
[ -n "$floor_pid" ] || fail "no wine process maps the empty window"
floor_kb=$(awk '/^VmRSS:/ { print $2 }' "/proc/$floor_pid/status")
kill "$floor_pid"
wait "$program"
program=
say "empty window of the same Qt: resident ${floor_kb} kB; the program's own share: $((rss_kb - floor_kb)) kB"

say "figures: start-up $startup_ms ms, resident ${rss_kb} kB with the KA2 panel (empty window ${floor_kb} kB), knob event $knob_event ms"
say "passed"
