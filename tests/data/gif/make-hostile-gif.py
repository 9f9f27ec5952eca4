#!/usr/bin/python3
"""Writes the damaged and extreme GIF files of tests/data/hostile/gif with their expected.txt
(the result of reading the first frame, as Import does, and of reading every frame, as build
does), and the seeds of the GIF fuzz harness (fuzz/corpus/FuzzGIF). Run by hand when they need
to change; needs only Python. Its LZW coder is the plainest there is: every pixel is a code of
its own, with a clear code often enough that codes never grow."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "hostile", "gif")
SEEDS = os.path.join(HERE, "..", "..", "..", "fuzz", "corpus", "FuzzGIF")


def blocks(data):
    out = b""
    for at in range(0, len(data), 255):
        piece = data[at:at + 255]
        out += bytes([len(piece)]) + piece
    return out + b"\x00"


def pack(codes, width):
    bits, count, out = 0, 0, bytearray()
    for code in codes:
        bits |= code << count
        count += width
        while count >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            count -= 8
    if count:
        out.append(bits & 0xFF)
    return bytes(out)


def lzw(pixels, size=8):
    clear, end = 1 << size, (1 << size) + 1
    room = (1 << (size + 1)) - clear - 3  # literals between clears: the codes never grow
    codes = []
    for at, pixel in enumerate(pixels):
        if at % room == 0:
            codes.append(clear)
        codes.append(pixel)
    codes.append(end)
    return bytes([size]) + blocks(pack(codes, size + 1))


def table(entries):
    return b"".join(bytes(((i * 37) % 256, (i * 91) % 256, (i * 13) % 256)) for i in range(entries))


def screen(width, height, entries=256, version=b"GIF89a"):
    bits = max(entries.bit_length() - 1, 1) - 1
    flags = 0x80 | 0x70 | bits if entries else 0
    return version + struct.pack("<HHBBB", width, height, flags, 0, 0) + (table(entries) if entries else b"")


def control(disposal=0, transparent=None, delay=10, size=4):
    flags = disposal << 2 | (1 if transparent is not None else 0)
    body = struct.pack("<BHB", flags, delay, transparent or 0) + b"\x00" * (size - 4)
    return b"\x21\xF9" + bytes([size]) + body[:size] + b"\x00"


def image(left, top, width, height, pixels=None, interlace=False, local=0, data=None):
    flags = (0x40 if interlace else 0) | ((0x80 | (local.bit_length() - 2)) if local else 0)
    head = b"\x2C" + struct.pack("<HHHHB", left, top, width, height, flags) + (table(local) if local else b"")
    if data is None:
        data = lzw(pixels if pixels is not None else [(i * 7) % 200 for i in range(width * height)])
    return head + data


TRAILER = b"\x3B"
files = {}
files["sound-2-frames-4x3.gif"] = (screen(4, 3) + control(2, 5) + image(0, 0, 4, 3)
                                   + control(1) + image(1, 1, 2, 2) + TRAILER, 0, 0)
files["sound-gif87a-3x2.gif"] = (screen(3, 2, version=b"GIF87a") + image(0, 0, 3, 2) + TRAILER, 0, 0)
files["sound-interlaced-local-5x9.gif"] = (
    screen(5, 9, 0) + image(0, 0, 5, 9, [i % 4 for i in range(45)], True, 4) + TRAILER, 0, 0)
files["frame-beyond-canvas.gif"] = (screen(4, 3) + image(3, 2, 4, 4) + TRAILER, 0, 0)
files["frame-outside-canvas.gif"] = (screen(4, 3) + image(40, 30, 2, 2) + TRAILER, 0, 0)
files["canvas-8192x8192-one-pixel.gif"] = (screen(8192, 8192) + image(0, 0, 1, 1) + TRAILER, 0, 0)
files["canvas-8193x8192.gif"] = (screen(8193, 8192) + image(0, 0, 1, 1) + TRAILER, 2, 2)
files["canvas-65535x65535.gif"] = (screen(65535, 65535) + image(0, 0, 1, 1) + TRAILER, 2, 2)
files["canvas-0x5.gif"] = (screen(0, 5) + image(0, 0, 1, 1) + TRAILER, 2, 2)
# Each frame a whole canvas of 16 Mi pixels: 64 make the 1 Gi an import takes, 65 one too many;
# the first frame alone is within every limit.
files["frames-64-on-4096x4096.gif"] = (screen(4096, 4096) + image(0, 0, 1, 1) * 64 + TRAILER, 0, 0)
files["frames-65-on-4096x4096.gif"] = (screen(4096, 4096) + image(0, 0, 1, 1) * 65 + TRAILER, 0, 2)
files["no-frame.gif"] = (screen(4, 3) + TRAILER, 2, 2)
files["empty.gif"] = (b"", 2, 2)
files["signature-only.gif"] = (b"GIF89a", 2, 2)
files["signature-gif90a.gif"] = (b"GIF90a" + screen(2, 2)[6:] + image(0, 0, 2, 2) + TRAILER, 2, 2)
SOUND = files["sound-2-frames-4x3.gif"][0]
files["cut-in-screen.gif"] = (SOUND[:9], 2, 2)
files["cut-in-table.gif"] = (SOUND[:400], 2, 2)
files["cut-in-first-frame.gif"] = (SOUND[:13 + 768 + 8 + 14], 2, 2)
files["cut-in-second-frame.gif"] = (SOUND[:-6], 2, 2)
files["cut-before-trailer.gif"] = (SOUND[:-1], 2, 2)
files["index-beyond-table.gif"] = (screen(2, 1, 2) + image(0, 0, 2, 1, [1, 2]) + TRAILER, 2, 2)
files["no-colour-table.gif"] = (screen(2, 1, 0) + image(0, 0, 2, 1, [0, 0]) + TRAILER, 2, 2)
files["code-size-12.gif"] = (screen(2, 1) + image(0, 0, 2, 1, data=b"\x0C\x02\x00\x01\x00") + TRAILER, 2, 2)
# After a clear code the table is empty: 300 names nothing.
files["code-before-its-entry.gif"] = (
    screen(2, 1) + image(0, 0, 2, 1, data=b"\x08" + blocks(pack([256, 300, 1, 257], 9))) + TRAILER, 2, 2)
files["end-code-too-soon.gif"] = (
    screen(3, 1) + image(0, 0, 3, 1, data=b"\x08" + blocks(pack([256, 1, 257], 9))) + TRAILER, 2, 2)
files["frame-0x3.gif"] = (screen(4, 3) + image(0, 0, 0, 3, data=lzw([])) + TRAILER, 2, 2)
files["frame-65535x65535-little-data.gif"] = (
    screen(4, 3) + image(0, 0, 65535, 65535, data=lzw([1] * 600)) + TRAILER, 2, 2)
files["control-block-5-bytes.gif"] = (screen(4, 3) + control(size=5) + image(0, 0, 4, 3) + TRAILER, 2, 2)
files["unknown-block.gif"] = (screen(4, 3) + image(0, 0, 4, 3) + b"\x42" + TRAILER, 2, 2)
# Damage after the first frame: Import, which shows the first frame only, still refuses it.
files["damage-after-first-frame.gif"] = (
    screen(4, 3) + image(0, 0, 4, 3) + image(0, 0, 2, 1, [1, 2], local=2) + TRAILER, 2, 2)

os.makedirs(OUT, exist_ok=True)
os.makedirs(SEEDS, exist_ok=True)
with open(os.path.join(OUT, "expected.txt"), "w") as listing:
    listing.write("# name, then the result of reading the first frame and of reading every frame "
                  "(written by tests/data/gif/make-hostile-gif.py)\n")
    for name in sorted(files):
        data, first, every = files[name]
        with open(os.path.join(OUT, name), "wb") as out:
            out.write(data)
        listing.write("%s %d %d\n" % (name, first, every))
        if first == 0 and every == 0 and "4096" not in name and "8192" not in name:
            with open(os.path.join(SEEDS, name), "wb") as out:
                out.write(data)
