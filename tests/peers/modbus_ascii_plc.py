#!/usr/bin/python3
"""A PLC as a real Modbus ASCII slave (pymodbus), for the PLC master's peer test.

usage: modbus_ascii_plc.py PORT UNIT CONTROL_FILE

Serves discrete inputs at 1024 (input points) and 1280 (output points) on the
serial device PORT at 9600 8N1 for slave UNIT. CONTROL_FILE holds one line
"i0 i1 o0 o1": the four point bytes (decimal); it is read again whenever it
changes, so the test can flip points while the slave runs.
"""
import asyncio
import logging
import os
import sys

from pymodbus.datastore import ModbusServerContext, ModbusSequentialDataBlock, ModbusSlaveContext
from pymodbus.framer.ascii_framer import ModbusAsciiFramer
from pymodbus.server import StartAsyncSerialServer


def bits(byte_values):
    out = []
    for b in byte_values:
        out.extend((b >> i) & 1 for i in range(8))
    return out


def load(path):
    with open(path) as f:
        return [int(v) for v in f.read().split()]


async def watch(path, block):
    last = None
    while True:
        try:
            stamp = os.stat(path).st_mtime_ns
            if stamp != last:
                last = stamp
                values = load(path)
                block.setValues(1024, bits(values[0:2]))
                block.setValues(1280, bits(values[2:4]))
        except (OSError, ValueError):
            pass
        await asyncio.sleep(0.05)


async def main():
    port, unit, control = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    block = ModbusSequentialDataBlock(0, [0] * 1400)
    slave = ModbusSlaveContext(di=block, co=block, hr=block, ir=block, zero_mode=True)
    context = ModbusServerContext(slaves={unit: slave}, single=False)
    asyncio.ensure_future(watch(control, block))
    print("ready", flush=True)
    await StartAsyncSerialServer(context=context, framer=ModbusAsciiFramer, port=port,
                                 baudrate=9600, bytesize=8, parity="N", stopbits=1, timeout=0.05)


if __name__ == "__main__":
    logging.basicConfig(level=logging.CRITICAL)
    asyncio.run(main())
