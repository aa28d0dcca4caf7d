#!/usr/bin/env python3
"""Soak run of the real OrvelinDriver against the real orvelin-emulator.

Both run on a private Xvfb display with private settings, runtime and temporary folders. The
script plays a user with xdotool: knob drags, wheel turns, typed knob values, switch clicks and
the settings dialog's boxes, so every change goes through the program's own handlers to the
device. Meanwhile it unplugs and replugs the device at random moments (some in the middle of a
knob drag, replugging any of the four models) and sends bursts of ASIO records of random sizes
through the emulator's asio-raw command.

It fails when the program crashes, hangs (no driver request and no log line for 10 s), exits
other than cleanly on SIGTERM at the end, grows its resident memory by more than the limit past
its first minute (a third of the run for runs shorter than three minutes), when any INI file
does not parse or holds a value out of range at any moment, or when the device's final state
differs from the stored values.

    python3 tests/soak/soak.py --duration 600 --driver build/app/OrvelinDriver \\
        --emulator build/emulator/orvelin-emulator --probe build/tests/soak-layout-probe

Exit code 0 passed, 1 failed, 77 skipped (no Xvfb or xdotool).
"""

import argparse
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from program_session import private_environment, rss  # noqa: E402

SKIPPED = 77
DIALOG_PLACE = (1040, 0)
HANG_LIMIT_S = 10.0
BLOCK_CODE = b'"code":"0xFFDC2040"'
VENDOR_CODE = b'"code":"0xFFDC209C"'

BUFFER_SIZES = ["48", "64", "96", "128", "192", "256", "512", "1024"]
SETTING_VALUES = {
    "Audio/BufferSize": set(BUFFER_SIZES),
    "USB/LatencySize": {"8", "16", "24", "32"},
    "USB/SlowMode": {"Disabled", "Enabled"},
}
VOLUME = (-80, 6)


def dual_input_keys(instrument):
    switches = ["Mic120dBIsChecked", "Mic148VIsChecked", "MonitorMic1IsChecked", "Mic220dBIsChecked",
                "Mic248VIsChecked", "MonitorMic2IsChecked", "SpeakerMuteIsChecked", "SpeakerDimIsChecked",
                "HeadphoneMuteIsChecked", "HeadphoneSourceIsChecked"]
    if instrument:
        switches += ["Mic1InstrIsChecked", "Mic2InstrIsChecked"]
    knobs = {"Mic1Value": (0, 56), "Mic2Value": (0, 56), "SpeakerValue": VOLUME, "HeadphoneValue": VOLUME,
             "OtgToHpValue": VOLUME, "OtgToSPValue": VOLUME}
    return switches, knobs


# Each panel file: its switches ("Button/...") and knobs ("Dial/...") with their ranges.
PANEL_FILES = {
    "ka1.ini": (["MicInstrIsChecked", "Mic20dBIsChecked", "Mic48VIsChecked", "MonitorMicIsChecked",
                 "HeadphoneMuteIsChecked", "HeadphoneDimIsChecked"],
                {"MicValue": (0, 42), "HeadphoneValue": VOLUME, "OtgToHpValue": VOLUME}),
    "kv.ini": (["MonitorMicIsChecked", "HeadphoneMuteIsChecked", "HeadphoneDimIsChecked"],
               {"MicValue": (0, 42), "HeadphoneValue": VOLUME}),
    "ka2.ini": dual_input_keys(False),
    "ka2se.ini": dual_input_keys(True),
}
MODEL_FILES = {1: "ka1.ini", 2: "ka2.ini", 15: "kv.ini", 18: "ka2se.ini"}


class SoakFailure(Exception):
    pass


def parse_ini(text):
    """The INI files as the program writes them: [Section] lines and key=value lines."""
    values = {}
    section = "General"
    if text and not text.endswith("\n"):
        raise ValueError("the file does not end with a line end")
    for number, line in enumerate(text.split("\n")[:-1], 1):
        if line == "":
            continue
        if line.startswith("[") and line.endswith("]") and len(line) > 2:
            section = line[1:-1]
            continue
        key, equals, value = line.partition("=")
        if not equals or not key:
            raise ValueError("line %d is neither a section nor a key: %r" % (number, line))
        name = key if section == "General" else section + "/" + key
        if name in values:
            raise ValueError("key %s twice" % name)
        values[name] = value
    return values


def check_ini(name, values):
    """Problems with one parsed file: unknown keys and values out of range."""
    problems = []
    if name == "setting.ini":
        for key, value in values.items():
            if key not in SETTING_VALUES:
                problems.append("unknown key %s" % key)
            elif value not in SETTING_VALUES[key]:
                problems.append("%s=%s is not one of the items" % (key, value))
        return problems
    switches, knobs = PANEL_FILES[name]
    for key, value in values.items():
        group, _, short = key.partition("/")
        if group == "Button" and short in switches:
            if value not in ("true", "false"):
                problems.append("%s=%s is not a switch state" % (key, value))
        elif group == "Dial" and short in knobs:
            low, high = knobs[short]
            if not re.fullmatch(r"-?\d+", value) or not low <= int(value) <= high:
                problems.append("%s=%s is outside %d..%d" % (key, value, low, high))
        else:
            problems.append("unknown key %s" % key)
    return problems


def panel_keys(name):
    switches, knobs = PANEL_FILES[name]
    return {"Button/" + s for s in switches} | {"Dial/" + k for k in knobs}


class Soak:
    def __init__(self, args):
        self.args = args
        self.random = random.Random(args.seed)
        self.work = args.work_dir
        self.failures = []
        self.lock = threading.Lock()
        self.stop = threading.Event()
        self.processes = []
        self.emulator = None
        self.program = None
        self.started = time.monotonic()
        self.device_lines = 0
        self.device_blocks = 0
        self.device_vendor = 0
        self.last_activity = time.monotonic()
        self.program_log = []
        self.current_model = 2
        self.rss = []
        self.complete_files = set()
        self.ini_reads = 0
        self.counts = {}

    # ---- set-up ----------------------------------------------------------------------------

    def folder(self, name):
        path = os.path.join(self.work, name)
        os.makedirs(path, exist_ok=True)
        os.chmod(path, 0o700)
        return path

    def start_display(self):
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1600x900x24",
                                 "-nolisten", "tcp"], pass_fds=(write_end,), stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        self.processes.append(xvfb)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 15
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_end)
        if not number.strip():
            raise SoakFailure("Xvfb did not start")
        return ":" + number.decode().strip()

    def environment(self, display, prefix=""):
        """Private folders for one program. Socket paths must stay under 108 bytes, so the
        runtime folder lives in a short temporary folder whatever the work folder is."""
        runtime = os.path.join(self.short, prefix + "runtime")
        os.makedirs(runtime, mode=0o700)
        env = private_environment(lambda name: self.folder(prefix + name), runtime)
        env["DISPLAY"] = display
        return env

    def read_device_log(self, path):
        with open(path, "rb", buffering=0) as log:
            while True:
                chunk = log.read(1 << 20)
                if not chunk:
                    return
                lines = chunk.count(b"\n")
                with self.lock:
                    self.device_lines += lines
                    self.device_blocks += chunk.count(BLOCK_CODE)
                    self.device_vendor += chunk.count(VENDOR_CODE)
                    if lines:
                        self.last_activity = time.monotonic()

    def read_program_log(self, stream):
        for raw in stream:
            line = raw.decode("utf-8", "replace").rstrip("\n")
            with self.lock:
                self.last_activity = time.monotonic()
                self.program_log.append(line)
                found = re.search(r"Device found with PID: (\d+)", line)
                if found:
                    self.current_model = int(found.group(1))
                    self.counts["panels built"] = self.counts.get("panels built", 0) + 1
                if "AddressSanitizer" in line or "runtime error:" in line or "LeakSanitizer" in line:
                    self.failures.append("sanitizer: " + line)
                if line.startswith("Failed to write settings file:"):
                    self.failures.append("settings not written: " + line)

    def start(self):
        for tool in ("Xvfb", "xdotool"):
            if not shutil.which(tool):
                print("soak skipped: %s is not installed" % tool)
                sys.exit(SKIPPED)
        if os.path.exists(self.work):
            shutil.rmtree(self.work)
        self.folder("")
        self.short = tempfile.mkdtemp(prefix="osoak-", dir="/tmp")
        display = self.start_display()
        self.env = self.environment(display)

        probe = subprocess.run([self.args.probe],
                               env=self.environment(display, "probe-"),
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=120, check=True)
        self.layout = json.loads(probe.stdout)
        fifo = os.path.join(self.work, "device-requests")
        os.mkfifo(fifo, 0o600)
        threading.Thread(target=self.read_device_log, args=(fifo,), daemon=True).start()
        self.emulator = subprocess.Popen(
            [self.args.emulator, "--model", "2", "--firmware", "V9.8.7.654", "--log", fifo], env=self.env,
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.processes.append(self.emulator)
        if not self.emulator.stdout.readline().startswith(b"ready"):
            raise SoakFailure("the emulator did not start")

        self.started = time.monotonic()
        self.program = subprocess.Popen([self.args.driver], env=self.env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.PIPE, start_new_session=True)
        self.processes.append(self.program)
        threading.Thread(target=self.read_program_log, args=(self.program.stderr,), daemon=True).start()
        self.wait_for_panels(1, 30)
        self.window = self.find_window("^Orvelin", 15)
        if not self.window:
            raise SoakFailure("the main window did not show")
        # The window takes the size of each panel it shows; the probe measured the same windows.
        self.xdotool("windowmove", self.window, "0", "0")
        expected = self.layout["models"]["2"]
        time.sleep(0.5)
        shown = self.window_size()
        if shown != (expected["width"], expected["height"]):
            raise SoakFailure("the KA2 window is %dx%d, the probe's %dx%d" % (
                shown + (expected["width"], expected["height"])))
        threading.Thread(target=self.watch, daemon=True).start()

    # ---- helpers ---------------------------------------------------------------------------

    def fail(self, text):
        with self.lock:
            self.failures.append(text)

    def count(self, what, n=1):
        self.counts[what] = self.counts.get(what, 0) + n

    def xdotool(self, *arguments):
        result = subprocess.run(["xdotool"] + [str(a) for a in arguments], env=self.env,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=30)
        return result.stdout.decode().split()

    def window_size(self):
        geometry = dict(line.split("=", 1) for line in self.xdotool(
            "getwindowgeometry", "--shell", self.window) if "=" in line)
        return (int(geometry.get("WIDTH", 0)), int(geometry.get("HEIGHT", 0)))

    def find_window(self, title, timeout):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = self.xdotool("search", "--onlyvisible", "--pid", self.program.pid, "--name", title)
            if found:
                return found[0]
            time.sleep(0.2)
        return None

    def command(self, line):
        self.emulator.stdin.write(line.encode() + b"\n")
        self.emulator.stdin.flush()
        answer = self.emulator.stdout.readline().decode().strip()
        if not answer:
            raise SoakFailure("the emulator stopped answering (%s)" % line)
        return answer

    def panels_built(self):
        with self.lock:
            return self.counts.get("panels built", 0)

    def wait_for_panels(self, count, timeout):
        deadline = time.monotonic() + timeout
        while self.panels_built() < count:
            if time.monotonic() > deadline:
                raise SoakFailure("no panel was built within %d s" % timeout)
            if self.program.poll() is not None:
                raise SoakFailure("the program ended with %s" % self.program.returncode)
            time.sleep(0.1)

    def elapsed(self):
        return time.monotonic() - self.started

    # ---- the watcher: crash, hang, memory, INI files ---------------------------------------

    def watch(self):
        data = os.path.join(self.work, "data")
        next_sample = 0.0
        while not self.stop.is_set():
            now = time.monotonic()
            if self.program.poll() is not None:
                self.fail("the program ended with %s at %.1f s" % (self.program.returncode, self.elapsed()))
                return
            with self.lock:
                quiet = now - self.last_activity
            if quiet > HANG_LIMIT_S:
                self.fail("no driver request and no log line for %.1f s at %.1f s" % (quiet, self.elapsed()))
                return
            if now >= next_sample:
                next_sample = now + 1.0
                try:
                    kb = rss(self.program.pid)  # 0 once the program has ended
                    if kb:
                        self.rss.append((self.elapsed(), kb))
                except OSError:
                    pass
            self.check_files(data)
            time.sleep(0.1)

    def check_files(self, data):
        for folder, _, names in os.walk(data):
            for name in names:
                path = os.path.join(folder, name)
                if name.endswith(".damaged"):
                    self.fail("a settings file was found damaged: " + path)
                    continue
                if name != "setting.ini" and name not in PANEL_FILES:
                    continue
                try:
                    with open(path, encoding="utf-8") as file:
                        text = file.read()
                except FileNotFoundError:
                    continue
                except (OSError, UnicodeDecodeError) as error:
                    self.fail("%s cannot be read: %s" % (name, error))
                    continue
                self.ini_reads += 1
                try:
                    values = parse_ini(text)
                except ValueError as error:
                    self.fail("%s does not parse: %s\n%s" % (name, error, text))
                    continue
                for problem in check_ini(name, values):
                    self.fail("%s: %s" % (name, problem))
                if name in PANEL_FILES:
                    present = panel_keys(name) <= set(values)
                    if present:
                        self.complete_files.add(name)
                    elif name in self.complete_files:
                        self.fail("%s lost keys: %s" % (name, sorted(panel_keys(name) - set(values))))

    # ---- the user ---------------------------------------------------------------------------

    def controls(self, kind):
        return self.layout["models"][str(self.current_model)][kind]

    def at(self, place):
        return ["mousemove", "--window", self.window, place["x"], place["y"]]

    def drag_steps(self, steps):
        chain = []
        for _ in range(steps):
            step = self.random.choice([-6, -4, -3, -2, -1, 1, 2, 3, 4, 6])
            dx = self.random.choice([0, 0, 0, -2, 2])
            chain += ["mousemove_relative", "--", dx, step, "sleep", "0.015"]
        return chain

    def knob_drag(self, middle=None):
        knob = self.random.choice(self.controls("knobs"))
        steps = self.random.randint(6, 40)
        self.xdotool(*(self.at(knob) + ["mousedown", "1"] + self.drag_steps(steps // 2)))
        if middle:
            middle()
        self.xdotool(*(self.drag_steps(steps - steps // 2) + ["mouseup", "1"]))
        self.count("knob drags")

    def knob_wheel(self):
        knob = self.random.choice(self.controls("knobs"))
        self.xdotool(*(self.at(knob) + ["click", "--repeat", self.random.randint(1, 6), "--delay", "25",
                                        self.random.choice(["4", "5"])]))
        self.count("wheel turns")

    def knob_typed(self):
        knob = self.random.choice(self.controls("knobs"))
        text = self.random.choice([str(self.random.randint(-120, 120)), str(self.random.randint(-80, 6)) + "dB",
                                   "", "x1", "99999999999"])
        self.xdotool(*(self.at(knob) + ["click", "--repeat", "2", "--delay", "60", "1"]))
        if text:
            self.xdotool("type", "--delay", "15", text)
        self.xdotool("key", "Return")
        self.count("typed values")

    def knob_reset(self):
        knob = self.random.choice(self.controls("knobs"))
        self.xdotool(*(["keydown", "ctrl"] + self.at(knob) + ["click", "1", "keyup", "ctrl"]))
        self.count("ctrl clicks")

    def switch_click(self):
        switch = self.random.choice(self.controls("switches"))
        self.xdotool(*(self.at(switch) + ["click", "1"]))
        self.count("switch clicks")

    def asio_burst(self):
        for _ in range(self.random.randint(3, 20)):
            roll = self.random.random()
            if roll < 0.3:
                size = int(self.random.choice(BUFFER_SIZES))
                record = [0, size, 0, 0, 1 if self.random.random() < 0.3 else 0]
                payload = b"".join(v.to_bytes(4, "little") for v in record)
            else:
                length = self.random.choice([self.random.randint(1, 19), 20, self.random.randint(21, 1024),
                                             self.random.randint(1025, 1600)])
                payload = bytes(self.random.getrandbits(8) for _ in range(length))
                if self.random.random() < 0.7 and length >= 20:
                    payload = payload[:16] + bytes(4) + payload[20:]
            answer = self.command("asio-raw " + payload.hex())
            self.count("asio messages")
            if answer != "ok":
                self.count("asio messages refused by the pipe")
        self.move_dialog()
        self.count("asio bursts")

    def move_dialog(self):
        for window in self.xdotool("search", "--onlyvisible", "--pid", self.program.pid, "--name", "^Settings$"):
            self.xdotool("windowmove", window, DIALOG_PLACE[0], DIALOG_PLACE[1])

    def dialog_use(self):
        windows = self.xdotool("search", "--onlyvisible", "--pid", self.program.pid, "--name", "^Settings$")
        if not windows:
            self.command("asio-status 0 %s 0 0 1" % self.random.choice(BUFFER_SIZES))
            time.sleep(0.3)
            self.move_dialog()
            self.count("dialog opened")
            return
        dialog = windows[0]
        if self.random.random() < 0.25:
            ok = self.layout["dialog"]["ok"]
            self.xdotool("mousemove", "--window", dialog, ok["x"], ok["y"], "click", "1")
            self.count("dialog OK")
            return
        box = self.random.choice(self.layout["dialog"]["boxes"])
        self.xdotool("mousemove", "--window", dialog, box["x"], box["y"], "click", "--repeat",
                     self.random.randint(1, 3), "--delay", "40", self.random.choice(["4", "5"]))
        self.count("dialog box turns")

    # ---- the run ---------------------------------------------------------------------------

    def unplug(self):
        answer = self.command("unplug")
        if answer != "ok":
            self.fail("unplug answered " + answer)
        self.count("unplugs")

    def plug(self):
        model = self.random.choice([2, 2, 1, 15, 18])
        answer = self.command("plug %d" % model)
        if answer != "ok":
            self.fail("plug answered " + answer)
        self.count("replugs")
        self.count("replugged as model %d" % model)

    def run(self):
        duration = self.args.duration
        cycles = self.args.cycles if self.args.cycles else max(3, round(50 * duration / 600))
        unplugs = sorted(self.random.uniform(5, max(6, duration - 12)) for _ in range(cycles))
        replug_at = None
        actions = [(self.knob_drag, 34), (self.knob_wheel, 14), (self.knob_typed, 5), (self.knob_reset, 2),
                   (self.switch_click, 22), (self.asio_burst, 8), (self.dialog_use, 8),
                   (lambda: time.sleep(self.random.uniform(0.1, 0.8)), 7)]
        functions = [a for a, _ in actions]
        weights = [w for _, w in actions]
        while self.elapsed() < duration and not self.failures:
            now = self.elapsed()
            if replug_at is not None and now >= replug_at:
                if self.random.random() < 0.3:
                    self.knob_drag(middle=self.plug)
                    self.count("replugs during a drag")
                else:
                    self.plug()
                replug_at = None
            elif replug_at is None and unplugs and now >= unplugs[0]:
                unplugs.pop(0)
                if self.random.random() < 0.5:
                    self.knob_drag(middle=self.unplug)
                    self.count("unplugs during a drag")
                else:
                    self.unplug()
                replug_at = self.elapsed() + self.random.uniform(0.3, 3.0)
            else:
                self.random.choices(functions, weights)[0]()
        if replug_at is not None:
            self.plug()
        if unplugs and not self.failures:
            self.fail("%d unplug cycles did not fit in the run" % len(unplugs))

    def settle_and_compare(self):
        """With the device plugged and the panel rebuilt, the device holds what the file holds."""
        built = self.panels_built()
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline and self.panels_built() == built:
            time.sleep(0.2)
        time.sleep(2)
        state = json.loads(self.command("state"))
        name = MODEL_FILES.get(state["model"])
        path = os.path.join(self.work, "data")
        files = [os.path.join(f, n) for f, _, ns in os.walk(path) for n in ns if n == name]
        if not files:
            self.fail("no %s after the run" % name)
            return
        with open(files[0], encoding="utf-8") as file:
            values = parse_ini(file.read())
        inputs = 2 if name.startswith("ka2") else 1
        for index in range(inputs):
            number = str(index + 1) if inputs == 2 else ""
            expected = {"micGain": 2 * int(values["Dial/Mic%sValue" % number])}
            if name != "kv.ini":
                expected["pad"] = int(values["Button/Mic%s20dBIsChecked" % number] == "true")
                expected["phantom"] = int(values["Button/Mic%s48VIsChecked" % number] == "true")
            if name in ("ka1.ini", "ka2se.ini"):
                expected["instrument"] = int(values["Button/Mic%sInstrIsChecked" % number] == "true")
            for field, value in expected.items():
                if int(state[field][index]) != value:
                    self.fail("device %s[%d] is %s, the file says %s" % (field, index, state[field][index], value))

    def finish(self):
        self.settle_and_compare()
        self.stop.set()
        self.program.send_signal(signal.SIGTERM)
        try:
            code = self.program.wait(15)
            if code != 0:
                self.fail("the program ended with %d on SIGTERM" % code)
        except subprocess.TimeoutExpired:
            self.fail("the program did not end within 15 s of SIGTERM")
        self.check_files(os.path.join(self.work, "data"))
        for folder, _, names in os.walk(os.path.join(self.work, "data")):
            for name in names:
                if name in ("OrvelinDriver.log", "OrvelinDriver.old.log"):
                    # The program's log file shares the folder on Linux; it stays within 1 MiB.
                    size = os.path.getsize(os.path.join(folder, name))
                    if size > 1024 * 1024:
                        self.fail("log file %s has %d bytes, more than 1 MiB" % (name, size))
                elif not name.endswith(".ini"):
                    self.fail("left behind in the settings folder: " + name)

    def memory(self):
        warmup = min(60.0, self.args.duration / 3)
        after = [kb for t, kb in self.rss if t >= warmup]
        if not after:
            return None
        baseline = after[0]
        growth = (max(after) - baseline) / 1024
        return warmup, baseline / 1024, max(after) / 1024, growth

    def cleanup(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                if process is self.emulator:
                    try:
                        process.stdin.write(b"quit\n")
                        process.stdin.flush()
                        process.wait(5)
                        continue
                    except (OSError, subprocess.TimeoutExpired):
                        pass
                process.kill()
                process.wait()
        if getattr(self, "short", None):
            shutil.rmtree(self.short, ignore_errors=True)

    def report(self):
        with open(os.path.join(self.work, "program.log"), "w", encoding="utf-8") as log:
            log.writelines(line + "\n" for line in self.program_log)
        print("soak: %.0f s, seed %d" % (self.elapsed(), self.args.seed))
        for what in sorted(self.counts):
            print("  %-36s %d" % (what, self.counts[what]))
        print("  %-36s %d (%d mixer blocks, %d vendor commands)" % (
            "device requests", self.device_lines, self.device_blocks, self.device_vendor))
        print("  %-36s %d" % ("INI file readings checked", self.ini_reads))
        memory = self.memory()
        if memory:
            print("  resident memory at %.0f s: %.1f MB, highest after: %.1f MB, growth %.2f MB" % memory)
            limit = self.args.memory_limit_mb
            if limit > 0 and memory[3] > limit:
                self.fail("memory grew by %.2f MB after %.0f s (limit %d MB)" % (memory[3], memory[0], limit))
        if self.device_blocks == 0 or self.device_vendor == 0:
            self.fail("no control change reached the device")
        for failure in self.failures[:20]:
            print("FAILED: " + failure)
        if self.failures:
            print("last lines of the program's log:")
            for line in self.program_log[-30:]:
                print("  " + line)
        print("soak " + ("FAILED" if self.failures else "passed"))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--duration", type=float, default=600, help="seconds of random use (default 600)")
    parser.add_argument("--cycles", type=int, default=0,
                        help="unplug/replug cycles (default 50 per 10 minutes, at least 3)")
    parser.add_argument("--memory-limit-mb", type=float, default=5, help="0 to only report memory")
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--emulator", required=True)
    parser.add_argument("--probe", required=True, help="the soak-layout-probe program")
    parser.add_argument("--work-dir", default=None, help="kept after the run (default: a temporary folder)")
    args = parser.parse_args()
    if args.seed is None:
        args.seed = random.randrange(1 << 31)
    temporary = None
    if args.work_dir is None:
        temporary = tempfile.mkdtemp(prefix="orvelin-soak-")
        args.work_dir = temporary
    soak = Soak(args)
    try:
        soak.start()
        soak.run()
        soak.finish()
    except (SoakFailure, subprocess.SubprocessError, OSError, ValueError, KeyError) as error:
        soak.fail("%s: %s" % (type(error).__name__, error))
    finally:
        soak.stop.set()
        soak.cleanup()
    soak.report()
    if temporary and not soak.failures:
        shutil.rmtree(temporary, ignore_errors=True)
    return 1 if soak.failures else 0


if __name__ == "__main__":
    sys.exit(main())
