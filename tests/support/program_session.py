"""The real programs in private folders for the Python tests, as tests/e2e/E2eSession does for the
C++ ones (even the single-instance keys are private), and nothing left running afterwards."""
import json
import os
import shutil
import socket
import subprocess
import tempfile
import time


def private_environment(folder, runtime=None):
    """This environment without Qt's, XDG's, D-Bus's and the program's own settings, pointed at
    private folders: folder(name) makes each (mode 0700) and returns its path; runtime, when given,
    is the program's runtime folder instead of folder('runtime')."""
    env = {key: value for key, value in os.environ.items()
           if not key.startswith(('QT_', 'XDG_', 'DBUS_', 'ORVELIN_'))}
    for name, where in (('HOME', 'home'), ('TMPDIR', 'tmp'), ('XDG_RUNTIME_DIR', 'xdg-runtime'),
                        ('XDG_DATA_HOME', 'data'), ('XDG_CONFIG_HOME', 'config')):
        env[name] = folder(where)
    env.update({'ORVELIN_RUNTIME_DIR': runtime or folder('runtime'), 'QT_QPA_PLATFORM': 'xcb',
                'QT_FORCE_STDERR_LOGGING': '1', 'LC_ALL': 'C.UTF-8'})
    return env


def wait(what, check, timeout=10.0):
    """check()'s first true result within timeout seconds; AssertionError naming what otherwise."""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        result = check()
        if result:
            return result
        time.sleep(0.02)
    raise AssertionError('timed out waiting for ' + what)


def rss(pid):
    """In kB."""
    with open('/proc/%d/status' % pid) as status:
        for line in status:
            if line.startswith('VmRSS:'):
                return int(line.split()[1])
    return 0


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


class ProgramSession:
    def __init__(self, args):
        self.args = args  # its driver, emulator and ctl are the programs
        self.root = tempfile.mkdtemp(prefix='orvelin-session-')
        self.env = private_environment(self.folder)
        self.settings = self.folder('data/OrvelinDriver')
        self.requests = os.path.join(self.root, 'requests.jsonl')
        self.processes = []

    def folder(self, name):
        path = os.path.join(self.root, name)
        os.makedirs(path, mode=0o700, exist_ok=True)
        return path

    def start(self, command, **kwargs):
        process = subprocess.Popen(command, env=self.env, **kwargs)
        self.processes.append(process)
        return process

    def start_emulator(self, model):
        """The emulator serving this model, its request log in self.requests; command() talks to it."""
        self.emulator = self.start([self.args.emulator, '--model', str(model), '--log', self.requests],
                                   stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        assert self.emulator.stdout.readline().startswith('ready'), 'the emulator did not start'

    def command(self, line):
        self.emulator.stdin.write(line + '\n')
        self.emulator.stdin.flush()

    def ctl(self, *words):
        done = subprocess.run([self.args.ctl, '--json'] + list(words), env=self.env, capture_output=True,
                              text=True, timeout=10)
        return json.loads(done.stdout or done.stderr or '{}')

    def stored(self, name, key):
        """A key's value (without its group) in the settings file name, or None."""
        with open(os.path.join(self.settings, name)) as ini:
            for line in ini:
                if line.startswith(key + '='):
                    return line.split('=', 1)[1].strip()
        return None

    def close(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
        shutil.rmtree(self.root, ignore_errors=True)
