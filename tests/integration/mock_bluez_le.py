# -*- coding: utf-8 -*-
'''BlueZ mock with Bluetooth LE devices and GATT objects.

Builds on dbusmock's bluez5 template (object manager, adapters) and adds what
a BLE central needs: LE devices with advertised UUIDs, manufacturer data and
RSSI; GATT services, characteristics and descriptors nested below the device
as <device>/serviceXXXX/charXXXX/descXXXX; a Connect that resolves services;
notifications; remote disconnects; and a record of every characteristic write.

The test drives it through these org.bluez.Mock methods on "/":
  AddLEDevice(adapter, address, name, uuids, manufacturer_data, rssi) -> path
  AddGattService(device, handle, uuid) -> path
  AddGattCharacteristic(service, handle, uuid, flags) -> path
  AddGattDescriptor(characteristic, handle, uuid) -> path
  SetConnectMode(device, mode)      "ok", "fail" or "hang" (never resolves)
  DisconnectRemote(device)          the device drops the link
  EmitNotification(characteristic, value)
  GetWrites(characteristic) -> a(aya{sv}d)   value, options, monotonic time
  GetLastWrite(characteristic) -> (ayd)       the newest value and its time
  ClearWrites(characteristic)
  SetWriteDelay(seconds)            each WriteValue answers that much later
  Freeze(seconds)                   BlueZ hangs: nothing answers for that long
  SetFailure(object, method, on)    the GATT method fails with org.bluez.Error.Failed
'''

import time

import dbus

from dbusmock import OBJECT_MANAGER_IFACE, mockobject
from dbusmock.templates import bluez5
# The stock template's adapter methods stay available on the mock interface.
from dbusmock.templates.bluez5 import AddAdapter, RemoveAdapter  # noqa: F401 pylint: disable=unused-import

BUS_NAME = bluez5.BUS_NAME
MAIN_OBJ = bluez5.MAIN_OBJ
SYSTEM_BUS = True
IS_OBJECT_MANAGER = True

MOCK_IFACE = bluez5.BLUEZ_MOCK_IFACE
DEVICE_IFACE = bluez5.DEVICE_IFACE
SERVICE_IFACE = 'org.bluez.GattService1'
CHARACTERISTIC_IFACE = 'org.bluez.GattCharacteristic1'
DESCRIPTOR_IFACE = 'org.bluez.GattDescriptor1'

# Seconds each WriteValue waits before it answers (a slow link).
_write_delay = [0.0]


def load(mock, parameters):
    bluez5.load(mock, parameters)


def _object(path):
    path = str(path)
    if path not in mockobject.objects:
        raise dbus.exceptions.DBusException(f'No object {path}',
                                            name='org.bluez.Error.DoesNotExist')
    return mockobject.objects[path]


def _emit_changed(obj, interface, changes):
    for name, value in changes.items():
        obj.props[interface][name] = value
    obj.EmitSignal(dbus.PROPERTIES_IFACE, 'PropertiesChanged', 'sa{sv}as',
                   [interface, changes, dbus.Array([], signature='s')])


def _announce(path, interface):
    manager = mockobject.objects['/']
    manager.EmitSignal(OBJECT_MANAGER_IFACE, 'InterfacesAdded', 'oa{sa{sv}}',
                       [dbus.ObjectPath(path),
                        {interface: mockobject.objects[path].props[interface]}])


# --- org.bluez.Device1 -------------------------------------------------------

def _device_connect(device):
    mode = getattr(device, 'connect_mode', 'ok')
    if mode == 'fail':
        raise dbus.exceptions.DBusException('le-connection-abort-by-local',
                                            name='org.bluez.Error.Failed')
    if device.props[DEVICE_IFACE]['Connected']:
        return
    _emit_changed(device, DEVICE_IFACE, {'Connected': dbus.Boolean(True, variant_level=1)})
    if mode == 'hang':
        return
    _emit_changed(device, DEVICE_IFACE, {'ServicesResolved': dbus.Boolean(True, variant_level=1)})


def _drop_link(device):
    if not device.props[DEVICE_IFACE]['Connected']:
        return
    _emit_changed(device, DEVICE_IFACE, {
        'ServicesResolved': dbus.Boolean(False, variant_level=1),
        'Connected': dbus.Boolean(False, variant_level=1),
    })


def _device_disconnect(device):
    _drop_link(device)


@dbus.service.method(MOCK_IFACE, in_signature='sssasa{qay}n', out_signature='o')
def AddLEDevice(self, adapter_name, address, name, uuids, manufacturer_data, rssi):
    '''Adds an LE device that is being seen right now and announces it.'''
    adapter_path = '/org/bluez/' + adapter_name
    if adapter_path not in mockobject.objects:
        raise dbus.exceptions.DBusException(f'Adapter {adapter_name} does not exist.',
                                            name=MOCK_IFACE + '.NoSuchAdapter')
    address = str(address).upper()
    path = adapter_path + '/dev_' + address.replace(':', '_')
    manufacturer = dbus.Dictionary(
        {dbus.UInt16(k): dbus.Array([dbus.Byte(b) for b in v], signature='y', variant_level=1)
         for k, v in manufacturer_data.items()},
        signature='qv', variant_level=1)
    properties = {
        'Address': dbus.String(address, variant_level=1),
        'AddressType': dbus.String('random', variant_level=1),
        'Name': dbus.String(name, variant_level=1),
        'Alias': dbus.String(name, variant_level=1),
        'Adapter': dbus.ObjectPath(adapter_path, variant_level=1),
        'UUIDs': dbus.Array([str(u).lower() for u in uuids], signature='s', variant_level=1),
        'ManufacturerData': manufacturer,
        'RSSI': dbus.Int16(rssi, variant_level=1),
        'Paired': dbus.Boolean(False, variant_level=1),
        'Trusted': dbus.Boolean(False, variant_level=1),
        'Blocked': dbus.Boolean(False, variant_level=1),
        'LegacyPairing': dbus.Boolean(False, variant_level=1),
        'Connected': dbus.Boolean(False, variant_level=1),
        'ServicesResolved': dbus.Boolean(False, variant_level=1),
    }
    self.AddObject(path, DEVICE_IFACE, properties, [
        ('Connect', '', '', _device_connect),
        ('Disconnect', '', '', _device_disconnect),
        ('Pair', '', '', ''),
        ('CancelPairing', '', '', ''),
    ])
    _announce(path, DEVICE_IFACE)
    return dbus.ObjectPath(path)


@dbus.service.method(MOCK_IFACE, in_signature='os', out_signature='')
def SetConnectMode(_self, device_path, mode):
    '''"ok" connects and resolves services, "fail" refuses, "hang" never resolves.'''
    if mode not in ('ok', 'fail', 'hang'):
        raise dbus.exceptions.DBusException(f'Unknown mode {mode}',
                                            name=MOCK_IFACE + '.InvalidArguments')
    _object(device_path).connect_mode = str(mode)


@dbus.service.method(MOCK_IFACE, in_signature='o', out_signature='')
def DisconnectRemote(_self, device_path):
    '''The device ends the link on its side.'''
    _drop_link(_object(device_path))


# --- GATT objects ------------------------------------------------------------

def _fail_if_asked(obj, method):
    if method in getattr(obj, 'failing', set()):
        raise dbus.exceptions.DBusException(f'{method} failed', name='org.bluez.Error.Failed')


def _read_value(obj, interface):
    return obj.props[interface]['Value']


def _characteristic_read(characteristic, _options):
    return _read_value(characteristic, CHARACTERISTIC_IFACE)


def _characteristic_write(characteristic, value, options):
    _fail_if_asked(characteristic, 'WriteValue')
    characteristic.writes.append((dbus.Array(value, signature='y'),
                                  dbus.Dictionary(options, signature='sv'),
                                  dbus.Double(time.monotonic())))
    if _write_delay[0] > 0:
        time.sleep(_write_delay[0])


def _set_notifying(characteristic, on):
    if characteristic.props[CHARACTERISTIC_IFACE]['Notifying'] == on:
        return
    _emit_changed(characteristic, CHARACTERISTIC_IFACE,
                  {'Notifying': dbus.Boolean(on, variant_level=1)})


def _characteristic_start_notify(characteristic):
    _fail_if_asked(characteristic, 'StartNotify')
    _set_notifying(characteristic, True)


def _characteristic_stop_notify(characteristic):
    _set_notifying(characteristic, False)


def _descriptor_read(descriptor, _options):
    return _read_value(descriptor, DESCRIPTOR_IFACE)


def _descriptor_write(descriptor, value, _options):
    descriptor.props[DESCRIPTOR_IFACE]['Value'] = dbus.Array(value, signature='y', variant_level=1)


@dbus.service.method(MOCK_IFACE, in_signature='oqs', out_signature='o')
def AddGattService(self, device_path, handle, uuid):
    _object(device_path)
    path = f'{device_path}/service{int(handle):04x}'
    self.AddObject(path, SERVICE_IFACE, {
        'UUID': dbus.String(str(uuid).lower(), variant_level=1),
        'Device': dbus.ObjectPath(device_path, variant_level=1),
        'Primary': dbus.Boolean(True, variant_level=1),
        'Includes': dbus.Array([], signature='o', variant_level=1),
    }, [])
    _announce(path, SERVICE_IFACE)
    return dbus.ObjectPath(path)


@dbus.service.method(MOCK_IFACE, in_signature='oqsas', out_signature='o')
def AddGattCharacteristic(self, service_path, handle, uuid, flags):
    _object(service_path)
    path = f'{service_path}/char{int(handle):04x}'
    self.AddObject(path, CHARACTERISTIC_IFACE, {
        'UUID': dbus.String(str(uuid).lower(), variant_level=1),
        'Service': dbus.ObjectPath(service_path, variant_level=1),
        'Value': dbus.Array([], signature='y', variant_level=1),
        'Notifying': dbus.Boolean(False, variant_level=1),
        'Flags': dbus.Array([str(f) for f in flags], signature='s', variant_level=1),
    }, [
        ('ReadValue', 'a{sv}', 'ay', _characteristic_read),
        ('WriteValue', 'aya{sv}', '', _characteristic_write),
        ('StartNotify', '', '', _characteristic_start_notify),
        ('StopNotify', '', '', _characteristic_stop_notify),
    ])
    _object(path).writes = []
    _announce(path, CHARACTERISTIC_IFACE)
    return dbus.ObjectPath(path)


@dbus.service.method(MOCK_IFACE, in_signature='oqs', out_signature='o')
def AddGattDescriptor(self, characteristic_path, handle, uuid):
    _object(characteristic_path)
    path = f'{characteristic_path}/desc{int(handle):04x}'
    self.AddObject(path, DESCRIPTOR_IFACE, {
        'UUID': dbus.String(str(uuid).lower(), variant_level=1),
        'Characteristic': dbus.ObjectPath(characteristic_path, variant_level=1),
        'Value': dbus.Array([], signature='y', variant_level=1),
        'Flags': dbus.Array(['read', 'write'], signature='s', variant_level=1),
    }, [
        ('ReadValue', 'a{sv}', 'ay', _descriptor_read),
        ('WriteValue', 'aya{sv}', '', _descriptor_write),
    ])
    _announce(path, DESCRIPTOR_IFACE)
    return dbus.ObjectPath(path)


@dbus.service.method(MOCK_IFACE, in_signature='oay', out_signature='')
def EmitNotification(_self, characteristic_path, value):
    '''The device notifies a value on the characteristic.'''
    _emit_changed(_object(characteristic_path), CHARACTERISTIC_IFACE,
                  {'Value': dbus.Array(value, signature='y', variant_level=1)})


@dbus.service.method(MOCK_IFACE, in_signature='o', out_signature='a(aya{sv}d)')
def GetWrites(_self, characteristic_path):
    '''Every WriteValue so far: the bytes, the options and when it arrived.'''
    return dbus.Array(_object(characteristic_path).writes, signature='(aya{sv}d)')


@dbus.service.method(MOCK_IFACE, in_signature='o', out_signature='(ayd)')
def GetLastWrite(_self, characteristic_path):
    '''The newest write (no bytes and time 0 before any): cheap to poll.'''
    writes = _object(characteristic_path).writes
    if not writes:
        return dbus.Struct((dbus.Array([], signature='y'), dbus.Double(0.0)), signature='ayd')
    value, _options, when = writes[-1]
    return dbus.Struct((value, when), signature='ayd')


@dbus.service.method(MOCK_IFACE, in_signature='o', out_signature='')
def ClearWrites(_self, characteristic_path):
    _object(characteristic_path).writes = []


@dbus.service.method(MOCK_IFACE, in_signature='d', out_signature='')
def SetWriteDelay(_self, seconds):
    _write_delay[0] = max(0.0, float(seconds))


@dbus.service.method(MOCK_IFACE, in_signature='d', out_signature='')
def Freeze(_self, seconds):
    '''Hangs the whole service, as a stuck bluetoothd would.'''
    time.sleep(min(max(0.0, float(seconds)), 30.0))


@dbus.service.method(MOCK_IFACE, in_signature='osb', out_signature='')
def SetFailure(_self, object_path, method, on):
    '''Makes a GATT method of the object fail from now on, or work again.'''
    obj = _object(object_path)
    failing = getattr(obj, 'failing', set())
    if on:
        failing.add(str(method))
    else:
        failing.discard(str(method))
    obj.failing = failing
