#!/usr/bin/python3
'''The peer bench's other client: what a user would write by hand with bleak
to do zelto-drive's job. Finds the cars by the identifier they advertise,
connects them, subscribes to their notifications and writes the handshake,
then writes each frame of the plan at its time from the start of the drive
and stops every car at the end.

    bleak_drive.py PLAN.json

The plan: {"cars": [identifier, ...], "handshake": [hex, ...], "stop": hex,
"steps": [[at_ms, car_index, hex], ...], "end_ms": ms}, the frames byte for
byte as zelto-drive writes them; the cars stop at end_ms. Prints {"origin": T}: the start of the drive, in
seconds of time.monotonic() (CLOCK_MONOTONIC).
'''

import asyncio
import itertools
import json
import sys
import time

from bleak import BleakClient, BleakScanner

SERVICE = 'be15beef-6186-407e-8381-0bd89c4d8df4'
READ = 'be15bee0-6186-407e-8381-0bd89c4d8df4'
WRITE = 'be15bee1-6186-407e-8381-0bd89c4d8df4'
COMPANY = 0xEFBE


async def find(identifiers, seconds=10):
    '''The cars advertising these identifiers (manufacturer data 00 MODEL ID).'''
    found = {}
    everyone = asyncio.Event()

    def heard(device, advertisement):
        data = advertisement.manufacturer_data.get(COMPANY, b'')
        identifier = int.from_bytes(data[2:6], 'big') if len(data) >= 6 else None
        if identifier in identifiers:
            found[identifier] = device
            if len(found) == len(identifiers):
                everyone.set()

    async with BleakScanner(heard, service_uuids=[SERVICE]):
        await asyncio.wait_for(everyone.wait(), seconds)
    return [found[identifier] for identifier in identifiers]


async def main(plan):
    devices = await find(plan['cars'])
    clients = [BleakClient(device) for device in devices]
    await asyncio.gather(*(client.connect() for client in clients))
    handshake = [bytes.fromhex(frame) for frame in plan['handshake']]

    async def greet(client):
        await client.start_notify(READ, lambda _characteristic, _value: None)
        for frame in handshake:
            await client.write_gatt_char(WRITE, frame, response=False)
    await asyncio.gather(*(greet(client) for client in clients))

    origin = time.monotonic()
    for at_ms, steps in itertools.groupby(plan['steps'], key=lambda step: step[0]):
        delay = origin + at_ms / 1000 - time.monotonic()
        if delay > 0:
            await asyncio.sleep(delay)
        await asyncio.gather(*(clients[car].write_gatt_char(WRITE, bytes.fromhex(frame), response=False)
                               for _at, car, frame in steps))
    delay = origin + plan['end_ms'] / 1000 - time.monotonic()
    if delay > 0:
        await asyncio.sleep(delay)
    stop = bytes.fromhex(plan['stop'])
    await asyncio.gather(*(client.write_gatt_char(WRITE, stop, response=False) for client in clients))
    await asyncio.gather(*(client.disconnect() for client in clients))
    print(json.dumps({'origin': origin}))


if __name__ == '__main__':
    with open(sys.argv[1], encoding='utf-8') as file:
        asyncio.run(main(json.load(file)))
