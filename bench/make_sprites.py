#!/usr/bin/env python3
"""Writes COUNT sprites of SIZE x SIZE pixels as 8-bit BMP files into a folder, for the
vornix-cel batch benchmark: each sprite is a random blob of palette colours (127 ... 254) on
the transparent index 255, about half of its pixels transparent, and the default palette
(grey i,i,i, entry 255 white) is their colour table. Seeded, so every run writes the same."""
import random
import struct
import sys


def sprite(rng, size):
    cx, cy = rng.uniform(0.3, 0.7) * size, rng.uniform(0.3, 0.7) * size
    radius2 = (size * size / 2) / 3.14159  # a disc of half the picture's area
    rows = []
    for y in range(size):
        row = bytearray()
        for x in range(size):
            inside = (x - cx) ** 2 + (y - cy) ** 2 <= radius2
            row.append(127 + (x * 7 + y * 3 + rng.randrange(4)) % 128 if inside else 255)
        rows.append(bytes(row))
    return rows


def bmp(rows, size):
    table = b"".join(bytes((i, i, i, 0)) for i in range(255)) + bytes((255, 255, 255, 0))
    stride = (size + 3) // 4 * 4
    pixels = b"".join(r + bytes(stride - size) for r in rows)
    offset = 14 + 40 + 1024
    header = struct.pack("<2sIII", b"BM", offset + len(pixels), 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 8, 0, 0, 0, 0, 0, 0)
    return header + info + table + pixels


def main():
    folder, count, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    rng = random.Random(12)
    # A few hundred distinct sprites, repeated: the conversion work is the same per frame,
    # and generating 12,000 distinct ones in Python would take longer than the benchmark.
    distinct = [bmp(sprite(rng, size), size) for _ in range(min(count, 300))]
    digits = len(str(count - 1))
    for i in range(count):
        with open(f"{folder}/sprite_{i:0{digits}d}.bmp", "wb") as f:
            f.write(distinct[i % len(distinct)])


if __name__ == "__main__":
    main()
