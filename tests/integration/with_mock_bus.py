#!/usr/bin/python3
'''Runs a command on a private D-Bus system bus, with a hard time limit.

    with_mock_bus.py [--timeout SECONDS] [--no-bus] -- COMMAND ARGS...

Starts dbus-daemon with the bus configuration beside this file, points
DBUS_SYSTEM_BUS_ADDRESS at it, forces Qt Bluetooth onto its BlueZ D-Bus path
(its version probe cannot read a mock), runs the command and tears the bus
down, whatever happens. The command (a test or a bench) starts the mock BlueZ
itself. With --no-bus the system bus address points at a socket that does not
exist. Exits with the command's status, or 124 when the time limit struck.
'''

import argparse
import os
import signal
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def kill_group(process):
    # The whole group: a test's own helpers (the mock) go with it.
    try:
        os.killpg(process.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    process.wait()


def on_terminate(signum, _frame):
    raise SystemExit(128 + signum)


def start_bus():
    daemon = subprocess.Popen(
        ['dbus-daemon', '--nofork', '--nopidfile', '--print-address=1',
         '--config-file=' + os.path.join(HERE, 'system-bus.conf')],
        stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        start_new_session=True)
    address = daemon.stdout.readline().decode().strip()
    if not address:
        kill_group(daemon)
        sys.exit('dbus-daemon gave no address')
    return daemon, address


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--timeout', type=float, default=120)
    parser.add_argument('--no-bus', action='store_true')
    parser.add_argument('command', nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ['--'] else args.command
    if not command:
        parser.error('no command')

    signal.signal(signal.SIGTERM, on_terminate)
    signal.signal(signal.SIGINT, on_terminate)
    env = dict(os.environ)
    env['BLUETOOTH_FORCE_DBUS_LE_VERSION'] = '5.66'
    # The tests' mock takes org.bluez only on a bus marked as theirs.
    env['ZELTO_PRIVATE_SYSTEM_BUS'] = '1'
    env.pop('DBUS_SESSION_BUS_ADDRESS', None)
    daemon = None
    child = None
    with tempfile.TemporaryDirectory() as scratch:
        try:
            if args.no_bus:
                env['DBUS_SYSTEM_BUS_ADDRESS'] = 'unix:path=' + os.path.join(scratch, 'no-bus')
            else:
                daemon, address = start_bus()
                env['DBUS_SYSTEM_BUS_ADDRESS'] = address
            child = subprocess.Popen(command, env=env, start_new_session=True)
            return child.wait(timeout=args.timeout)
        except subprocess.TimeoutExpired:
            sys.stderr.write(f'with_mock_bus: {command[0]} ran past {args.timeout} s; killed\n')
            return 124
        except OSError as error:
            sys.stderr.write(f'with_mock_bus: {error}\n')
            return 127
        finally:
            if child is not None:
                kill_group(child)
            if daemon is not None:
                kill_group(daemon)

if __name__ == '__main__':
    sys.exit(main())
