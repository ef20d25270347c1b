#!/usr/bin/python3
'''zelto-panel ends, with status 0, on SIGINT, SIGTERM and SIGHUP.

    quit_on_signals.py ZELTO_PANEL

Starts the program offscreen once per signal, waits until it catches the
signal (its SigCgt mask in /proc), sends it and waits for the exit.'''

import os
import signal
import subprocess
import sys
import time

PATIENCE_S = 30


def catches(pid, number):
    try:
        with open(f'/proc/{pid}/status', encoding='ascii') as status:
            for line in status:
                if line.startswith('SigCgt:'):
                    return bool(int(line.split()[1], 16) & (1 << (number - 1)))
    except FileNotFoundError:
        pass
    return False


def main():
    program = sys.argv[1]
    environment = dict(os.environ, QT_QPA_PLATFORM='offscreen')
    failures = 0
    for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        panel = subprocess.Popen([program], env=environment, stdout=subprocess.DEVNULL)
        deadline = time.monotonic() + PATIENCE_S
        while not catches(panel.pid, number) and panel.poll() is None and time.monotonic() < deadline:
            time.sleep(0.02)
        panel.send_signal(number)
        try:
            status = panel.wait(PATIENCE_S)
        except subprocess.TimeoutExpired:
            panel.kill()
            status = 'still running'
        print(f'{signal.Signals(number).name}: exit {status}')
        failures += status != 0
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
