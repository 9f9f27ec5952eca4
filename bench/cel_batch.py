#!/usr/bin/python3
"""vornix-cel on a batch of real size, beside the baselines measured in the same run.

    /usr/bin/python3 bench/cel_batch.py [build/vornix-cel] [COUNT] [SIDE]

Writes COUNT sprites (default 12,000) of SIDE x SIDE pixels (default 96), about half of
their pixels transparent, as 8-bit BMP files, builds a CEL of them, then times:
  export as 8-bit BMP        beside cp -r of its output and a Pillow script writing the
                             same BMP files from the frames' indices and palette
  export --format png        beside cp -r of its output and the Pillow PNG script
  sheet                      beside a Pillow script pasting the frames into one PNG
  build from the PNG files   beside a Pillow script reading them and matching their
  and from the BMP files     colours to the palette (nothing written: less work than build)
Each is run three times into fresh outputs and the fastest run counts. Frames per second
are printed, with the ratios the targets are stated in. Needs python3-pil
(Debian). Everything is written under a temporary folder, removed at the end.
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


def bmp_bytes(rows, side, palette=None):
    """An 8-bit BMP of rows; palette: 768 channel values (R, G, B of each entry), grey without."""
    if palette is None:
        palette = grey_palette()
    table = b"".join(bytes((palette[3 * i + 2], palette[3 * i + 1], palette[3 * i], 0))
                     for i in range(256))
    stride = (side + 3) // 4 * 4
    pixels = b"".join(r + bytes(stride - side) for r in rows)
    offset = 14 + 40 + 1024
    header = struct.pack("<2sIII", b"BM", offset + len(pixels), 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, side, side, 1, 8, 0, 0, 0, 0, 0, 0)
    return header + info + table + pixels


def grey_palette():
    return [c for i in range(255) for c in (i, i, i)] + [255, 255, 255]


REPEATS = 3


def timed(label, action):
    """The fastest of REPEATS runs of action(run), each writing its own output (run 0 is the
    one later steps read). The time a file system takes to create thousands of files varies
    from one run to the next by more than the programs differ; every side gets the same
    number of tries."""
    times = []
    for attempt in range(REPEATS):
        start = time.perf_counter()
        action(attempt)
        times.append(time.perf_counter() - start)
    seconds = min(times)
    print(f"  {label:<44} {seconds:7.2f} s  (of {', '.join(f'{t:.2f}' for t in times)})",
          flush=True)
    return seconds


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)


def sync_folder(path):
    # The baselines get the same one flush at the end that vornix-cel makes.
    fd = os.open(path, os.O_RDONLY)
    try:
        os.sync()
    finally:
        os.close(fd)


def main():
    tool = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/vornix-cel")
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 12000
    side = int(sys.argv[3]) if len(sys.argv) > 3 else 96
    work = tempfile.mkdtemp(prefix="vornix-cel-bench-")
    try:
        rng = random.Random(12)
        # A few hundred distinct sprites, repeated: the work per frame is the same, and
        # drawing 12,000 distinct ones in Python would take longer than the benchmark.
        distinct = [sprite(rng, side) for _ in range(min(count, 300))]
        frames = [distinct[i % len(distinct)] for i in range(count)]
        src = os.path.join(work, "src")
        os.mkdir(src)
        digits = len(str(count - 1))
        for i, rows in enumerate(frames):
            with open(os.path.join(src, f"sprite_{i:0{digits}d}.bmp"), "wb") as f:
                f.write(bmp_bytes(rows, side))
        cel = os.path.join(work, "hero.cel")
        run(tool, "build", cel, src, "--database", "--quiet")
        os.sync()
        palette = grey_palette()
        # Pillow starts from the frames' indices in memory, top row first, as raw bytes.
        raw = [b"".join(reversed(rows)) for rows in frames]
        print(f"{count} frames of {side} x {side}, {os.cpu_count()} cores, {tool}")

        def out(name, attempt=0):
            return os.path.join(work, name if attempt == 0 else f"{name}.{attempt}")

        def pil_export(folder, extension):
            os.mkdir(folder)
            for i, data in enumerate(raw):
                image = Image.frombytes("P", (side, side), data)
                image.putpalette(palette)
                path = os.path.join(folder, f"hero_{i:0{digits}d}.{extension}")
                if extension == "png":
                    image.save(path, transparency=255)
                else:
                    image.save(path)
            sync_folder(folder)

        def pil_sheet(path):
            columns = 1
            while columns * columns < count:
                columns += 1
            rows = (count + columns - 1) // columns
            sheet = Image.new("P", (columns * side, rows * side), 255)
            sheet.putpalette(palette)
            for i, data in enumerate(raw):
                sheet.paste(Image.frombytes("P", (side, side), data),
                            ((i % columns) * side, (i // columns) * side))
            sheet.save(path, transparency=255)
            sync_folder(work)

        def pil_read(folder):
            target = Image.new("P", (1, 1))
            target.putpalette(palette)
            with open(out("pil_indices.raw"), "wb") as f:
                for name in sorted(os.listdir(folder)):
                    with Image.open(os.path.join(folder, name)) as image:
                        indices = image.convert("RGB").quantize(palette=target, dither=0)
                        f.write(indices.tobytes())
            sync_folder(work)

        results = {}
        print("export as 8-bit BMP")
        results["bmp"] = timed("vornix-cel export", lambda a: run(tool, "export", cel, out("bmp", a)))
        results["bmp_cp"] = timed("cp -r of its output",
                                  lambda a: (run("cp", "-r", out("bmp"), out("bmp_cp", a)),
                                             sync_folder(out("bmp_cp", a))))
        results["bmp_pil"] = timed("Pillow, same BMP files", lambda a: pil_export(out("pil_bmp", a), "bmp"))
        print("export as PNG")
        results["png"] = timed("vornix-cel export --format png",
                               lambda a: run(tool, "export", cel, out("png", a), "--format", "png"))
        results["png_cp"] = timed("cp -r of its output",
                                  lambda a: (run("cp", "-r", out("png"), out("png_cp", a)),
                                             sync_folder(out("png_cp", a))))
        results["png_pil"] = timed("Pillow, same PNG files", lambda a: pil_export(out("pil_png", a), "png"))
        print("sheet")
        results["sheet"] = timed("vornix-cel sheet",
                                 lambda a: subprocess.run([tool, "sheet", cel, out("sheet", a) + ".png"],
                                                        check=True, stdout=subprocess.DEVNULL,
                                                        stderr=subprocess.DEVNULL))
        results["sheet_pil"] = timed("Pillow, same sheet", lambda a: pil_sheet(out("pil_sheet", a) + ".png"))
        print("build")
        results["build_png"] = timed("vornix-cel build from the PNG files",
                                     lambda a: run(tool, "build", out("from_png", a) + ".cel", out("png")))
        results["build_bmp"] = timed("vornix-cel build from the BMP files",
                                     lambda a: run(tool, "build", out("from_bmp", a) + ".cel", out("bmp")))
        results["build_pil"] = timed("Pillow, read the PNG files, match colours",
                                     lambda a: pil_read(out("png")))
        results["build_pil_bmp"] = timed("Pillow, read the BMP files, match colours",
                                         lambda a: pil_read(out("bmp")))

        def fps(key):
            return count / results[key]

        print("summary (frames per second; ratio)")
        print(f"  BMP export   {fps('bmp'):9.0f}   {results['bmp'] / results['bmp_cp']:.2f} x the time of cp -r (target: within 3)")
        print(f"  PNG export   {fps('png'):9.0f}   {fps('png') / fps('png_pil'):.1f} x Pillow's {fps('png_pil'):.0f} (target: at least 5)")
        print(f"  BMP export   {fps('bmp'):9.0f}   {fps('bmp') / fps('bmp_pil'):.1f} x Pillow's {fps('bmp_pil'):.0f}")
        print(f"  sheet        {fps('sheet'):9.0f}   {fps('sheet') / fps('sheet_pil'):.1f} x Pillow's {fps('sheet_pil'):.0f}")
        print(f"  build (PNG)  {fps('build_png'):9.0f}   {fps('build_png') / fps('build_pil'):.1f} x Pillow's {fps('build_pil'):.0f} (target: at least 5)")
        print(f"  build (BMP)  {fps('build_bmp'):9.0f}   {fps('build_bmp') / fps('build_pil_bmp'):.1f} x Pillow's {fps('build_pil_bmp'):.0f}")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
