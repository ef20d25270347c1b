'''The mock BlueZ of tests/integration as the peer bench uses it: started on
the private system bus, an adapter hci0, and cars that advertise and lay out
their GATT objects as tests/integration/MockBluez.cpp adds them; then what
each car was written, with the mock's monotonic time of each write.'''

import os
import subprocess

import dbus
import dbus.mainloop.glib
from gi.repository import GLib

HERE = os.path.dirname(os.path.abspath(__file__))
TEMPLATE = os.path.join(HERE, '..', '..', 'tests', 'integration', 'mock_bluez_le.py')

SERVICE = 'be15beef-6186-407e-8381-0bd89c4d8df4'
READ = 'be15bee0-6186-407e-8381-0bd89c4d8df4'
WRITE = 'be15bee1-6186-407e-8381-0bd89c4d8df4'
CLIENT_CONFIGURATION = '00002902-0000-1000-8000-00805f9b34fb'
COMPANY = 0xEFBE  # the advertisement's BE EF, little-endian
DEVICE = 'org.bluez.Device1'

dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)


def wait_for(check, seconds, bus, **signal):
    '''Runs the main loop until check() holds, checking again on each bus
    signal that matches `signal` (keywords of add_signal_receiver).'''
    loop = GLib.MainLoop()
    receiver = bus.add_signal_receiver(lambda *_args: check() and loop.quit(), **signal)
    timer = GLib.timeout_add(int(seconds * 1000), lambda: loop.quit() or True)
    try:
        if not check():
            loop.run()
    finally:
        receiver.remove()
        GLib.source_remove(timer)
    if not check():
        raise RuntimeError(f'still waiting after {seconds} s')


class Car:
    def __init__(self, identifier, device, write):
        self.identifier = identifier
        self.device = device
        self.write = write


class MockBluez:
    '''One mock BlueZ process; stop() ends it.'''

    def __init__(self, log_path):
        self.bus = dbus.SystemBus()
        if self.bus.name_has_owner('org.bluez'):
            raise RuntimeError('org.bluez is taken already')
        self.process = subprocess.Popen(
            ['/usr/bin/python3', '-m', 'dbusmock', '--system', '-l', log_path, '-t', TEMPLATE],
            stdout=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        wait_for(lambda: self.bus.name_has_owner('org.bluez'), 15, self.bus,
                 signal_name='NameOwnerChanged', dbus_interface='org.freedesktop.DBus', arg0='org.bluez')
        self.mock = dbus.Interface(self.bus.get_object('org.bluez', '/'), 'org.bluez.Mock')
        self.mock.AddAdapter('hci0', 'peer-bench')
        # A link a client lets go ends in 0.1 s, not BlueZ's 2 s: every run
        # waits for its links to end.
        self.mock.SetDisconnectDelay(0.1)

    @property
    def pid(self):
        return self.process.pid

    def add_car(self, address, identifier, model=9):
        data = bytes([0, model]) + identifier.to_bytes(4, 'big')
        device = self.mock.AddLEDevice(
            'hci0', address, 'Drive', [SERVICE],
            dbus.Dictionary({dbus.UInt16(COMPANY): dbus.ByteArray(data)}, signature='qay'), dbus.Int16(-50))
        service = self.mock.AddGattService(device, dbus.UInt16(0x000a), SERVICE)
        read = self.mock.AddGattCharacteristic(service, dbus.UInt16(0x000b), READ, ['read', 'notify'])
        self.mock.AddGattDescriptor(read, dbus.UInt16(0x000d), CLIENT_CONFIGURATION)
        write = self.mock.AddGattCharacteristic(service, dbus.UInt16(0x000e), WRITE,
                                                ['write-without-response', 'write'])
        return Car(identifier, str(device), str(write))

    def connected(self, car):
        return bool(self.bus.get_object('org.bluez', car.device).Get(
            DEVICE, 'Connected', dbus_interface=dbus.PROPERTIES_IFACE))

    def wait_released(self, cars, seconds=10):
        '''Until no car is connected: by then the mock has read every frame
        its write sockets held.'''
        wait_for(lambda: not any(self.connected(car) for car in cars), seconds, self.bus,
                 signal_name='PropertiesChanged', dbus_interface=dbus.PROPERTIES_IFACE, arg0=DEVICE)

    def writes(self, car):
        '''Every frame written to the car: (bytes, monotonic seconds).'''
        return [(bytes(value), float(when)) for value, _options, when in self.mock.GetWrites(car.write)]

    def stop(self):
        self.process.kill()
        self.process.wait()
        wait_for(lambda: not self.bus.name_has_owner('org.bluez'), 5, self.bus,
                 signal_name='NameOwnerChanged', dbus_interface='org.freedesktop.DBus', arg0='org.bluez')


def cpu_seconds(pid):
    '''The time a live process has run on a CPU, user and system, over its
    threads (the scheduler's count in nanoseconds: /proc/PID/stat counts in
    ticks of 10 ms).'''
    total = 0
    for task in os.listdir(f'/proc/{pid}/task'):
        with open(f'/proc/{pid}/task/{task}/schedstat', encoding='ascii') as schedstat:
            total += int(schedstat.read().split()[0])
    return total / 1e9

