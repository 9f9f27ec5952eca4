#!/usr/bin/python3
"""Writes the damaged and extreme PNG files of tests/data/hostile/png with their expected.txt
(the result ReadPNG must give). Run by hand when they need to change; needs only Python."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "hostile", "png")
SIGNATURE = b"\x89PNG\r\n\x1a\n"


def chunk(kind, data, crc=None):
    if crc is None:
        crc = zlib.crc32(kind + data)
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", crc & 0xFFFFFFFF)


def ihdr(width, height, depth=8, colour=2, interlace=0, compression=0, filtering=0):
    return chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour, compression,
                                      filtering, interlace))


def rgb_rows(width, height):
    rows = b""
    for y in range(height):
        rows += b"\x00" + bytes((x * 40 + y * 7) % 256 for x in range(width * 3))
    return rows


def png(*chunks):
    return SIGNATURE + b"".join(chunks)


IEND = chunk(b"IEND", b"")
SOUND = png(ihdr(4, 3), chunk(b"IDAT", zlib.compress(rgb_rows(4, 3))), IEND)
PLTE = chunk(b"PLTE", bytes(range(6)))

files = {}
files["sound-rgb-4x3.png"] = (SOUND, 0)
files["sound-palette-2x1.png"] = (
    png(ihdr(2, 1, 8, 3), PLTE, chunk(b"IDAT", zlib.compress(b"\x00\x00\x01")), IEND), 0)
files["signature-only.png"] = (SIGNATURE, 2)
files["signature-text-mode.png"] = (SOUND.replace(b"\r\n", b"\n", 1), 2)
files["empty.png"] = (b"", 2)
files["cut-in-ihdr.png"] = (SOUND[:20], 2)
files["cut-in-idat.png"] = (SOUND[:45], 2)
files["cut-before-iend.png"] = (SOUND[:-12], 2)
files["cut-in-iend.png"] = (SOUND[:-3], 2)
files["crc-ihdr.png"] = (SOUND[:29] + bytes([SOUND[29] ^ 1]) + SOUND[30:], 2)
files["crc-idat.png"] = (SOUND[:-13] + bytes([SOUND[-13] ^ 1]) + SOUND[-12:], 2)
files["crc-text.png"] = (png(ihdr(4, 3), chunk(b"tEXt", b"Title\x00x", crc=1),
                             chunk(b"IDAT", zlib.compress(rgb_rows(4, 3))), IEND), 2)
files["width-zero.png"] = (png(ihdr(0, 3), chunk(b"IDAT", zlib.compress(b"")), IEND), 2)
files["depth-3.png"] = (png(ihdr(4, 3, 3, 0), chunk(b"IDAT", zlib.compress(b"\x00" * 9)), IEND), 2)
files["rgb-depth-4.png"] = (png(ihdr(4, 3, 4, 2), chunk(b"IDAT", zlib.compress(b"\x00" * 21)), IEND), 2)
files["unknown-critical-chunk.png"] = (
    png(ihdr(4, 3), chunk(b"CrIT", b"x"), chunk(b"IDAT", zlib.compress(rgb_rows(4, 3))), IEND), 2)
files["index-beyond-palette.png"] = (
    png(ihdr(2, 1, 8, 3), PLTE, chunk(b"IDAT", zlib.compress(b"\x00\x00\x07")), IEND), 2)
files["palette-type-without-plte.png"] = (
    png(ihdr(2, 1, 8, 3), chunk(b"IDAT", zlib.compress(b"\x00\x00\x01")), IEND), 2)
files["rows-missing.png"] = (png(ihdr(4, 30), chunk(b"IDAT", zlib.compress(rgb_rows(4, 3))), IEND), 2)
files["adler-wrong.png"] = (
    png(ihdr(4, 3), chunk(b"IDAT", zlib.compress(rgb_rows(4, 3))[:-1] + b"\x00"), IEND), 2)
# Sizes beyond 64 Mi pixels with a tiny stream: refused from IHDR, nothing allocated.
tiny = chunk(b"IDAT", zlib.compress(b"\x00" * 64))
files["pixels-65536x65536.png"] = (png(ihdr(65536, 65536, 1, 0), tiny, IEND), 2)
files["pixels-8193x8192.png"] = (png(ihdr(8193, 8192, 1, 0), tiny, IEND), 2)
files["pixels-2147483647-squared.png"] = (png(ihdr(2**31 - 1, 2**31 - 1), tiny, IEND), 2)
files["width-2147483648.png"] = (png(ihdr(2**31, 1), tiny, IEND), 2)
# A header within 64 Mi pixels whose stream is far too short to hold them: refused before
# buffers of that size are made. Beside it a picture packed as tightly as deflate can pack,
# which the same bound must still let through.
files["claims-8192x8192-rgba16.png"] = (png(ihdr(8192, 8192, 16, 6), tiny, IEND), 2)
files["packed-4096x4096-1bit.png"] = (
    png(ihdr(4096, 4096, 1, 0), chunk(b"IDAT", zlib.compress(b"\x00" * (513 * 4096), 9)), IEND), 0)
# Streams that decompress to far more than they should. The pixel stream is read only as far
# as the picture needs (its rows are all there: read); a compressed comment of 64 MB is more
# than the reader lets ancillary chunks take (refused).
bomb = zlib.compress(b"\x00" * (64 << 20), 9)
files["idat-bomb-4x3.png"] = (png(ihdr(4, 3), chunk(b"IDAT", bomb), IEND), 0)
files["ztxt-bomb.png"] = (
    png(ihdr(4, 3), chunk(b"zTXt", b"Comment\x00\x00" + bomb),
        chunk(b"IDAT", zlib.compress(rgb_rows(4, 3))), IEND), 2)

expected = ["# name, then the result ReadPNG gives (written by tests/data/png/make-hostile-png.py)"]
for name, (data, result) in sorted(files.items()):
    with open(os.path.join(OUT, name), "wb") as out:
        out.write(data)
    expected.append("%s %d" % (name, result))
with open(os.path.join(OUT, "expected.txt"), "w") as out:
    out.write("\n".join(expected) + "\n")
