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
import os
import subprocess
import sys
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from program_session import ProgramSession, free_port, rss, wait  # noqa: E402,F401 (rss for the figures)

# The headphone knob's middle in the KA2 window (tests/reference/ka2-defaults.png), where the
# mouse wheel turns it.
HEADPHONE_KNOB = (652, 100)


class Session(ProgramSession):
    def __init__(self, args):
        super().__init__(args)
        self.read = 0
        self.block_count = 0

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
    for program in ('--driver', '--emulator', '--ctl'):
        parser.add_argument(program, required=True)
    parser.add_argument('--screenshot')
    return run(parser.parse_args())


def run(args, figures=None):
    """The checks; figures(session, page, window, program, memory_off, address) runs where the
    remote is on, a page open and the knob turned."""

    s = Session(args)
    page = None
    try:
        port = free_port()
        with open(os.path.join(s.settings, 'remote.ini'), 'w') as ini:
            ini.write('[Web]\nEnabled=false\nAddress=127.0.0.1\nPort=%d\n' % port)
        s.start_emulator(2)
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
        panel = lambda: str(s.ctl('get', 'headphone.volume').get('value'))
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
        wait('the panel', lambda: panel() == str(raised))
        assert s.stored('ka2.ini', 'HeadphoneValue') == str(raised)

        # A tap below the handle lowers.
        ActionChains(page).move_to_element_with_offset(slider, -slider.size['width'] // 2 + 30, 0).click().perform()
        lowered = wait('a lower value', lambda: value() < raised and value())
        wait('the panel', lambda: panel() == str(lowered))

        # The knob turned by the mouse wheel in the panel: the slider follows.
        subprocess.run(['xdotool', 'mousemove', '--window', window, *map(str, HEADPHONE_KNOB), 'click', '4'],
                       env=s.env, check=True)
        wait('the knob on the page', lambda: value() != lowered)
        assert str(value()) == panel()

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
        s.command('unplug')
        wait('the no-device state', lambda: page.find_element(By.ID, 'no-device').is_displayed(), 15)
        assert not page.find_elements(By.CSS_SELECTOR, '.control')
        s.command('plug 2')
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
