#!/usr/bin/env python3
"""scripts/run.sh on a terminal, with the programs of a build: every way out of a run ends all it
started and exits 0; a second run while a panel runs says so and leaves the panel's log alone;
the run keeps its settings and runtime folder in its own folder, and the line it prints for
orvelinctl reaches its panel.
    run_test.py BUILD-DIR"""

import os
import pty
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
RUN = os.path.join(ROOT, "scripts", "run.sh")


class Run:
    """One run.sh in a pseudo-terminal of its own, as a user's shell would start it."""

    def __init__(self, env):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.execve(RUN, [RUN], env)
        self.output = ""

    def read_until(self, pattern, seconds=120):
        deadline = time.monotonic() + seconds
        while not re.search(pattern, self.output):
            if time.monotonic() > deadline:
                raise AssertionError("no %r in:\n%s" % (pattern, self.output))
            if select.select([self.fd], [], [], 0.2)[0]:
                try:
                    self.output += os.read(self.fd, 4096).decode(errors="replace")
                except OSError:
                    raise AssertionError("run ended before %r:\n%s" % (pattern, self.output))
        return re.search(pattern, self.output)

    def type(self, text):
        os.write(self.fd, text.encode())

    def exit_status(self, seconds=60):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            try:
                if select.select([self.fd], [], [], 0.2)[0]:
                    self.output += os.read(self.fd, 4096).decode(errors="replace")
            except OSError:
                pass
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                os.close(self.fd)
                return os.waitstatus_to_exitcode(status)
        raise AssertionError("the run did not end:\n" + self.output)


def stat(pid):
    """State, parent and start time of a process; None when it is gone."""
    try:
        with open("/proc/%s/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return fields[0], int(fields[1]), fields[19]
    except (OSError, IndexError, ValueError):
        return None


def descendants(pid):
    """The processes below pid, each as (pid, start time): a pid alone may be reused later."""
    children = {}
    for entry in os.listdir("/proc"):
        info = stat(entry) if entry.isdigit() else None
        if info:
            children.setdefault(info[1], []).append((int(entry), info[2]))
    found, todo = [], [pid]
    while todo:
        for child in children.get(todo.pop(), []):
            found.append(child)
            todo.append(child[0])
    return found


def alive(process):
    info = stat(process[0])
    return info is not None and info[0] != "Z" and info[2] == process[1]


def name(pid):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return "%d %s" % (pid, f.read().replace(b"\0", b" ").decode(errors="replace").strip())
    except OSError:
        return str(pid)


def main():
    build = os.path.abspath(sys.argv[1])
    scratch = tempfile.mkdtemp(prefix="run-test.")
    os.mkdir(os.path.join(scratch, "tmp"))
    folder = os.path.join(scratch, "run")
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR", "ORVELIN_RUNTIME_DIR")}
    # The instance guard keys on TMPDIR: this test's panels meet only each other.
    env.update(TMPDIR=os.path.join(scratch, "tmp"), ORVELIN_RUN_BUILD=folder, ORVELIN_RUN_PREBUILT=build,
               HOME=os.path.join(scratch, "home"))
    log = os.path.join(folder, "OrvelinDriver.log")
    try:
        ways_out = [("quit", lambda run: run.type("quit\n")),
                    ("Ctrl-D", lambda run: run.type("\x04")),
                    ("Ctrl-C", lambda run: run.type("\x03")),
                    ("the panel's own end", lambda run: os.kill(int(run.panel), signal.SIGTERM))]
        for number, (way, end) in enumerate(ways_out):
            run = Run(env)
            run.panel = run.read_until(r"OrvelinDriver started \(pid (\d+)\)").group(1)
            reach = run.read_until(r"reach this panel from another terminal: (.*) status\r?\n").group(1)
            run.read_until(r"Commands for the emulated device")
            started = descendants(run.pid)
            assert len(started) >= 3, "%s: the run shows fewer processes than it started: %s" % (way, started)

            if number == 0:
                # The settings and the runtime folder are the run's own, and the printed line
                # reaches the panel from a shell without XDG_RUNTIME_DIR.
                assert os.path.isfile(os.path.join(folder, "data", "OrvelinDriver", "ka2.ini")), \
                    "no settings in the run's folder"
                assert not os.path.exists(os.path.join(scratch, "home", ".local")), "the run wrote to HOME"
                status = subprocess.run(reach + " status", shell=True, env=env, capture_output=True, text=True)
                assert status.returncode == 0 and "model: KA2" in status.stdout, \
                    "the printed orvelinctl line does not reach the panel: %s%s" % (status.stdout, status.stderr)

                # A second run finds the panel running and touches neither it nor its log.
                with open(log, "rb") as f:
                    before = f.read()
                second = subprocess.run([RUN], env=env, stdin=subprocess.DEVNULL, capture_output=True,
                                        text=True, timeout=120)
                assert second.returncode != 0, "the second run did not fail: " + second.stdout
                assert "A panel is already running" in second.stderr, "the second run said: " + second.stderr
                with open(log, "rb") as f:
                    assert f.read().startswith(before), "the second run touched the panel's log"
                assert stat(run.panel) is not None, "the second run ended the first panel"

            end(run)
            status = run.exit_status()
            assert status == 0, "%s: exit status %d:\n%s" % (way, status, run.output)
            # A process the script ended may still be on its way out on a busy machine; one left
            # behind is still there long after.
            deadline = time.monotonic() + 20
            while [p for p in started if alive(p)] and time.monotonic() < deadline:
                time.sleep(0.2)
            left = [name(process[0]) for process in started if alive(process)]
            assert not left, "%s: still running: %s" % (way, left)
            assert "Ended: the panel, the emulator, Xvfb." in run.output, "%s: no summary:\n%s" % (way, run.output)
            assert not [n for n in os.listdir(folder) if n.startswith("run.")], \
                "%s: the run's temporary folder is left" % way
            print("%s: exit 0, nothing left running" % way)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
