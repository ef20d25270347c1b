# -*- coding: utf-8 -*-
'''BlueZ mock with Bluetooth LE devices and GATT objects.

Builds on dbusmock's bluez5 template (object manager, adapters) and adds what
a BLE central needs, behaving as BlueZ 5.66 does where a client could tell:
  - discovery with a per-client filter (UUIDs, Transport, DuplicateData, ...);
    a device added while every discovering client filters on UUIDs it does
    not advertise gets no object; RSSI is invalidated when discovery stops;
    a client's session ends when it leaves the bus; a session that starts
    hears (a new RSSI) every device that advertises, and a connected device
    does not advertise unless told to;
  - LE devices with advertised UUIDs, manufacturer data and RSSI;
  - Connect answers once the link is up, then the GATT objects are announced,
    then ServicesResolved turns true (GATT objects exist only from the first
    connection on, and stay afterwards, as with BlueZ's cache); every GATT
    object has its Handle;
  - Disconnect drops the link about 2 s later and answers; Connected and
    ServicesResolved turn false afterwards, from an idle callback;
  - a second Connect while one is pending fails "Operation already in
    progress"; a second AcquireWrite or AcquireNotify while one is held
    fails NotPermitted;
  - GATT services, characteristics (with MTU while connected) and
    descriptors nested below the device as <device>/serviceXXXX/charXXXX/descXXXX;
  - AcquireWrite and AcquireNotify: one end of a SOCK_SEQPACKET socket pair
    passed as a Unix fd; frames written there are recorded like WriteValues,
    notifications go out there; the mock's end is closed when the link drops;
  - notifications reach only subscribers (StartNotify or AcquireNotify); an
    empty value goes out as a zero-length record on an acquired socket (the
    socket stays open) or as Value [] in PropertiesChanged;
  - a record of every characteristic write;
  - Adapter1.RemoveDevice: disconnects first (as Disconnect does), then the
    device and its GATT objects go; DoesNotExist for an unknown device;
  - AgentManager1 on /org/bluez: one agent per client, "" meaning
    KeyboardDisplay, as bluetoothctl registers at start;
  - several adapters (AddAdapter hci1, hci2 ...), each with its own object
    for a device it hears (same address, its own RSSI), its own discovery and
    a capacity: a Connect beyond it fails as a controller out of resources
    makes BlueZ 5.66 fail it.

The test drives it through these org.bluez.Mock methods on "/":
  AddLEDevice(adapter, address, name, uuids, manufacturer_data, rssi) -> path
  AddGattService(device, handle, uuid) -> path
  AddGattCharacteristic(service, handle, uuid, flags) -> path
  AddGattDescriptor(characteristic, handle, uuid) -> path
  SetConnectMode(device, mode)      "ok", "fail", "slowfail" (the abort 1.5 s
                                    later), "hang" (connected, services
                                    never resolved), "never" (Connect never
                                    answers: the kernel's 20 s, or a Disconnect),
                                    "early" (ServicesResolved true first, then
                                    the GATT objects one per main-loop turn,
                                    50 ms apart, parents first) or "empty"
                                    (ServicesResolved true, GATT objects only
                                    at ResolveServices); on a device with its
                                    objects cached these two act as "ok"
  LeaveConnected(device)            a program connected the device and
                                    ended without Disconnect: the link stays
                                    up and resolved, the RSSI goes
  SetAdvertisesWhileConnected(device, on)
                                    the device goes on advertising while
                                    connected (most stop)
  DisconnectRemote(device)          the device drops the link
  ResolveServices(device)           a "hang" or "empty" connection resolves
                                    after all (at once, or when its Connect
                                    completes)
  ServiceChanged(device)            the device indicates Service Changed:
                                    ServicesResolved false (still connected),
                                    acquired sockets closed, notify sessions
                                    gone, every GATT object removed (children
                                    first), then added again one per turn with
                                    the same paths, then ServicesResolved true;
                                    writes recorded so far are kept
  RemoveLEDevice(device)            BlueZ forgets the device
  EmitNotification(characteristic, value)
  GetWrites(characteristic) -> a(aya{sv}d)   value, options, monotonic time
  GetLastWrite(characteristic) -> (ayd)       the newest value and its time
  ClearWrites(characteristic)
  SetWriteDelay(seconds)            each WriteValue answers that much later
  Freeze(seconds)                   BlueZ hangs: nothing answers for that long
  SetFailure(object, method, on)    the GATT method (WriteValue, StartNotify,
                                    AcquireWrite, AcquireNotify, ...) fails
                                    with org.bluez.Error.Failed
  SetDisconnectDelay(seconds)       how long Disconnect takes (2 s)
  SetAdapterCapacity(adapter, links, message)
                                    Connect on a device of the adapter fails
                                    with org.bluez.Error.Failed and the
                                    message ("" for BlueZ 5.66's
                                    "le-connection-abort-by-local") while
                                    that many of its devices are connected;
                                    a negative count: no limit
  UnplugAdapter(adapter)            the adapter goes as when unplugged: its
                                    object, then every device below it (links
                                    ended, sockets closed, GATT objects gone)
'''

import socket
import time

import dbus
from gi.repository import GLib

from dbusmock import OBJECT_MANAGER_IFACE, mockobject
from dbusmock.templates import bluez5
# The stock template's adapter removal stays available on the mock interface.
from dbusmock.templates.bluez5 import RemoveAdapter, RemoveAdapterWithDevices  # noqa: F401 pylint: disable=unused-import

BUS_NAME = bluez5.BUS_NAME
MAIN_OBJ = bluez5.MAIN_OBJ
SYSTEM_BUS = True
IS_OBJECT_MANAGER = True

MOCK_IFACE = bluez5.BLUEZ_MOCK_IFACE
AGENT_MANAGER_IFACE = bluez5.AGENT_MANAGER_IFACE
ADAPTER_IFACE = bluez5.ADAPTER_IFACE
DEVICE_IFACE = bluez5.DEVICE_IFACE
SERVICE_IFACE = 'org.bluez.GattService1'
CHARACTERISTIC_IFACE = 'org.bluez.GattCharacteristic1'
DESCRIPTOR_IFACE = 'org.bluez.GattDescriptor1'

FILTER_KEYS = {'UUIDs', 'RSSI', 'Pathloss', 'Transport', 'DuplicateData', 'Discoverable', 'Pattern'}
MTU = 23
AGENT_CAPABILITIES = {'', 'DisplayOnly', 'DisplayYesNo', 'KeyboardOnly', 'NoInputNoOutput',
                      'KeyboardDisplay'}
KERNEL_CONNECT_TIMEOUT_MS = 20000
# Milliseconds between two GATT objects exported one per main-loop turn.
STEP_MS = 50

# Seconds each WriteValue waits before it answers (a slow link).
_write_delay = [0.0]
# Milliseconds Disconnect takes: BlueZ gives profiles 2 s before it drops the link.
_disconnect_delay_ms = [2000]
# Per characteristic path, whether exported or not yet.
_writes = {}
_failing = {}
# Every GATT object defined, exported or not: device path -> {path: (iface, props, methods)}.
_gatt = {}
# Acquired sockets: characteristic path -> the mock's end.
_write_sockets = {}
_notify_sockets = {}
# Discovery per adapter path: sender -> filter dict; and the senders discovering.
_filters = {}
_discovering = {}
# Adapter path -> (connected devices it takes, the Connect error's message).
_capacity = {}
ABORT_BY_LOCAL = 'le-connection-abort-by-local'


def load(mock, parameters):
    bluez5.load(mock, parameters)
    mock.connection.add_signal_receiver(_client_left, 'NameOwnerChanged', 'org.freedesktop.DBus',
                                        'org.freedesktop.DBus', '/org/freedesktop/DBus')
    # BlueZ keeps one agent per client (the stock one refuses bluetoothctl's "").
    manager = mockobject.objects['/org/bluez']
    manager.agents = {}
    _add_method(manager, AGENT_MANAGER_IFACE, 'RegisterAgent', 'os', '', _register_agent, sender=True)
    _add_method(manager, AGENT_MANAGER_IFACE, 'UnregisterAgent', 'o', '', _unregister_agent,
                sender=True)
    _add_method(manager, AGENT_MANAGER_IFACE, 'RequestDefaultAgent', 'o', '', _request_default_agent,
                sender=True)


def _register_agent(manager, sender, agent_path, capability):
    if sender in manager.agents:
        raise _error('AlreadyExists', 'Already Exists')
    if capability not in AGENT_CAPABILITIES:
        raise _error('InvalidArguments', 'Invalid arguments in method call')
    manager.agents[sender] = str(agent_path)


def _registered_agent(manager, sender, agent_path):
    if manager.agents.get(sender) != str(agent_path):
        raise _error('DoesNotExist', 'Does Not Exist')


def _unregister_agent(manager, sender, agent_path):
    _registered_agent(manager, sender, agent_path)
    del manager.agents[sender]
    if manager.default_agent == str(agent_path):
        manager.default_agent = None


def _request_default_agent(manager, sender, agent_path):
    _registered_agent(manager, sender, agent_path)
    manager.default_agent = str(agent_path)


def _object(path):
    path = str(path)
    if path not in mockobject.objects:
        raise dbus.exceptions.DBusException(f'No object {path}',
                                            name='org.freedesktop.DBus.Error.UnknownObject')
    return mockobject.objects[path]


def _error(name, message):
    return dbus.exceptions.DBusException(message, name='org.bluez.Error.' + name)


def _emit_changed(obj, interface, changes, invalidated=()):
    for name, value in changes.items():
        obj.props[interface][name] = value
    for name in invalidated:
        obj.props[interface].pop(name, None)
    obj.EmitSignal(dbus.PROPERTIES_IFACE, 'PropertiesChanged', 'sa{sv}as',
                   [interface, changes, dbus.Array(list(invalidated), signature='s')])


def _announce(path, interface):
    manager = mockobject.objects['/']
    manager.EmitSignal(OBJECT_MANAGER_IFACE, 'InterfacesAdded', 'oa{sa{sv}}',
                       [dbus.ObjectPath(path),
                        {interface: mockobject.objects[path].props[interface]}])


def _withdraw(path, interface):
    manager = mockobject.objects['/']
    manager.RemoveObject(path)
    manager.EmitSignal(OBJECT_MANAGER_IFACE, 'InterfacesRemoved', 'oas',
                       [dbus.ObjectPath(path), dbus.Array([interface], signature='s')])


def _add_method(obj, interface, name, in_sig, out_sig, func, asynchronous=False, sender=False):
    '''Adds a method that gets the mock object, then (ok, err) when
    asynchronous, then the sender when asked, then its arguments; logged and
    counted like dbusmock's own.'''
    n_args = len(dbus.Signature(in_sig))

    def method(self, *args, **keywords):
        converted = mockobject._convert_args(in_sig, args)  # pylint: disable=protected-access
        self.log(name + mockobject._format_args(converted))  # pylint: disable=protected-access
        self.call_log.append((int(time.time()), str(name), converted))
        self.MethodCalled(name, converted)
        leading = []
        if asynchronous:
            leading += [keywords['ok'], keywords['err']]
        if sender:
            leading.append(keywords['sender'])
        return func(self, *leading, *converted)

    dbus_method = dbus.service.method(interface, out_signature=out_sig)(method)
    # Set after decoration: dbus-python would look for these names among the
    # function's positional parameters.
    if asynchronous:
        dbus_method._dbus_async_callbacks = ('ok', 'err')  # pylint: disable=protected-access
    if sender:
        dbus_method._dbus_sender_keyword = 'sender'  # pylint: disable=protected-access
    dbus_method.__name__ = str(name)
    dbus_method._dbus_in_signature = in_sig  # pylint: disable=protected-access
    dbus_method._dbus_args = [f'arg{i}' for i in range(1, n_args + 1)]  # pylint: disable=protected-access
    obj.methods.setdefault(interface, {})[str(name)] = (in_sig, out_sig, '', dbus_method)


def _adapter_of(device):
    return str(device.props[DEVICE_IFACE]['Adapter'])


def _device_path_of(gatt_path):
    path = str(gatt_path)
    while path and '/dev_' in path and not path.rsplit('/', 1)[1].startswith('dev_'):
        path = path.rsplit('/', 1)[0]
    return path


# --- org.bluez.Adapter1 ------------------------------------------------------

@dbus.service.method(MOCK_IFACE, in_signature='ss', out_signature='s')
def AddAdapter(self, device_name, system_name):
    '''The stock adapter, with discovery as BlueZ keeps it: per client.'''
    path = bluez5.AddAdapter(self, device_name, system_name)
    adapter = mockobject.objects[path]
    _filters[path] = {}
    _discovering[path] = set()
    _add_method(adapter, ADAPTER_IFACE, 'StartDiscovery', '', '', _start_discovery, sender=True)
    _add_method(adapter, ADAPTER_IFACE, 'StopDiscovery', '', '', _stop_discovery, sender=True)
    _add_method(adapter, ADAPTER_IFACE, 'SetDiscoveryFilter', 'a{sv}', '', _set_discovery_filter,
                sender=True)
    _add_method(adapter, ADAPTER_IFACE, 'GetDiscoveryFilters', '', 'as',
                lambda _self: dbus.Array(sorted(FILTER_KEYS), signature='s'))
    _add_method(adapter, ADAPTER_IFACE, 'RemoveDevice', 'o', '', _remove_device, asynchronous=True)
    return path


def _powered(adapter):
    return bool(adapter.props[ADAPTER_IFACE]['Powered'])


def _set_discovering(adapter):
    on = bool(_discovering[adapter.__dbus_object_path__])
    if bool(adapter.props[ADAPTER_IFACE]['Discovering']) != on:
        _emit_changed(adapter, ADAPTER_IFACE, {'Discovering': dbus.Boolean(on, variant_level=1)})


def _start_discovery(adapter, sender):
    if not _powered(adapter):
        raise _error('NotReady', 'Resource Not Ready')
    clients = _discovering[adapter.__dbus_object_path__]
    if sender in clients:
        raise _error('InProgress', 'Operation already in progress')
    clients.add(sender)
    _set_discovering(adapter)
    GLib.idle_add(_report_advertisers, adapter.__dbus_object_path__)


def _advertises(device):
    '''A connected device stops advertising, unless told it goes on.'''
    props = device.props[DEVICE_IFACE]
    return not props.get('Connected') or getattr(device, 'advertises_connected', False)


def _report_advertisers(adapter_path):
    '''A discovery that starts hears every device that advertises: each gets
    its signal strength again.'''
    if not _discovering.get(adapter_path):
        return False
    prefix = adapter_path + '/dev_'
    for path, obj in list(mockobject.objects.items()):
        if not path.startswith(prefix) or path.count('/') != 4 or DEVICE_IFACE not in obj.props:
            continue
        if not _advertises(obj):
            continue
        rssi = obj.props[DEVICE_IFACE].get('RSSI', getattr(obj, 'advertised_rssi', None))
        if rssi:  # 0: known from an earlier scan, out of range now
            _emit_changed(obj, DEVICE_IFACE, {'RSSI': dbus.Int16(rssi, variant_level=1)})
    return False


def _client_left(name, old_owner, new_owner):
    '''BlueZ ends the discovery session of a client that leaves the bus.'''
    if new_owner or not name.startswith(':'):
        return
    for adapter_path, clients in list(_discovering.items()):
        if name not in clients:
            continue
        _filters.get(adapter_path, {}).pop(name, None)
        adapter = mockobject.objects.get(adapter_path)
        if adapter is not None and _powered(adapter):
            _stop_discovery(adapter, name)
        else:
            clients.discard(name)
    _ = old_owner


def _stop_discovery(adapter, sender):
    if not _powered(adapter):
        raise _error('NotReady', 'Resource Not Ready')
    clients = _discovering[adapter.__dbus_object_path__]
    if sender not in clients:
        raise _error('Failed', 'No discovery started')
    clients.discard(sender)
    _set_discovering(adapter)
    if not clients:
        # RSSI is known only while some discovery sees the device.
        prefix = adapter.__dbus_object_path__ + '/dev_'
        for path, obj in list(mockobject.objects.items()):
            if path.startswith(prefix) and DEVICE_IFACE in obj.props \
                    and 'RSSI' in obj.props[DEVICE_IFACE]:
                _emit_changed(obj, DEVICE_IFACE, {}, ['RSSI'])


def _set_discovery_filter(adapter, sender, discovery_filter):
    if not _powered(adapter):
        raise _error('NotReady', 'Resource Not Ready')
    for key in discovery_filter:
        if key not in FILTER_KEYS:
            raise _error('InvalidArguments', 'Invalid arguments in method call')
    transport = discovery_filter.get('Transport', 'auto')
    if transport not in ('auto', 'le', 'bredr'):
        raise _error('InvalidArguments', 'Invalid arguments in method call')
    filters = _filters[adapter.__dbus_object_path__]
    if discovery_filter:
        filters[sender] = dict(discovery_filter)
    else:
        filters.pop(sender, None)


def _seen_by_discovery(adapter_path, uuids):
    '''Whether an advertiser with these UUIDs gets an object: yes unless every
    discovering client filters on UUIDs and none of them is advertised.'''
    clients = _discovering.get(adapter_path, set())
    if not clients:
        return True
    advertised = {str(u).lower() for u in uuids}
    for client in clients:
        wanted = {str(u).lower() for u in _filters[adapter_path].get(client, {}).get('UUIDs', [])}
        if not wanted or wanted & advertised:
            return True
    return False


def _remove_device(adapter, ok, err, path):
    '''Disconnects as Disconnect does (a pending Connect is cancelled), then
    forgets the device and answers.'''
    path = str(path)
    device = mockobject.objects.get(path)
    if device is None or DEVICE_IFACE not in device.props \
            or _adapter_of(device) != adapter.__dbus_object_path__:
        err(_error('DoesNotExist', 'Does Not Exist'))
        return
    if not _powered(adapter):
        err(_error('NotReady', 'Resource Not Ready'))
        return

    def gone():
        if mockobject.objects.get(path) is device:
            _forget_device(path)
        ok()
    _device_disconnect(device, gone, err)


def _withdraw_gatt(device_path):
    for path, (interface, _props, _methods) in sorted(_gatt.get(device_path, {}).items(), reverse=True):
        if path in mockobject.objects:
            _withdraw(path, interface)


def _forget_device(path):
    _withdraw_gatt(path)
    _gatt.pop(path, None)
    _withdraw(path, DEVICE_IFACE)


# --- org.bluez.Device1 -------------------------------------------------------

def _characteristics_of(device_path):
    return [p for p, obj in mockobject.objects.items()
            if p.startswith(device_path + '/') and CHARACTERISTIC_IFACE in obj.props]


def _missing_gatt(device_path):
    '''The device's GATT objects not exported now, parents first.'''
    return sorted(p for p in _gatt.get(device_path, {}) if p not in mockobject.objects)


def _export(device_path, path):
    interface, props, methods = _gatt[device_path][path]
    props = dict(props)  # the object's changes stay off the definition
    if interface == CHARACTERISTIC_IFACE and _device_connected(path):
        props['MTU'] = dbus.UInt16(MTU, variant_level=1)
    mockobject.objects['/'].AddObject(path, interface, props, [])
    obj = mockobject.objects[path]
    for name, in_sig, out_sig, func, asynchronous, sender in methods:
        _add_method(obj, interface, name, in_sig, out_sig, func, asynchronous, sender)
    _announce(path, interface)


def _export_stepwise(device, then):
    '''Exports the device's missing GATT objects one per main-loop turn,
    STEP_MS apart, parents first, then calls then(); a dropped link, a Service
    Changed or the device's removal stops it.'''
    path = device.__dbus_object_path__
    device.gatt_epoch = epoch = getattr(device, 'gatt_epoch', 0) + 1

    def step():
        if mockobject.objects.get(path) is not device or device.gatt_epoch != epoch:
            return False
        missing = _missing_gatt(path)
        if missing:
            _export(path, missing[0])
            return True
        then()
        return False
    GLib.timeout_add(STEP_MS, step)


def _set_services_resolved(device, on):
    if bool(device.props[DEVICE_IFACE]['ServicesResolved']) != on:
        _emit_changed(device, DEVICE_IFACE, {'ServicesResolved': dbus.Boolean(on, variant_level=1)})


def _link_up(device, mode='ok'):
    '''The services resolve: cached characteristics learn the MTU, the
    missing GATT objects come (before ServicesResolved; after it, one per
    turn, when "early"; not at all when "empty").'''
    path = device.__dbus_object_path__
    for char_path in _characteristics_of(path):
        characteristic = mockobject.objects[char_path]
        if 'MTU' not in characteristic.props[CHARACTERISTIC_IFACE]:
            _emit_changed(characteristic, CHARACTERISTIC_IFACE, {'MTU': dbus.UInt16(MTU, variant_level=1)})
    if mode == 'early':
        device.gatt_exported = True
        _export_stepwise(device, lambda: None)  # from a later turn on
    elif mode != 'empty':
        device.gatt_exported = True
        for gatt_path in _missing_gatt(path):
            _export(path, gatt_path)
    _set_services_resolved(device, True)


def _device_connect(device, ok, err):
    adapter = mockobject.objects.get(_adapter_of(device))
    if adapter is None or not _powered(adapter):
        err(_error('NotReady', 'Resource Not Ready'))
        return
    if device.props[DEVICE_IFACE]['Connected'] and getattr(device, 'pending_connect', None) is None:
        ok()
        return
    if getattr(device, 'pending_connect', None) is not None:
        err(_error('Failed', 'Operation already in progress'))
        return
    mode = getattr(device, 'connect_mode', 'ok')
    device.pending_connect = (ok, err)

    def finish():
        if getattr(device, 'pending_connect', None) != (ok, err):
            return False
        device.pending_connect = None
        if mode in ('fail', 'slowfail'):
            err(_error('Failed', ABORT_BY_LOCAL))
            return False
        full = _out_of_room(device)
        if full is not None:
            err(_error('Failed', full))
            return False
        _emit_changed(device, DEVICE_IFACE, {'Connected': dbus.Boolean(True, variant_level=1)})
        ok()
        if getattr(device, 'resolve_on_connect', False):
            GLib.idle_add(resolve, 'ok')
        elif mode != 'hang':
            GLib.idle_add(resolve, mode)
        device.resolve_on_connect = False
        return False

    def resolve(resolve_mode):
        if device.props[DEVICE_IFACE]['Connected']:
            _link_up(device, resolve_mode)
        return False

    def kernel_gives_up():
        if getattr(device, 'pending_connect', None) != (ok, err):
            return False
        device.pending_connect = None
        err(_error('Failed', 'le-connection-abort-by-local'))
        return False

    if mode == 'never':
        GLib.timeout_add(KERNEL_CONNECT_TIMEOUT_MS, kernel_gives_up)
    else:
        GLib.timeout_add(1500 if mode == 'slowfail' else 5, finish)


def _out_of_room(device):
    '''The message Connect fails with when the device's adapter is full, else None.'''
    adapter_path = _adapter_of(device)
    links, message = _capacity.get(adapter_path, (-1, ''))
    if links < 0:
        return None
    connected = [obj for path, obj in mockobject.objects.items()
                 if path.startswith(adapter_path + '/dev_') and path.count('/') == 4
                 and obj is not device and obj.props[DEVICE_IFACE].get('Connected')]
    return (message or ABORT_BY_LOCAL) if len(connected) >= links else None


def _end_sessions(char_path, invalidated=()):
    '''Closes the characteristic's acquired sockets and ends its notify
    sessions; invalidates those of its properties named.'''
    _release_acquired(char_path)
    characteristic = mockobject.objects[char_path]
    props = characteristic.props[CHARACTERISTIC_IFACE]
    characteristic.notify_senders = set()
    changes = {'Notifying': dbus.Boolean(False, variant_level=1)} if props.get('Notifying') else {}
    invalidated = [name for name in invalidated if name in props]
    if changes or invalidated:
        _emit_changed(characteristic, CHARACTERISTIC_IFACE, changes, invalidated)


def _drop_link(device, then=None):
    '''The link is down: the sockets close at once; when `then` is given
    (the answer to Disconnect), it goes out first and the property changes
    follow from an idle callback, as BlueZ sends them.'''
    path = device.__dbus_object_path__
    device.gatt_epoch = getattr(device, 'gatt_epoch', 0) + 1  # stops a stepwise export
    for char_path in _characteristics_of(path):
        _end_sessions(char_path, ['MTU'])
    if then is not None:
        then()

    def changed():
        if device.props[DEVICE_IFACE]['Connected']:
            _emit_changed(device, DEVICE_IFACE, {
                'ServicesResolved': dbus.Boolean(False, variant_level=1),
                'Connected': dbus.Boolean(False, variant_level=1),
            })
        return False
    if then is None:
        changed()
    else:
        GLib.idle_add(changed)


def _device_disconnect(device, ok, _err):
    pending = getattr(device, 'pending_connect', None)
    if pending is not None:
        device.pending_connect = None
        pending[1](_error('Failed', 'br-connection-canceled'))
        _drop_link(device, ok)
        return
    if not device.props[DEVICE_IFACE]['Connected']:
        ok()
        return

    def drop():
        _drop_link(device, ok)
        return False
    GLib.timeout_add(_disconnect_delay_ms[0], drop)


@dbus.service.method(MOCK_IFACE, in_signature='sssasa{qay}n', out_signature='o')
def AddLEDevice(self, adapter_name, address, name, uuids, manufacturer_data, rssi):
    '''Adds an LE device that is being seen right now and announces it, unless
    the discovery's filters keep it out.'''
    adapter_path = '/org/bluez/' + adapter_name
    if adapter_path not in mockobject.objects:
        raise dbus.exceptions.DBusException(f'Adapter {adapter_name} does not exist.',
                                            name=MOCK_IFACE + '.NoSuchAdapter')
    address = str(address).upper()
    path = adapter_path + '/dev_' + address.replace(':', '_')
    if not _seen_by_discovery(adapter_path, uuids):
        return dbus.ObjectPath(path)
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
        'Bonded': dbus.Boolean(False, variant_level=1),
        'Trusted': dbus.Boolean(False, variant_level=1),
        'Blocked': dbus.Boolean(False, variant_level=1),
        'LegacyPairing': dbus.Boolean(False, variant_level=1),
        'Connected': dbus.Boolean(False, variant_level=1),
        'ServicesResolved': dbus.Boolean(False, variant_level=1),
    }
    self.AddObject(path, DEVICE_IFACE, properties, [
        ('Pair', '', '', ''),
        ('CancelPairing', '', '', ''),
    ])
    device = mockobject.objects[path]
    device.advertised_rssi = int(rssi)
    _add_method(device, DEVICE_IFACE, 'Connect', '', '', _device_connect, asynchronous=True)
    _add_method(device, DEVICE_IFACE, 'Disconnect', '', '', _device_disconnect, asynchronous=True)
    _announce(path, DEVICE_IFACE)
    return dbus.ObjectPath(path)


@dbus.service.method(MOCK_IFACE, in_signature='os', out_signature='')
def SetConnectMode(_self, device_path, mode):
    '''"ok" connects and resolves services, "fail" refuses ("slowfail" after
    1.5 s, as a link that never comes up), "hang" connects
    and never resolves services, "never" never answers, "early" resolves
    before the GATT objects come, "empty" resolves without them.'''
    if mode not in ('ok', 'fail', 'slowfail', 'hang', 'never', 'early', 'empty'):
        raise dbus.exceptions.DBusException(f'Unknown mode {mode}',
                                            name=MOCK_IFACE + '.InvalidArguments')
    _object(device_path).connect_mode = str(mode)


@dbus.service.method(MOCK_IFACE, in_signature='o', out_signature='')
def LeaveConnected(_self, device_path):
    '''A program connected the device and ended without letting go (a crash,
    say): the link stays up and resolved, and with that program's discovery
    gone the device has no RSSI.'''
    device = _object(device_path)
    if not device.props[DEVICE_IFACE]['Connected']:
        _emit_changed(device, DEVICE_IFACE, {'Connected': dbus.Boolean(True, variant_level=1)})
        _link_up(device, 'ok')
    if 'RSSI' in device.props[DEVICE_IFACE]:
        _emit_changed(device, DEVICE_IFACE, {}, ['RSSI'])


@dbus.service.method(MOCK_IFACE, in_signature='ob', out_signature='')
def SetAdvertisesWhileConnected(_self, device_path, on):
    '''Whether the device goes on advertising while connected (most stop).'''
    _object(device_path).advertises_connected = bool(on)


@dbus.service.method(MOCK_IFACE, in_signature='o', out_signature='')
def DisconnectRemote(_self, device_path):
    '''The device ends the link on its side.'''
    _drop_link(_object(device_path))


@dbus.service.method(MOCK_IFACE, in_signature='o', out_signature='')
def ResolveServices(_self, device_path):
    '''Ends a "hang" or "empty": the missing GATT objects appear and the
    services are resolved; a connection still on its way resolves as soon as
    it is made.'''
    device = _object(device_path)
    if not device.props[DEVICE_IFACE]['Connected']:
        if getattr(device, 'pending_connect', None) is None:
            raise _error('Failed', 'Not connected')
        device.resolve_on_connect = True
        return
    _link_up(device)


@dbus.service.method(MOCK_IFACE, in_signature='o', out_signature='')
def ServiceChanged(_self, device_path):
    '''The device indicates Service Changed with the link up: BlueZ frees its
    GATT objects (closing acquired sockets, ending notify sessions) and
    discovers them again.'''
    device = _object(device_path)
    if not device.props[DEVICE_IFACE]['Connected']:
        raise _error('Failed', 'Not connected')
    path = str(device_path)
    _set_services_resolved(device, False)
    for char_path in _characteristics_of(path):
        _end_sessions(char_path)
    _withdraw_gatt(path)
    device.gatt_exported = True
    _export_stepwise(device, lambda: _set_services_resolved(device, True))


@dbus.service.method(MOCK_IFACE, in_signature='o', out_signature='')
def RemoveLEDevice(_self, device_path):
    '''BlueZ forgets the device (its temporary timeout, or RemoveDevice).'''
    _drop_link(_object(device_path))
    _forget_device(str(device_path))


@dbus.service.method(MOCK_IFACE, in_signature='d', out_signature='')
def SetDisconnectDelay(_self, seconds):
    _disconnect_delay_ms[0] = int(max(0.0, float(seconds)) * 1000)


@dbus.service.method(MOCK_IFACE, in_signature='sis', out_signature='')
def SetAdapterCapacity(_self, adapter_name, links, message):
    '''The controller takes that many links; a Connect beyond fails.'''
    _object('/org/bluez/' + str(adapter_name))
    _capacity['/org/bluez/' + str(adapter_name)] = (int(links), str(message))


@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='')
def UnplugAdapter(self, adapter_name):
    '''The adapter is unplugged: its object goes, then its devices, whose
    links end with it (acquired sockets closed, no Connected change).'''
    adapter_path = '/org/bluez/' + str(adapter_name)
    _object(adapter_path)
    RemoveAdapter(self, adapter_name)
    _filters.pop(adapter_path, None)
    _discovering.pop(adapter_path, None)
    _capacity.pop(adapter_path, None)
    devices = [path for path, obj in list(mockobject.objects.items())
               if path.startswith(adapter_path + '/dev_') and path.count('/') == 4
               and DEVICE_IFACE in obj.props]
    for path in devices:
        device = mockobject.objects[path]
        device.gatt_epoch = getattr(device, 'gatt_epoch', 0) + 1
        pending = getattr(device, 'pending_connect', None)
        if pending is not None:
            device.pending_connect = None
            pending[1](_error('Failed', 'br-connection-canceled'))
        for char_path in _characteristics_of(path):
            _release_acquired(char_path)
        _forget_device(path)


# --- GATT objects ------------------------------------------------------------

def _fail_if_asked(path, method):
    if method in _failing.get(str(path), set()):
        raise _error('Failed', f'{method} failed')


def _device_connected(gatt_path):
    device = mockobject.objects.get(_device_path_of(gatt_path))
    return device is not None and bool(device.props[DEVICE_IFACE]['Connected'])


def _define(device_path, path, interface, props, methods):
    '''Exports the object now if the device has been connected before (BlueZ's
    cache keeps its GATT objects), else at its first connection.'''
    device = _object(device_path)
    _gatt.setdefault(device_path, {})[path] = (interface, props, methods)
    if getattr(device, 'gatt_exported', False):
        _export(device_path, path)


def _record_write(path, value, options):
    writes = _writes.setdefault(str(path), [])
    writes.append((dbus.Array(value, signature='y'), dbus.Dictionary(options, signature='sv'),
                   dbus.Double(time.monotonic())))


def _characteristic_read(characteristic, _options):
    return characteristic.props[CHARACTERISTIC_IFACE].get('Value', dbus.Array([], signature='y'))


def _characteristic_write(characteristic, value, options):
    path = characteristic.__dbus_object_path__
    _fail_if_asked(path, 'WriteValue')
    if path in _write_sockets:
        raise _error('NotPermitted', 'Write acquired')
    if not _device_connected(path):
        raise _error('Failed', 'Not connected')
    _record_write(path, value, options)
    if _write_delay[0] > 0:
        time.sleep(_write_delay[0])


def _set_notifying(characteristic, on):
    if characteristic.props[CHARACTERISTIC_IFACE]['Notifying'] == on:
        return
    _emit_changed(characteristic, CHARACTERISTIC_IFACE,
                  {'Notifying': dbus.Boolean(on, variant_level=1)})


def _characteristic_start_notify(characteristic, sender):
    path = characteristic.__dbus_object_path__
    _fail_if_asked(path, 'StartNotify')
    if path in _notify_sockets:
        raise _error('NotPermitted', 'Notify acquired')
    characteristic.notify_senders = getattr(characteristic, 'notify_senders', set()) | {sender}
    _set_notifying(characteristic, True)


def _characteristic_stop_notify(characteristic, sender):
    senders = getattr(characteristic, 'notify_senders', set())
    if sender not in senders:
        raise _error('Failed', 'No notify session started')
    senders.discard(sender)
    if not senders:
        _set_notifying(characteristic, False)


def _socket_pair():
    ours, theirs = socket.socketpair(socket.AF_UNIX, socket.SOCK_SEQPACKET | socket.SOCK_NONBLOCK)
    return ours, theirs


def _acquire_checks(characteristic, method, flag):
    path = characteristic.__dbus_object_path__
    _fail_if_asked(path, method)
    if flag not in characteristic.props[CHARACTERISTIC_IFACE]['Flags']:
        raise _error('NotSupported', 'Operation is not supported')
    if not _device_connected(path):
        raise _error('Failed', 'Not connected')
    return path


def _characteristic_acquire_write(characteristic, _options):
    path = _acquire_checks(characteristic, 'AcquireWrite', 'write-without-response')
    if path in _write_sockets:
        raise _error('NotPermitted', 'Write acquired')
    ours, theirs = _socket_pair()
    _write_sockets[path] = ours

    def readable(_fd, condition):
        if _write_sockets.get(path) is not ours:
            return False
        while True:
            try:
                frame = ours.recv(512)
            except BlockingIOError:
                break
            except OSError:
                frame = b''
            if not frame:
                _release_acquired(path, write=True, notify=False)
                return False
            _record_write(path, dbus.Array(frame, signature='y'),
                          {'type': dbus.String('command', variant_level=1),
                           'acquired': dbus.Boolean(True, variant_level=1)})
        if condition & (GLib.IO_HUP | GLib.IO_ERR):
            _release_acquired(path, write=True, notify=False)
            return False
        return True

    GLib.io_add_watch(ours.fileno(), GLib.IO_IN | GLib.IO_HUP | GLib.IO_ERR, readable)
    _emit_changed(characteristic, CHARACTERISTIC_IFACE, {'WriteAcquired': dbus.Boolean(True, variant_level=1)})
    fd = dbus.types.UnixFd(theirs)
    theirs.close()
    return (fd, dbus.UInt16(MTU))


def _characteristic_acquire_notify(characteristic, _options):
    path = _acquire_checks(characteristic, 'AcquireNotify', 'notify')
    if path in _notify_sockets:
        raise _error('NotPermitted', 'Notify acquired')
    if getattr(characteristic, 'notify_senders', set()):
        raise _error('InProgress', 'Operation already in progress')
    ours, theirs = _socket_pair()
    _notify_sockets[path] = ours

    def hung_up(_fd, _condition):
        if _notify_sockets.get(path) is ours:
            _release_acquired(path, write=False, notify=True)
        return False

    GLib.io_add_watch(ours.fileno(), GLib.IO_HUP | GLib.IO_ERR, hung_up)
    _emit_changed(characteristic, CHARACTERISTIC_IFACE, {
        'NotifyAcquired': dbus.Boolean(True, variant_level=1),
        'Notifying': dbus.Boolean(True, variant_level=1),
    })
    fd = dbus.types.UnixFd(theirs)
    theirs.close()
    return (fd, dbus.UInt16(MTU))


def _release_acquired(path, write=True, notify=True):
    characteristic = mockobject.objects.get(path)
    changes = {}
    if write and path in _write_sockets:
        _write_sockets.pop(path).close()
        changes['WriteAcquired'] = dbus.Boolean(False, variant_level=1)
    if notify and path in _notify_sockets:
        _notify_sockets.pop(path).close()
        changes['NotifyAcquired'] = dbus.Boolean(False, variant_level=1)
        changes['Notifying'] = dbus.Boolean(False, variant_level=1)
    if characteristic is not None and changes:
        _emit_changed(characteristic, CHARACTERISTIC_IFACE, changes)


def _descriptor_read(descriptor, _options):
    return descriptor.props[DESCRIPTOR_IFACE]['Value']


def _descriptor_write(descriptor, value, _options):
    descriptor.props[DESCRIPTOR_IFACE]['Value'] = dbus.Array(value, signature='y', variant_level=1)


@dbus.service.method(MOCK_IFACE, in_signature='oqs', out_signature='o')
def AddGattService(_self, device_path, handle, uuid):
    device_path = str(device_path)
    device = _object(device_path)  # must exist
    path = f'{device_path}/service{int(handle):04x}'
    props = {
        'UUID': dbus.String(str(uuid).lower(), variant_level=1),
        'Device': dbus.ObjectPath(device_path, variant_level=1),
        'Primary': dbus.Boolean(True, variant_level=1),
        'Includes': dbus.Array([], signature='o', variant_level=1),
        'Handle': dbus.UInt16(handle, variant_level=1),
    }
    del device
    _define(device_path, path, SERVICE_IFACE, props, [])
    return dbus.ObjectPath(path)


@dbus.service.method(MOCK_IFACE, in_signature='oqsas', out_signature='o')
def AddGattCharacteristic(_self, service_path, handle, uuid, flags):
    service_path = str(service_path)
    device_path = _device_path_of(service_path)
    path = f'{service_path}/char{int(handle):04x}'
    flags = [str(f) for f in flags]
    props = {
        'UUID': dbus.String(str(uuid).lower(), variant_level=1),
        'Service': dbus.ObjectPath(service_path, variant_level=1),
        'Value': dbus.Array([], signature='y', variant_level=1),
        'Notifying': dbus.Boolean(False, variant_level=1),
        'Flags': dbus.Array(flags, signature='s', variant_level=1),
        'Handle': dbus.UInt16(handle, variant_level=1),
    }
    if 'write-without-response' in flags:
        props['WriteAcquired'] = dbus.Boolean(False, variant_level=1)
    if 'notify' in flags:
        props['NotifyAcquired'] = dbus.Boolean(False, variant_level=1)
    _writes[path] = []
    _define(device_path, path, CHARACTERISTIC_IFACE, props, [
        ('ReadValue', 'a{sv}', 'ay', _characteristic_read, False, False),
        ('WriteValue', 'aya{sv}', '', _characteristic_write, False, False),
        ('StartNotify', '', '', _characteristic_start_notify, False, True),
        ('StopNotify', '', '', _characteristic_stop_notify, False, True),
        ('AcquireWrite', 'a{sv}', 'hq', _characteristic_acquire_write, False, False),
        ('AcquireNotify', 'a{sv}', 'hq', _characteristic_acquire_notify, False, False),
    ])
    return dbus.ObjectPath(path)


@dbus.service.method(MOCK_IFACE, in_signature='oqs', out_signature='o')
def AddGattDescriptor(_self, characteristic_path, handle, uuid):
    characteristic_path = str(characteristic_path)
    path = f'{characteristic_path}/desc{int(handle):04x}'
    props = {
        'UUID': dbus.String(str(uuid).lower(), variant_level=1),
        'Characteristic': dbus.ObjectPath(characteristic_path, variant_level=1),
        'Value': dbus.Array([], signature='y', variant_level=1),
        'Flags': dbus.Array(['read', 'write'], signature='s', variant_level=1),
        'Handle': dbus.UInt16(handle, variant_level=1),
    }
    _define(_device_path_of(characteristic_path), path, DESCRIPTOR_IFACE, props, [
        ('ReadValue', 'a{sv}', 'ay', _descriptor_read, False, False),
        ('WriteValue', 'aya{sv}', '', _descriptor_write, False, False),
    ])
    return dbus.ObjectPath(path)


@dbus.service.method(MOCK_IFACE, in_signature='oay', out_signature='')
def EmitNotification(_self, characteristic_path, value):
    '''The device notifies a value on the characteristic; only a subscriber
    (StartNotify or AcquireNotify) gets it.'''
    path = str(characteristic_path)
    characteristic = _object(path)
    if path in _notify_sockets:
        characteristic.props[CHARACTERISTIC_IFACE]['Value'] = dbus.Array(value, signature='y',
                                                                         variant_level=1)
        try:
            _notify_sockets[path].send(bytes(value))
        except OSError:
            pass  # a full socket drops the notification, as BlueZ's does
        return
    if characteristic.props[CHARACTERISTIC_IFACE].get('Notifying'):
        _emit_changed(characteristic, CHARACTERISTIC_IFACE,
                      {'Value': dbus.Array(value, signature='y', variant_level=1)})


@dbus.service.method(MOCK_IFACE, in_signature='o', out_signature='a(aya{sv}d)')
def GetWrites(_self, characteristic_path):
    '''Every write so far (WriteValue or the acquired socket): the bytes, the
    options and when it arrived.'''
    return dbus.Array(_writes.get(str(characteristic_path), []), signature='(aya{sv}d)')


@dbus.service.method(MOCK_IFACE, in_signature='o', out_signature='(ayd)')
def GetLastWrite(_self, characteristic_path):
    '''The newest write (no bytes and time 0 before any): cheap to poll.'''
    writes = _writes.get(str(characteristic_path), [])
    if not writes:
        return dbus.Struct((dbus.Array([], signature='y'), dbus.Double(0.0)), signature='ayd')
    value, _options, when = writes[-1]
    return dbus.Struct((value, when), signature='ayd')


@dbus.service.method(MOCK_IFACE, in_signature='o', out_signature='')
def ClearWrites(_self, characteristic_path):
    _writes[str(characteristic_path)] = []


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
    failing = _failing.setdefault(str(object_path), set())
    if on:
        failing.add(str(method))
    else:
        failing.discard(str(method))
