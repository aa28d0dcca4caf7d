#!/usr/bin/python3
"""Figures of the web remote for docs/performance.md, in the session of the page's browser test
(tests/e2e/web_remote_page.py): one set from the page against the knob event, and the program's
memory with the remote off and with two pages open. Nothing is asserted.

usage: web_remote_figures.py --driver EXE --emulator EXE --ctl EXE     (on an X display)
"""
import os
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e'))
import web_remote_page  # noqa: E402
from web_remote_page import HEADPHONE_KNOB, rss, wait  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402


def figures(s, page, window, program, memory_off, address):
    """One set from the page against the knob event, in turns so both meet the same load, each
    timed until the browser hears it done: the page's set on a WebSocket of the page's own origin
    until its reply, a wheel step through XTest on the knob until the page hears the change. Both
    roads end with the device's block and the INI file written."""
    from Xlib import X, display
    from Xlib.ext import xtest
    page.execute_async_script("""
        const done = arguments[arguments.length - 1];
        const socket = new WebSocket('ws://' + location.host + '/socket');
        let waiting = null;
        socket.onmessage = (e) => {
            const m = JSON.parse(e.data);
            if (m.type === 'state' && !window.timedSet) {
                window.timedClose = () => socket.close();
                window.timedSet = (value, reply) => {
                    waiting = { sent: performance.now(), reply: reply };
                    socket.send(JSON.stringify({ id: 1, set: 'headphone.volume', value: String(value) }));
                };
                done();
            } else if (m.type === 'reply' && waiting) {
                waiting.reply(performance.now() - waiting.sent);
                waiting = null;
            } else if (m.type === 'changed' && !waiting) {
                window.changedAt = performance.timeOrigin + performance.now();
            }
        };""")
    x = display.Display()
    geometry = x.create_resource_object('window', int(window)).get_geometry()
    xtest.fake_input(x, X.MotionNotify, x=geometry.x + HEADPHONE_KNOB[0], y=geometry.y + HEADPHONE_KNOB[1])
    x.sync()
    page_times, knob_times = [], []
    for i in range(40):
        page_times.append(page.execute_async_script(
            'window.timedSet(arguments[0], arguments[arguments.length - 1]);', -40 - i % 2))
        button = 4 if i % 2 == 0 else 5
        start = time.time() * 1000
        xtest.fake_input(x, X.ButtonPress, button)
        xtest.fake_input(x, X.ButtonRelease, button)
        x.sync()
        heard = wait('the knob on the page', lambda: (page.execute_script('return window.changedAt') or 0) > start
                     and page.execute_script('return window.changedAt'))
        knob_times.append(heard - start)
    page.execute_script('window.timedClose()')
    p, k = statistics.median(page_times), statistics.median(knob_times)
    print('figures: page set %.2f ms, knob event %.2f ms (each until the browser hears it done; medians of 40 '
          'in turns); ratio %.2f' % (p, k, p / k))
    # A second page, in a tab of its own: the cookie opens it without the code.
    page.execute_script('window.open(arguments[0])', address.split('?')[0])
    page.switch_to.window(page.window_handles[-1])
    wait('the second page', lambda: page.find_elements(By.CSS_SELECTOR, '.control'))
    page.switch_to.window(page.window_handles[0])
    wait('two pages', lambda: s.ctl('remote')['pages'] == 2)
    time.sleep(1)
    print('figures: memory (VmRSS) of the program %d KiB with the remote off, %d KiB on with two pages open'
          % (memory_off, rss(program.pid)))


if __name__ == '__main__':
    parser = web_remote_page.argparse.ArgumentParser()
    for name in ('--driver', '--emulator', '--ctl'):
        parser.add_argument(name, required=True)
    parser.add_argument('--screenshot')
    sys.exit(web_remote_page.run(parser.parse_args(), figures))
