#!/usr/bin/env python3
"""Draws the plain UPS pictures of the Module tab into data/UPS/ as 24-bit
BMP files: a modular cabinet with four module slots ("Selka"), the four
module overlays that darken their slot when drawn with AND, a tower
("Vorm") and a three-phase cabinet ("Trobe")."""
import os
import struct
import sys

WHITE = (255, 255, 255)
FRAME = (60, 64, 72)
BODY = (200, 204, 210)
PANEL = (150, 156, 166)
SLOT = (96, 128, 160)      # a module slot: white digits stay readable on it
DISPLAY = (40, 90, 60)
VENT = (120, 124, 132)
FAULT = (255, 0, 0)        # ANDed over a slot: keeps only its red


class Picture:
    def __init__(self, w, h, fill=WHITE):
        self.w, self.h = w, h
        self.px = [[fill] * w for _ in range(h)]

    def rect(self, l, t, r, b, colour):
        for y in range(max(t, 0), min(b, self.h)):
            for x in range(max(l, 0), min(r, self.w)):
                self.px[y][x] = colour

    def frame(self, l, t, r, b, colour):
        self.rect(l, t, r, t + 1, colour)
        self.rect(l, b - 1, r, b, colour)
        self.rect(l, t, l + 1, b, colour)
        self.rect(r - 1, t, r, b, colour)

    def save(self, path):
        row = (self.w * 3 + 3) & ~3
        data = bytearray()
        for y in range(self.h - 1, -1, -1):  # bottom-up rows
            line = bytearray()
            for (r, g, b) in self.px[y]:
                line += bytes((b, g, r))
            line += b"\0" * (row - len(line))
            data += line
        header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
        info = struct.pack("<IiiHHIIiiII", 40, self.w, self.h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(header + info + data)


# White below the cabinet: the tab starts the next rows a little above the
# picture's bottom edge.
MARGIN = 10


def cabinet(w, h):
    p = Picture(w, h)
    p.rect(0, 0, w, h - MARGIN, BODY)
    p.frame(0, 0, w, h - MARGIN, FRAME)
    return p


def vents(p, l, t, r, b):
    for y in range(t, b, 6):
        p.rect(l, y, r, y + 2, VENT)


# The pictures are as wide as a column of the tab (175) and a little more,
# so the rows under them line up with the module columns.
WIDTH = 180
# Module slot m (0..3) of the cabinet: its top 36 + 26 m (the last one 113),
# 24 pixels high, from x 4 to 176; where the tab draws pm-(m+1).bmp.
SLOT_TOPS = (36, 62, 88, 113)
SLOT_W, SLOT_H = 172, 24


def selka():
    p = cabinet(WIDTH, 260)
    p.rect(4, 4, WIDTH - 4, 30, PANEL)
    p.rect(10, 9, 70, 25, DISPLAY)
    for top in SLOT_TOPS:
        p.rect(4, top, 4 + SLOT_W, top + SLOT_H, SLOT)
        p.rect(140, top + 6, 166, top + 18, PANEL)  # the module's handle
    vents(p, 10, 150, WIDTH - 10, 240)
    return p


def module():
    p = Picture(SLOT_W, SLOT_H, FAULT)
    p.frame(0, 0, SLOT_W, SLOT_H, (128, 0, 0))
    return p


def vorm():
    p = cabinet(WIDTH, 220)
    p.rect(4, 4, WIDTH - 4, 40, PANEL)
    p.rect(12, 12, 80, 32, DISPLAY)
    p.rect(60, 56, 120, 200, PANEL)  # one tower unit
    vents(p, 66, 64, 114, 196)
    return p


def trobe():
    p = cabinet(WIDTH, 240)
    p.rect(4, 4, WIDTH - 4, 40, PANEL)
    p.rect(12, 12, 80, 32, DISPLAY)
    for x in (10, 66, 122):  # the R, S and T inverters
        p.rect(x, 56, x + 48, 140, SLOT)
    vents(p, 12, 160, WIDTH - 12, 222)
    return p


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "data", "UPS")
    selka().save(os.path.join(root, "Selka", "selka-80k.bmp"))
    for m in range(1, 5):
        module().save(os.path.join(root, "Selka", "pm-%d.bmp" % m))
    vorm().save(os.path.join(root, "Vorm", "vorm.bmp"))
    trobe().save(os.path.join(root, "Trobe", "trobe.bmp"))


if __name__ == "__main__":
    main()
