#!/usr/bin/env python3
"""Writes the program's two pictures: the 16 x 16 32-bit window icon (1,150 bytes)
and the 30 x 30 24-bit splash picture (2,814 bytes). Run it from any folder;
the files land beside this script and are committed, so builds need no Python."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def colour(x, y, size):
    # A blue tile with a light diagonal band: two category columns kept in step.
    band = abs(x - y) <= size // 8
    edge = x in (0, size - 1) or y in (0, size - 1)
    if edge:
        return (0x1F, 0x3F, 0x7F)
    if band:
        return (0xF0, 0xF4, 0xFF)
    return (0x2F, 0x6F, 0xCF) if x < y else (0x4F, 0x9F, 0x3F)


def write_icon(path):
    size = 16
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in range(size - 1, -1, -1):  # bottom-up
        for x in range(size):
            r, g, b = colour(x, row, size)
            pixels += bytes((b, g, r, 0xFF))
    mask = bytes(4 * size)  # 1-bit AND mask, rows padded to 32 bits; all opaque
    image = header + pixels + mask
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(image), 6 + 16)
    data = directory + entry + image
    assert len(data) == 1150
    with open(path, 'wb') as f:
        f.write(data)


def write_bitmap(path):
    size = 30
    stride = (size * 3 + 3) & ~3
    pixels = bytearray()
    for row in range(size - 1, -1, -1):
        line = bytearray()
        for x in range(size):
            r, g, b = colour(x, row, size)
            line += bytes((b, g, r))
        pixels += line + bytes(stride - len(line))
    info = struct.pack('<IiiHHIIiiII', 40, size, size, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    offset = 14 + len(info)
    header = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    data = header + info + pixels
    assert len(data) == 2814
    with open(path, 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    write_icon(os.path.join(HERE, 'Pellorin.ico'))
    write_bitmap(os.path.join(HERE, 'Splash.bmp'))
