#!/usr/bin/python3
"""The web remote's page in a real browser (headless Chromium through chromedriver) against the
real OrvelinDriver and orvelin-emulator on an X display: the page opens with the code, a tap high
on the headphone track changes nothing, dragging the handle sends the device the mixer block and
stores the value, the knob turned in the panel moves the slider, and an unplug shows the no-device
state. bench/web_remote_figures.py runs the same session for the figures of performance.md.

usage: web_remote_page.py --driver EXE --emulator EXE --ctl EXE [--screenshot PNG]
Run it on an X display (xvfb-run); it needs python3-selenium, chromium, chromium-driver, xdotool.
"""
import argparse
import json
import os
import socket
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By

# The headphone knob's middle in the KA2 window (tests/reference/ka2-defaults.png), where the
# mouse wheel turns it.
HEADPHONE_KNOB = (652, 100)


def wait(what, check, timeout=10.0):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        result = check()
        if result:
            return result
        time.sleep(0.02)
    raise AssertionError('timed out waiting for ' + what)


class Session:
    def __init__(self, args):
        self.args = args
        self.root = tempfile.mkdtemp(prefix='orvelin-web-')
        self.env = dict(os.environ)
        for name, folder in (('ORVELIN_RUNTIME_DIR', 'runtime'), ('XDG_RUNTIME_DIR', 'xdg-runtime'),
                             ('XDG_DATA_HOME', 'data'), ('XDG_CONFIG_HOME', 'config'), ('HOME', 'home'),
                             ('TMPDIR', 'tmp')):
            path = os.path.join(self.root, folder)
            os.makedirs(path, mode=0o700)
            self.env[name] = path
        self.env['QT_QPA_PLATFORM'] = 'xcb'
        self.env['QT_FORCE_STDERR_LOGGING'] = '1'
        self.env['LC_ALL'] = 'C.UTF-8'
        self.requests = os.path.join(self.root, 'requests.jsonl')
        self.processes = []
        self.read = 0
        self.block_count = 0

    def start(self, command, **kwargs):
        process = subprocess.Popen(command, env=self.env, **kwargs)
        self.processes.append(process)
        return process

    def ctl(self, *words):
        done = subprocess.run([self.args.ctl, '--json'] + list(words), env=self.env, capture_output=True,
                              text=True, timeout=10)
        return json.loads(done.stdout or done.stderr or '{}')

    def blocks(self):
        # Read on from where the last look stopped: a mixer block is a long line, and the last
        # line may still be half written.
        try:
            with open(self.requests, 'rb') as log:
                log.seek(self.read)
                data = log.read()
        except FileNotFoundError:
            return 0
        complete = data.rfind(b'\n') + 1
        self.read += complete
        self.block_count += data[:complete].count(b'"code":"0xFFDC2040"')
        return self.block_count

    def stored(self, key):
        with open(os.path.join(self.env['XDG_DATA_HOME'], 'OrvelinDriver', 'ka2.ini')) as ini:
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


def rss(pid):
    with open('/proc/%d/status' % pid) as status:
        for line in status:
            if line.startswith('VmRSS:'):
                return int(line.split()[1])
    return 0


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def browser(user_data, width, height):
    options = webdriver.ChromeOptions()
    options.binary_location = '/usr/bin/chromium'
    for argument in ('--headless', '--no-sandbox', '--disable-gpu', '--no-first-run',
                     '--disable-background-networking', '--disable-component-update', '--disable-sync',
                     '--user-data-dir=' + user_data, '--window-size=%d,%d' % (width, height)):
        options.add_argument(argument)
    return webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--driver', required=True)
    parser.add_argument('--emulator', required=True)
    parser.add_argument('--ctl', required=True)
    parser.add_argument('--screenshot')
    args = parser.parse_args()
    return run(args)


def run(args, figures=None):
    """The checks; figures(session, page, window, program, memory_off, address) runs where the
    remote is on, a page open and the knob turned."""

    s = Session(args)
    page = None
    try:
        port = free_port()
        folder = os.path.join(s.env['XDG_DATA_HOME'], 'OrvelinDriver')
        os.makedirs(folder)
        with open(os.path.join(folder, 'remote.ini'), 'w') as ini:
            ini.write('[Web]\nEnabled=false\nAddress=127.0.0.1\nPort=%d\n' % port)
        emulator = s.start([args.emulator, '--model', '2', '--log', s.requests], stdin=subprocess.PIPE,
                           stdout=subprocess.PIPE, text=True)
        assert emulator.stdout.readline().startswith('ready')
        program = s.start([args.driver], stderr=subprocess.DEVNULL)
        wait('the device in the panel', lambda: s.ctl('status').get('connected'))
        window = wait('the main window', lambda: subprocess.run(
            ['xdotool', 'search', '--onlyvisible', '--pid', str(program.pid)], capture_output=True,
            text=True, env=s.env).stdout.split())[-1]

        time.sleep(1)
        memory_off = rss(program.pid)
        remote = s.ctl('remote', 'on')
        address = remote['address']
        assert address.startswith('http://127.0.0.1:%d/?code=' % port), remote
        assert len(address.split('code=')[1]) >= 22

        page = browser(os.path.join(s.root, 'chromium'), 390, 844)
        page.get(address)
        wait('the page', lambda: page.find_element(By.ID, 'model').text == 'KA2')
        # The code left the address bar; the cookie carries it.
        assert 'code=' not in page.current_url, page.current_url
        slider = page.find_element(By.CSS_SELECTOR, '[aria-labelledby="label-headphone.volume"]')
        handle = slider.find_element(By.CLASS_NAME, 'handle')
        value = lambda: int(slider.get_attribute('aria-valuenow'))
        assert page.find_element(By.ID, 'label-headphone.volume').text == 'HEADPHONE Volume'
        assert slider.get_attribute('aria-valuetext') == '%d dB' % value()

        # A tap near the top of the track raises nothing.
        before, shown = s.blocks(), value()
        ActionChains(page).move_to_element_with_offset(slider, slider.size['width'] // 2 - 10, 0).click().perform()
        time.sleep(0.5)
        assert value() == shown and s.blocks() == before, (value(), shown)
        assert 'drag' in slider.find_element(By.XPATH, '../../p').text.lower()

        # The handle dragged up: the value follows it to the device, the INI file and the panel.
        ActionChains(page).click_and_hold(handle).move_by_offset(60, 0).move_by_offset(60, 0).release().perform()
        raised = value()
        assert raised > shown, (raised, shown)
        wait('the block', lambda: s.blocks() > before)
        wait('the panel', lambda: str(s.ctl('get', 'headphone.volume').get('value')) == str(raised))
        assert s.stored('HeadphoneValue') == str(raised)

        # A tap below the handle lowers.
        ActionChains(page).move_to_element_with_offset(slider, -slider.size['width'] // 2 + 30, 0).click().perform()
        lowered = wait('a lower value', lambda: value() < raised and value())
        wait('the panel', lambda: str(s.ctl('get', 'headphone.volume').get('value')) == str(lowered))

        # The knob turned by the mouse wheel in the panel: the slider follows.
        subprocess.run(['xdotool', 'mousemove', '--window', window, str(HEADPHONE_KNOB[0]),
                        str(HEADPHONE_KNOB[1]), 'click', '4'], env=s.env, check=True)
        wait('the knob on the page', lambda: value() != lowered)
        assert str(value()) == str(s.ctl('get', 'headphone.volume')['value'])

        if args.screenshot:
            # As a phone shows it: 390 by 844 points at twice the pixels, from the top.
            page.execute_cdp_cmd('Emulation.setDeviceMetricsOverride',
                                 {'width': 390, 'height': 844, 'deviceScaleFactor': 2, 'mobile': True})
            page.execute_script('window.scrollTo(0, 0)')
            time.sleep(0.3)
            page.save_screenshot(args.screenshot)
            page.execute_cdp_cmd('Emulation.clearDeviceMetricsOverride', {})

        if figures:
            figures(s, page, window, program, memory_off, address)

        # Unplugged: the page says so, and comes back with the device.
        emulator.stdin.write('unplug\n')
        emulator.stdin.flush()
        wait('the no-device state', lambda: page.find_element(By.ID, 'no-device').is_displayed(), 15)
        assert not page.find_elements(By.CSS_SELECTOR, '.control')
        emulator.stdin.write('plug 2\n')
        emulator.stdin.flush()
        wait('the device back', lambda: page.find_elements(By.CSS_SELECTOR, '.control'), 15)

        # The remote turned off: the page says the connection is lost.
        s.ctl('remote', 'off')
        wait('the lost line', lambda: 'lost' in page.find_element(By.ID, 'status').get_attribute('class'))
        print('web remote page: all checks passed')
        return 0
    finally:
        if page:
            page.quit()
        s.close()


if __name__ == '__main__':
    sys.exit(main())
