#!/usr/bin/env python3
"""Draws the tray icon and the seal as plain PNG files (standard library only)."""
import math
import struct
import sys
import zlib


def write_png(path, width, height, pixel):
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            rows.extend(pixel(x, y))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(bytes(rows), 9)))
        out.write(chunk(b"IEND", b""))


RED = (196, 30, 58, 255)
CREAM = (255, 240, 200, 255)
GREEN = (0, 140, 69, 255)
CLEAR = (0, 0, 0, 0)


def pizza(size, x, y):
    """A pizza seen from above, cut in eight, with a few slices of pepperoni."""
    c = (size - 1) / 2
    dx, dy = x - c, y - c
    r = math.hypot(dx, dy) / c
    if r > 1:
        return CLEAR
    if r > 0.86:
        return (214, 150, 72, 255)  # crust
    angle = math.atan2(dy, dx)
    if abs(math.sin(4 * angle)) < 0.06 * c / max(math.hypot(dx, dy), 1):
        return (150, 90, 40, 255)  # cuts
    for k in range(8):
        a = k * math.pi / 4 + math.pi / 8
        px, py = c + 0.55 * c * math.cos(a), c + 0.55 * c * math.sin(a)
        if math.hypot(x - px, y - py) < 0.12 * c:
            return RED
    return (250, 205, 90, 255)  # cheese


def seal(size, x, y):
    """A round seal: green and red rings around the pizza."""
    c = (size - 1) / 2
    r = math.hypot(x - c, y - c) / c
    if r > 1:
        return CLEAR
    if r > 0.93:
        return GREEN
    if r > 0.86:
        return CREAM
    if r > 0.74:
        # twelve teeth around the ring
        angle = math.atan2(y - c, x - c)
        return RED if math.cos(12 * angle) > 0 else CREAM
    inner = 0.72 * c
    return pizza(int(2 * inner) + 1, x - (c - inner), y - (c - inner))


def main():
    out = sys.argv[1]
    write_png(f"{out}/tv_pq.png", 32, 32, lambda x, y: pizza(32, x, y))
    write_png(f"{out}/selo_trovanta.png", 262, 202,
              lambda x, y: seal(202, x - 30, y) if 30 <= x < 232 else CLEAR)


if __name__ == "__main__":
    main()
