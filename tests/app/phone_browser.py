#!/usr/bin/python3
'''Phones drive the panels' cars from the page zelto-panel shares.

    phone_browser.py ZELTO_PANEL

Starts the program offscreen with its simulated cars, sharing on loopback,
and drives "Vexa" from headless Chromium as a person would: the controls are
found by their labels, the speed slider is dragged. Each move must show in the
program's trace and in its recording of the frames sent; a frozen page and a
closed tab stop their car; a page with a wrong key drives nothing; a laptop
that stops answering is said so, with the controls off until it is back.'''

import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.common.exceptions import StaleElementReferenceException

PATIENCE_S = 30
FREEZE_STOPS_WITHIN_S = 1.5
VEXA = 0x12345678
SPEED_LINE = re.compile(rf'^Speed (\S+) for carID: {VEXA}$')


class Failure(Exception):
    pass


def wait_for(what, probe, patience=PATIENCE_S):
    '''The first true value of probe(), polled until patience runs out; a
    page element replaced under the probe reads as not yet.'''
    deadline = time.monotonic() + patience
    while True:
        try:
            value = probe()
        except StaleElementReferenceException:
            value = None
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f'waited {patience} s for {what}')
        time.sleep(0.02)


def read_lines(path):
    if not os.path.exists(path):
        return []
    with open(path, encoding='utf-8', errors='replace') as text:
        return text.read().splitlines()


class Panel:
    '''The running program; its output goes to files, so it never blocks.'''

    def __init__(self, program, folder):
        home = os.path.join(folder, 'home')
        os.makedirs(home)
        self.out, self.err = os.path.join(folder, 'out.txt'), os.path.join(folder, 'err.txt')
        self.recording = os.path.join(folder, 'frames.jsonl')
        environment = dict(os.environ, QT_QPA_PLATFORM='offscreen', HOME=home,
                           XDG_CONFIG_HOME=os.path.join(home, '.config'))
        with open(self.out, 'wb') as out, open(self.err, 'wb') as err:
            self.process = subprocess.Popen(
                [program, '--share', '127.0.0.1:0', '--connect', '--record', self.recording],
                env=environment, stdout=out, stderr=err, stdin=subprocess.DEVNULL)

    def address(self):
        def printed():
            if self.process.poll() is not None:
                raise Failure(f'zelto-panel ended with {self.process.returncode}')
            found = re.search(r'^Drive from phones: (http://127\.0\.0\.1:\d+/#k=[0-9a-f]{32})$',
                              '\n'.join(read_lines(self.err)), re.M)
            return found and found.group(1)
        return wait_for('the address on standard error', printed)

    def speeds(self):  # traced for Vexa, in order
        return [m.group(1) for m in map(SPEED_LINE.search, read_lines(self.out)) if m]

    def frames(self):  # every line recorded, for every car
        return [json.loads(line) for line in read_lines(self.recording) if line.strip()]

    def mark(self):
        '''How far the trace and the recording have gone.'''
        return len(self.speeds()), len(self.frames())

    def sent_speeds(self, since=0):
        return [f['speed'] for f in self.frames()[since:]
                if f.get('vehicle') == f'0x{VEXA:08x}' and f.get('command') == 'set-speed']

    def end(self):
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()


def browser(profile):
    options = webdriver.ChromeOptions()
    options.binary_location = '/usr/bin/chromium'
    for argument in ('--headless=new', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                     '--disable-background-networking', '--disable-component-update', '--disable-sync',
                     f'--user-data-dir={profile}', '--window-size=360,740'):
        options.add_argument(argument)
    return webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)


def labelled(driver, text):
    '''The control whose <label for=…> reads text (its own words, not an <output>'s).'''
    for label in driver.find_elements(By.CSS_SELECTOR, 'label[for]'):
        words = driver.execute_script(
            'return Array.from(arguments[0].childNodes).filter(n => n.nodeType === 3)'
            '.map(n => n.textContent).join("").trim()', label)
        if words == text:
            return driver.find_element(By.ID, label.get_attribute('for'))
    raise Failure(f'no control labelled "{text}"')


def button(driver, text):
    found = [b for b in driver.find_elements(By.TAG_NAME, 'button') if b.text.strip() == text]
    return found[0] if found and found[0].is_displayed() and found[0].is_enabled() else None


def claim(driver, car):
    '''Clicks the car until the controls show (at once if the page's phone
    came back to the car it held).'''
    def driving():
        if labelled(driver, 'Speed').is_displayed():
            return True
        found = button(driver, car)
        return found and found.click()
    wait_for(f'the car "{car}" to click and its controls', driving)


def drag_speed(driver, panel, up_by):
    '''Drags Speed up (in landscape: right) and waits for the value the page
    then shows to be traced and sent to the car.'''
    speed = labelled(driver, 'Speed')
    portrait = speed.size['height'] > speed.size['width']
    before = panel.mark()
    offset = (0, -up_by) if portrait else (up_by, 0)
    ActionChains(driver).click_and_hold(speed).move_by_offset(*offset).release().perform()
    shown = wait_for('a speed above 0 on the page', lambda: int(speed.get_attribute('value')))
    if shown <= int(speed.get_attribute('max')) // 2:  # the press lands mid-way
        raise Failure(f'dragging Speed up made it {shown}, not faster than mid-way')
    expect_speed(panel, shown, before)
    # The car's own news may come back to the page: it must settle on the last move.
    wait_for(f'the page and the trace to end on {shown}', lambda: int(speed.get_attribute('value')) == shown
             and panel.speeds()[-1] == f'{shown:.1f}')
    print(f'    dragged Speed to {shown}; traced {panel.speeds()[before[0]:]}')


def expect_speed(panel, value, since):
    '''The trace line and the set-speed frame for value, since the mark.'''
    text = f'{float(value):.1f}'
    wait_for(f'"Speed {text} for carID: {VEXA}" on standard output',
             lambda: text in panel.speeds()[since[0]:])
    wait_for(f'a set-speed {value} frame for 0x{VEXA:08x}', lambda: value in panel.sent_speeds(since[1]))


def main():
    folder = tempfile.mkdtemp(prefix='phone_browser.')
    panel, driver = Panel(sys.argv[1], folder), None
    try:
        url = panel.address()
        driver = browser(os.path.join(folder, 'phone'))
        driver.set_script_timeout(PATIENCE_S)
        driver.get(url)

        def drive_and_stop():
            claim(driver, 'Vexa')
            labelled(driver, 'Lane')
            if not all(button(driver, text) for text in ('Stop', 'Middle', 'U-turn')):
                raise Failure('no button "Stop", "Middle" or "U-turn" to press')
            speed, stop = labelled(driver, 'Speed').rect, button(driver, 'Stop').rect
            if speed['height'] <= speed['width'] or speed['x'] < stop['x'] + stop['width']:
                raise Failure(f'in portrait Speed should stand upright right of Stop: {speed}, Stop {stop}')
            drag_speed(driver, panel, 80)
            before = panel.mark()
            button(driver, 'Stop').click()
            expect_speed(panel, 0, before)

        def frozen_page_stops():
            drag_speed(driver, panel, 60)
            before = panel.mark()
            frozen_at = time.monotonic()
            driver.execute_cdp_cmd('Page.setWebLifecycleState', {'state': 'frozen'})
            stopped_at = wait_for('the frozen page\'s car to stop',
                                  lambda: '0.0' in panel.speeds()[before[0]:] and time.monotonic())
            expect_speed(panel, 0, before)
            print(f'    freeze to stop: {stopped_at - frozen_at:.3f} s')
            if stopped_at - frozen_at > FREEZE_STOPS_WITHIN_S:
                raise Failure(f'the car stopped {stopped_at - frozen_at:.2f} s after its page froze')

        def closed_tab_stops():
            driver.switch_to.new_window('tab')
            driver.get(url)
            claim(driver, 'Vexa')  # the same phone: its car was kept for it
            drag_speed(driver, panel, 70)
            before = panel.mark()
            driver.close()
            expect_speed(panel, 0, before)

        def wrong_key_drives_nothing():
            driver.switch_to.window(driver.window_handles[0])
            driver.switch_to.new_window('tab')
            traced, recorded = panel.mark()
            driver.get(url.split('#k=')[0] + '#k=' + '0123456789abcdef' * 2)
            # The page's own try, then one by hand that moves at once.
            wait_for('the wrong key turned away',
                     lambda: 'Trying again' in driver.find_element(By.ID, 'status').text)
            closed = driver.execute_async_script('''
                const done = arguments[arguments.length - 1];
                const socket = new WebSocket("ws://" + location.host + "/ws");
                socket.onopen = () => { for (const m of [
                    {type: "hello", token: "0123456789abcdef".repeat(2), phone: "wrongkeyphone1", name: "x"},
                    {type: "claim", car: "%d"}, {type: "speed", value: 500}]) socket.send(JSON.stringify(m)); };
                socket.onmessage = (event) => done("told: " + event.data);
                socket.onclose = (event) => done("closed " + event.code);''' % VEXA)
            if not closed.startswith('closed'):
                raise Failure(f'a wrong key was answered: {closed}')
            if driver.find_elements(By.CSS_SELECTOR, '#cars button'):
                raise Failure('a page with a wrong key lists cars')
            if panel.speeds()[traced:] or panel.frames()[recorded:]:
                raise Failure(f'a wrong key moved a car: {panel.speeds()[traced:]} {panel.frames()[recorded:]}')

        def silent_laptop_is_said():
            driver.switch_to.new_window('tab')
            driver.get(url)
            claim(driver, 'Vexa')
            status = lambda: driver.find_element(By.ID, 'status').text
            speed = lambda: labelled(driver, 'Speed')
            panel.process.send_signal(signal.SIGSTOP)
            try:
                frozen_at = time.monotonic()
                wait_for('the page to say the laptop is not answering',
                         lambda: 'The laptop is not answering. Your car may still be moving.' in status()
                         and not speed().is_enabled())
                print(f'    laptop silent to notice: {time.monotonic() - frozen_at:.3f} s')
            finally:
                panel.process.send_signal(signal.SIGCONT)
            wait_for('the controls back once the laptop answers',
                     lambda: 'not answering' not in status() and speed().is_enabled())

        for name, step in (('drag Speed, then Stop', drive_and_stop),
                           ('a frozen page stops its car', frozen_page_stops),
                           ('a closed tab stops its car', closed_tab_stops),
                           ('a wrong key drives nothing', wrong_key_drives_nothing),
                           ('a silent laptop is said so', silent_laptop_is_said)):
            started = time.monotonic()
            step()
            print(f'ok  {name}  ({time.monotonic() - started:.1f} s)', flush=True)
        return 0
    except Exception as failure:  # every failure, Selenium's included, reads as one line
        print(f'FAIL {type(failure).__name__}: {failure}', file=sys.stderr)
        print('standard error of zelto-panel:\n' + '\n'.join(read_lines(panel.err)[-20:]), file=sys.stderr)
        return 1
    finally:
        if driver:
            driver.quit()
        panel.end()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == '__main__':
    sys.exit(main())
