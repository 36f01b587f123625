#!/usr/bin/python3
"""Modbus RTU slaves on a serial line (a pty end), for the master's tests and the demo.

Each --slave ADDRESS:TYPE gets its registers and discrete inputs from the table
of its TYPE: ups1, ups3, trv5200, 9315, inverter, sensor and meter hold the
values the master's tests check; demo-ups, demo-inverter, demo-sensor and
demo-meter read as healthy devices at work (the demo-meter's energy counts up
as time goes). ADDRESS:TYPE:SECONDS gives a type that has one its alarm, on
for SECONDS, off for SECONDS, and so on (demo-ups: input 260, "Bypass Not
Available"). Every write is printed as "write ADDRESS 0xREGISTER = VALUE".
Commands on stdin, one a line:

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
import time

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


ABSENT = 65535  # a Modbus UPS register without a value


def demo_ups():
    """A 3000 VA single-phase UPS on line at 40 % load, its battery full.

    The registers hold what the ASCII UPS answers in its fields, in the same
    units: the rating blocks from 1025, battery from 1054, input from 1072,
    output from 1090, bypass from 1110; the rest of each block is absent."""
    regs = {r: ABSENT for r in list(range(1025, 1051)) + list(range(1054, 1069)) +
            list(range(1072, 1088)) + list(range(1090, 1108)) + list(range(1110, 1125))}
    # Nominal voltages in whole volts, as the property pane shows them beside
    # the frequencies (kept divided by 10); VA and W in tens.
    rating = [230, 500, 230, 500, 300, 270, 1, 160, 280, 180, 110, 300, 250, 1, 240, 12,
              240, 20, 30, ABSENT, 180, 264, 200, 160, 276, 240]
    battery = [0, 0, 0, 0, 52, ABSENT, 2720, 0, 25, 100]  # normal, floating, 52 minutes
    line_in = [1, 500, 2310, 58]        # one phase, 50.0 Hz, 231.0 V, 5.8 A
    line_out = [0, 500, 1, 2300, 52, 1200, 40]  # on the inverter, 5.2 A, 1200 W, 40 %
    bypass = [500, ABSENT, 2300]
    for first, values in ((1025, rating), (1054, battery), (1072, line_in), (1090, line_out),
                          (1110, bypass)):
        regs.update({first + i: v for i, v in enumerate(values)})
    regs.update({1024: 1, 1127: 1, 1128: 2})  # subtype 1, self-test passed
    regs.update(text_registers(1272, "Larkpower"))
    regs.update(text_registers(1283, "LK-M3000"))
    regs.update(text_registers(1294, "2.14"))  # the firmware
    return regs, {275: 1}  # input 275 reads 1 on a healthy unit


def demo_inverter():
    """A 3 kW solar inverter at midday: three strings of about 600 W."""
    total = 8456000  # Wh produced so far
    regs = {1023: 1, 1028: 0x0102, 1029: 3000, 1030: 2100, 1031: 0, 1032: 2150,
            1033: total >> 16, 1034: total & 0xFFFF, 1044: 2300, 1045: 77, 1046: 500,
            1047: 41, 1048: 1850, 1049: 96, 1050: 0, 1051: 0, 1052: 1780,
            1077: 600, 1078: 590, 1079: 590}
    for i, (volts, amps, watts) in enumerate(((350, 17, 600), (348, 17, 595), (352, 17, 605))):
        regs.update({1035 + 3 * i: volts, 1036 + 3 * i: amps, 1037 + 3 * i: watts})
    for i in range(3):  # each phase's energy, Wh
        regs.update({1080 + 2 * i: 2818000 >> 16, 1081 + 2 * i: 2818000 & 0xFFFF})
    return regs, {}


def demo_sensor():
    """24.0 degrees, 45 % humidity and daylight (illumination 650)."""
    return {0: 44089, 1: 45, 2: 0, 3: 0, 4: 650, 5: 34133}, {}


METER_START = 123456789  # hundredths of a Wh
METER_STEP = 49  # hundredths of a Wh a second: 1.78 kW


def meter_energy(hundredths):
    """The energy registers 1699..1702: four base-10000 digits, lowest first."""
    return {1699 + i: (hundredths // 10000 ** i) % 10000 for i in range(4)}


def demo_meter():
    """The meter behind the inverter: 230 V, 7.7 A, 1.78 kW, 50.0 Hz."""
    regs = {1099: 77, 1100: 0, 1101: 0, 1123: 230, 1124: 230, 1125: 230, 1179: 500, 1142: 178}
    regs.update(meter_energy(METER_START))
    return regs, {}


# The one alarm of a type: (discrete input, value while it is on).
ALARMS = {"demo-ups": (260, 1)}

TYPES = {
    "demo-ups": demo_ups,
    "demo-inverter": demo_inverter,
    "demo-sensor": demo_sensor,
    "demo-meter": demo_meter,
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
    def __init__(self, entries):
        self.lock = threading.Lock()
        self.silent = set()
        self.next_fault = {}  # address -> (kind, argument)
        self.blocks = {}
        self.alarms = []  # (address, input, on value, seconds)
        self.meters = []  # addresses whose energy counts
        slaves = {}
        for entry in entries:
            address, kind, *seconds = entry.split(":")
            address = int(address)
            if seconds:
                self.alarms.append((address, *ALARMS[kind], float(seconds[0])))
            if kind == "demo-meter":
                self.meters.append(address)
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


def run_clock(slaves):
    """Turns the alarms on and off and counts the meters' energy."""
    start = time.monotonic()
    while True:
        elapsed = time.monotonic() - start
        with slaves.lock:
            for address, number, on, seconds in slaves.alarms:
                active = int(elapsed / seconds) % 2 == 1
                slaves.blocks[address][1].setValues(number, [on if active else 1 - on])
            for address in slaves.meters:
                regs = meter_energy(METER_START + int(elapsed * METER_STEP))
                slaves.blocks[address][0].setValues(1699, [regs[1699 + i] for i in range(4)])
        time.sleep(0.2)


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
    if slaves.alarms or slaves.meters:
        threading.Thread(target=run_clock, args=(slaves,), daemon=True).start()
    print("ready", flush=True)
    asyncio.run(StartAsyncSerialServer(context=slaves.context, framer=ModbusRtuFramer,
                                       port=args.port, baudrate=args.baud,
                                       ignore_missing_slaves=True,
                                       response_manipulator=slaves.manipulate))


if __name__ == "__main__":
    main()
