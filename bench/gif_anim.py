#!/usr/bin/python3
"""Writing an animated GIF with vornix-cel beside Pillow writing the same GIF, in the same run.

    /usr/bin/python3 bench/gif_anim.py [build/vornix-cel] [FRAMES] [SIDE] [ZOOM]

Makes FRAMES sprites (default 64) of SIDE x SIDE pixels (default 96), about half of their
pixels transparent, builds a CEL of them, then times
  vornix-cel anim CEL OUT.gif    the whole command: start, load the CEL, decode the frames,
                                 code and write the GIF (--zoom ZOOM, default 1)
  Pillow                         in one python process already running: the same frames as
                                 "P" pictures with the same palette, saved with save_all and the
                                 same delays, loop, disposal and transparent index
Each side is run 15 times and the fastest run counts. Both GIFs are then read back by Pillow,
which must give the same colours for every frame. Needs python3-pil (Debian). Everything is
written under a temporary folder, removed at the end.
"""
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import time

from PIL import Image

REPEATS = 15


def sprite(rng, side):
    cx, cy = rng.uniform(0.3, 0.7) * side, rng.uniform(0.3, 0.7) * side
    radius2 = (side * side / 2) / 3.14159  # a disc of half the picture's area
    rows = []
    for y in range(side):
        row = bytearray()
        for x in range(side):
            inside = (x - cx) ** 2 + (y - cy) ** 2 <= radius2
            row.append(127 + (x * 7 + y * 3 + rng.randrange(4)) % 128 if inside else 255)
        rows.append(bytes(row))
    return rows  # bottom row first, as in a BMP


def bmp_bytes(rows, side, palette):
    table = b"".join(bytes((palette[3 * i + 2], palette[3 * i + 1], palette[3 * i], 0))
                     for i in range(256))
    stride = (side + 3) // 4 * 4
    pixels = b"".join(r + bytes(stride - side) for r in rows)
    offset = 14 + 40 + 1024
    header = struct.pack("<2sIII", b"BM", offset + len(pixels), 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, side, side, 1, 8, 0, 0, 0, 0, 0, 0)
    return header + info + table + pixels


def delays(count, fps):
    end = [(200 * k + fps) // (2 * fps) for k in range(count + 1)]
    return [10 * (end[k + 1] - end[k]) for k in range(count)]  # milliseconds


def fastest(action):
    best = None
    for _ in range(REPEATS):
        start = time.perf_counter()
        action()
        took = time.perf_counter() - start
        best = took if best is None or took < best else best
    return best


def main():
    tool = sys.argv[1] if len(sys.argv) > 1 else "build/vornix-cel"
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 64
    side = int(sys.argv[3]) if len(sys.argv) > 3 else 96
    zoom = int(sys.argv[4]) if len(sys.argv) > 4 else 1
    fps = 15
    rng = random.Random(22)
    palette = [rng.randrange(256) for _ in range(3 * 255)] + [255, 255, 255]
    work = tempfile.mkdtemp(prefix="vornix-gif-bench.")
    try:
        with open(os.path.join(work, "p.pal"), "wb") as out:
            out.write(bytes(palette))
        pictures = [sprite(rng, side) for _ in range(count)]
        os.mkdir(os.path.join(work, "in"))
        for k, rows in enumerate(pictures):
            with open(os.path.join(work, "in", "f_%03d.bmp" % k), "wb") as out:
                out.write(bmp_bytes(rows, side, palette))
        cel = os.path.join(work, "walk.cel")
        subprocess.run([tool, "build", cel, os.path.join(work, "in"), "--palette",
                        os.path.join(work, "p.pal"), "--database", "--quiet"], check=True)

        ours = os.path.join(work, "ours.gif")
        command = [tool, "anim", cel, ours, "--palette", os.path.join(work, "p.pal"),
                   "--zoom", str(zoom)]
        vornix = fastest(lambda: subprocess.run(command, check=True, stdout=subprocess.DEVNULL))

        frames = []
        for rows in pictures:
            image = Image.frombytes("P", (side, side), b"".join(reversed(rows)))
            image.putpalette(palette)
            if zoom != 1:
                image = image.resize((side * zoom, side * zoom), Image.NEAREST)
            frames.append(image)
        theirs = os.path.join(work, "pillow.gif")

        def pillow():
            frames[0].save(theirs, save_all=True, append_images=frames[1:],
                           duration=delays(count, fps), loop=0, disposal=2, transparency=255)

        pil = fastest(pillow)

        a, b = Image.open(ours), Image.open(theirs)
        assert a.n_frames == b.n_frames == count, (a.n_frames, b.n_frames)
        for k in range(count):
            a.seek(k)
            b.seek(k)
            assert a.convert("RGBA").tobytes() == b.convert("RGBA").tobytes(), k
        size_ours, size_theirs = os.path.getsize(ours), os.path.getsize(theirs)
    finally:
        shutil.rmtree(work)

    print("%d frames of %d x %d at zoom %d, fastest of %d runs" % (count, side, side, zoom, REPEATS))
    print("vornix-cel anim  %8.2f ms  %7d bytes" % (vornix * 1000, size_ours))
    print("Pillow save_all  %8.2f ms  %7d bytes" % (pil * 1000, size_theirs))
    print("ratio            %8.2f x Pillow's speed (target at least 3)" % (pil / vornix))


if __name__ == "__main__":
    main()
