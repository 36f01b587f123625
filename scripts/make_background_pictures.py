#!/usr/bin/env python3
"""Draws the plain map backgrounds of data/Images/ as PNG files: the floor plan
of a server room (two rack rows, the UPS corner, cooling, the door) and the
plan of a site (two buildings, a plant room, a solar array, the road). Both
are as large as the demo map's group window (602 x 422) and drawn in pale
colours, so the device icons stay readable on them."""
import os
import struct
import sys
import zlib

W, H = 602, 422

FLOOR = (236, 238, 240)
TILE = (222, 225, 229)
WALL = (120, 126, 136)
RACK = (176, 184, 196)
RACK_EDGE = (130, 138, 150)
UPS_AREA = (214, 226, 238)
COOLING = (206, 228, 222)
DOOR = (236, 220, 190)
GRASS = (222, 236, 214)
ROAD = (204, 204, 200)
ROAD_LINE = (244, 244, 240)
BUILDING = (226, 222, 214)
ROOF_EDGE = (150, 144, 134)
PANEL = (178, 196, 222)
PANEL_LINE = (150, 170, 200)


class Picture:
    def __init__(self, fill):
        self.px = [[fill] * W for _ in range(H)]

    def rect(self, l, t, r, b, colour):
        for y in range(max(t, 0), min(b, H)):
            row = self.px[y]
            for x in range(max(l, 0), min(r, W)):
                row[x] = colour

    def frame(self, l, t, r, b, colour, width=1):
        self.rect(l, t, r, t + width, colour)
        self.rect(l, b - width, r, b, colour)
        self.rect(l, t, l + width, b, colour)
        self.rect(r - width, t, r, b, colour)

    def save(self, path):
        raw = bytearray()
        for row in self.px:
            raw.append(0)  # no filter
            for colour in row:
                raw += bytes(colour)

        def chunk(kind, data):
            return (struct.pack(">I", len(data)) + kind + data +
                    struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

        png = (b"\x89PNG\r\n\x1a\n" +
               chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 2, 0, 0, 0)) +
               chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(png)


def server_room():
    p = Picture(FLOOR)
    for x in range(0, W, 30):  # raised-floor tiles
        p.rect(x, 0, x + 1, H, TILE)
    for y in range(0, H, 30):
        p.rect(0, y, W, y + 1, TILE)
    p.frame(0, 0, W, H, WALL, 6)
    p.rect(260, H - 6, 340, H, DOOR)  # the door in the south wall
    for top in (150, 280):  # two rows of eight racks
        for i in range(8):
            l = 110 + 46 * i
            p.rect(l, top, l + 42, top + 56, RACK)
            p.frame(l, top, l + 42, top + 56, RACK_EDGE)
    p.rect(470, 16, 590, 120, UPS_AREA)  # the UPS and battery corner
    p.frame(470, 16, 590, 120, RACK_EDGE)
    p.rect(16, 150, 56, 336, COOLING)  # the cooling unit on the west wall
    p.frame(16, 150, 56, 336, RACK_EDGE)
    return p


def site():
    p = Picture(GRASS)
    p.rect(0, 350, W, 392, ROAD)  # the road along the south
    for x in range(10, W, 40):
        p.rect(x, 370, x + 20, 372, ROAD_LINE)
    p.rect(280, 250, 310, 350, ROAD)  # the drive to the buildings
    p.rect(40, 40, 260, 230, BUILDING)  # building A
    p.frame(40, 40, 260, 230, ROOF_EDGE, 2)
    p.rect(330, 40, 560, 180, BUILDING)  # building B
    p.frame(330, 40, 560, 180, ROOF_EDGE, 2)
    for row in range(3):  # the solar array on building B's roof
        for col in range(5):
            l, t = 346 + 42 * col, 56 + 38 * row
            p.rect(l, t, l + 36, t + 30, PANEL)
            for y in range(t + 6, t + 30, 8):
                p.rect(l, y, l + 36, y + 1, PANEL_LINE)
    p.rect(400, 220, 500, 300, BUILDING)  # the plant room
    p.frame(400, 220, 500, 300, ROOF_EDGE, 2)
    return p


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "data", "Images")
    server_room().save(os.path.join(root, "server-room.png"))
    site().save(os.path.join(root, "site.png"))


if __name__ == "__main__":
    main()
