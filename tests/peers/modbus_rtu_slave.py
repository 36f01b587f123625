#!/usr/bin/python3
"""Modbus RTU slaves on a serial line (a pty end), for the master's tests and the demo.

Each --slave ADDRESS:TYPE gets its registers and discrete inputs from the table
of its TYPE (ups1, ups3, trv5200, 9315, inverter, sensor, meter). Every write
is printed as "write ADDRESS 0xREGISTER = VALUE". Commands on stdin, one a line:

  set ADDRESS REGISTER VALUE     a register (holding and input alike)
  input ADDRESS NUMBER 0|1       a discrete input
  silence ADDRESS / speak ADDRESS
  exception ADDRESS CODE         the next answer is that exception
  badcrc ADDRESS                 the next answer carries a wrong CRC
  wrongaddr ADDRESS              the next answer carries another address
  short ADDRESS                  the next answer's byte count is one short
  raw ADDRESS HEX                the next answer is these bytes as they stand
"""
import argparse
import asyncio
import struct
import sys
import threading

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.framer.rtu_framer import ModbusRtuFramer
from pymodbus.server.async_io import StartAsyncSerialServer
from pymodbus.utilities import computeCRC

REGISTERS = 2048
INPUTS = 512


def text_registers(first, text):
    """Two characters a register, the first in the low byte."""
    raw = text.encode().ljust(16, b"\0")
    return {first + i: raw[2 * i] | (raw[2 * i + 1] << 8) for i in range(8)}


def ups(subtype):
    regs = {1024: subtype, 1025: 2300, 1026: 65535, 1027: 500, 1028: 2300, 1029: 2300,
            1030: 2300, 1037: 3, 1054: 2290, 1055: 2300, 1056: 499, 1090: 1, 772: 230}
    regs.update(text_registers(1272, "Larkpower"))
    regs.update(text_registers(1283, "LK-M3000"))
    regs.update(text_registers(1294, "RTU"))
    return regs, {275: 1, 256: 0}


TYPES = {
    "ups1": lambda: ups(1),
    "ups3": lambda: ups(3),
    "trv5200": lambda: ({521: 10, 64: 0x0001, 256: 2300, 289: 50, 384: 120}, {}),
    "9315": lambda: ({3: 230, 4: 231, 5: 229, 21: 4000}, {15: 1}),
    "inverter": lambda: ({1023: 0, 1028: 0x0102, 1029: 3000, 1048: 80, 1052: 1000,
                          1077: 100, 1078: 200, 1079: 300}, {}),
    "sensor": lambda: ({0: 32768, 1: 20, 2: 21, 3: 22, 4: 500, 5: 30000}, {}),
    "meter": lambda: ({1099: 10, 1100: 11, 1101: 12, 1123: 2300, 1124: 2310, 1125: 2320,
                       1179: 500, 1142: 100, 1699: 1234, 1700: 5}, {}),
}


class Slaves:
    def __init__(self, specs):
        self.lock = threading.Lock()
        self.silent = set()
        self.next_fault = {}  # address -> (kind, argument)
        self.blocks = {}
        slaves = {}
        for spec in specs:
            address, kind = spec.split(":")
            address = int(address)
            regs, inputs = TYPES[kind]()
            words = [0] * REGISTERS
            for r, v in regs.items():
                words[r] = v
            bits = [0] * INPUTS
            for n, v in inputs.items():
                bits[n] = v
            registers = ModbusSequentialDataBlock(0, words)
            discrete = ModbusSequentialDataBlock(0, bits)
            self.blocks[address] = (registers, discrete)
            slaves[address] = ModbusSlaveContext(di=discrete, co=discrete, hr=registers,
                                                 ir=registers, zero_mode=True)
        self.context = ModbusServerContext(slaves=slaves, single=False)
        self.framer = ModbusRtuFramer(None)

    def command(self, line):
        words = line.split()
        if not words:
            return
        verb, address = words[0], int(words[1]) if len(words) > 1 else 0
        with self.lock:
            if verb == "set":
                self.blocks[address][0].setValues(int(words[2]), [int(words[3])])
            elif verb == "input":
                self.blocks[address][1].setValues(int(words[2]), [int(words[3])])
            elif verb == "silence":
                self.silent.add(address)
            elif verb == "speak":
                self.silent.discard(address)
            elif verb in ("exception", "raw"):
                self.next_fault[address] = (verb, words[2])
            elif verb in ("badcrc", "wrongaddr", "short"):
                self.next_fault[address] = (verb, None)
        print("ok", line.strip(), flush=True)

    def manipulate(self, response):
        address = response.unit_id
        if response.function_code in (5, 6):
            print(f"write {address} 0x{response.address:04X} = {response.value}", flush=True)
        with self.lock:
            if address in self.silent:
                return b"", True
            fault = self.next_fault.pop(address, None)
        if fault is None:
            return response, False
        kind, arg = fault
        if kind == "raw":
            return bytes.fromhex(arg), True
        if kind == "exception":
            body = bytes([address, response.function_code | 0x80, int(arg, 0)])
            return body + struct.pack(">H", computeCRC(body)), True
        packet = bytearray(self.framer.buildPacket(response))
        if kind == "badcrc":
            packet[-1] ^= 0xFF
        elif kind == "wrongaddr":
            packet[0] = (address + 1) & 0xFF
            packet[-2:] = struct.pack(">H", computeCRC(bytes(packet[:-2])))
        elif kind == "short":
            packet[2] = (packet[2] - 1) & 0xFF
            del packet[-3]
            packet[-2:] = struct.pack(">H", computeCRC(bytes(packet[:-2])))
        return bytes(packet), True


def read_commands(slaves):
    for line in sys.stdin:
        slaves.command(line)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", required=True)
    parser.add_argument("--baud", type=int, default=9600)
    parser.add_argument("--slave", action="append", required=True)
    args = parser.parse_args()
    slaves = Slaves(args.slave)
    threading.Thread(target=read_commands, args=(slaves,), daemon=True).start()
    print("ready", flush=True)
    asyncio.run(StartAsyncSerialServer(context=slaves.context, framer=ModbusRtuFramer,
                                       port=args.port, baudrate=args.baud,
                                       ignore_missing_slaves=True,
                                       response_manipulator=slaves.manipulate))


if __name__ == "__main__":
    main()
