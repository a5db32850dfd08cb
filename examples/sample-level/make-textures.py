#!/usr/bin/env python3
"""Draws the sample level's textures: small 24-bit Windows bitmaps, written beside this script."""
import math
import os
import struct

SIZE = 64


def bitmap(path, pixel):
    stride = (SIZE * 3 + 3) & ~3
    rows = []
    for y in range(SIZE - 1, -1, -1):  # bottom row first
        row = bytearray()
        for x in range(SIZE):
            r, g, b = (max(0, min(255, int(c))) for c in pixel(x, y))
            row += bytes((b, g, r))
        rows.append(bytes(row) + b"\0" * (stride - len(row)))
    data = b"".join(rows)
    header = b"BM" + struct.pack("<IHHI", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def noise(x, y, seed):
    n = (x * 374761393 + y * 668265263 + seed * 2147483647) & 0xFFFFFFFF
    n = ((n ^ (n >> 13)) * 1274126177) & 0xFFFFFFFF
    return (n & 0xFF) / 255.0


def brick(x, y):
    row = y // 8
    offset = 8 if row % 2 else 0
    mortar = y % 8 == 7 or (x + offset) % 16 == 15
    if mortar:
        return (200, 195, 185)
    v = 0.85 + 0.15 * noise(x, y, 1)
    return (165 * v, 60 * v, 45 * v)


def floor_tiles(x, y):
    if x % 32 in (0, 31) or y % 32 in (0, 31):
        return (90, 90, 95)
    light = ((x // 32) + (y // 32)) % 2 == 0
    v = 0.92 + 0.08 * noise(x, y, 2)
    return (210 * v, 205 * v, 190 * v) if light else (120 * v, 115 * v, 105 * v)


def floor_lightmap(x, y):
    # Bright under the lamp in the middle, darker towards the walls.
    d = math.hypot(x - 31.5, y - 31.5) / 45.0
    v = 255 * max(0.35, 1.0 - d * d)
    return (v, v * 0.97, v * 0.9)


def crate(x, y):
    edge = x < 5 or x > 58 or y < 5 or y > 58 or abs(x - y) < 3
    grain = 0.8 + 0.2 * math.sin(y * 0.9 + noise(x // 8, y, 3) * 2)
    if edge:
        return (110 * grain, 75 * grain, 40 * grain)
    return (180 * grain, 135 * grain, 80 * grain)


def stone(x, y):
    v = 0.75 + 0.25 * (noise(x // 2, y // 2, 4) * 0.6 + noise(x, y, 5) * 0.4)
    return (150 * v, 150 * v, 155 * v)


def metal_plate(x, y):
    rivet = (x % 32 - 4) ** 2 + (y % 32 - 4) ** 2 < 5
    v = 0.85 + 0.1 * noise(x, y // 4, 6)
    return (220, 220, 225) if rivet else (120 * v, 125 * v, 130 * v)


here = os.path.dirname(os.path.abspath(__file__))
for name, pixel in [("brick.bmp", brick), ("floor_tiles.bmp", floor_tiles),
                    ("floor_lightmap.bmp", floor_lightmap), ("crate.bmp", crate),
                    ("stone.bmp", stone), ("metal plate.bmp", metal_plate)]:
    bitmap(os.path.join(here, name), pixel)
