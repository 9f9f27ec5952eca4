#!/usr/bin/python3
"""Writing an animated GIF beside Pillow writing the same GIF, in the same run.

    /usr/bin/python3 bench/gif_anim.py [BUILD]      (BUILD: a build folder, default build)

Makes 64 sprites of 96 x 96 pixels, about half of their pixels transparent, then times
  BM_WriteGIF      BUILD/bench/vornix_bench (Google Benchmark) coding these frames into a GIF
                   in memory, at zoom 1 and 4; the least CPU time of 5 repetitions
  Pillow           the same frames as "P" pictures with the same palette, saved with save_all
                   into memory with the same delays, loop, disposal and transparent index (and
                   optimize=False, without which Pillow 9 loses the transparent index), at
                   zoom 1 and 4 (resized without smoothing); the least CPU time of 15 runs
  vornix-cel anim  the whole command, for information: start, load a CEL of the frames,
                   decode, code, write and flush the file
The GIFs of vornix-cel and Pillow are read back by Pillow, which must give the same colours
for every frame. Needs python3-pil (Debian). Everything is written under a temporary folder,
removed at the end.
"""
import io
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cel_batch import bmp_bytes, sprite  # noqa: E402

REPEATS = 15


def delays(count, fps):
    end = [(200 * k + fps) // (2 * fps) for k in range(count + 1)]
    return [10 * (end[k + 1] - end[k]) for k in range(count)]  # milliseconds


def fastest(action, clock=time.perf_counter):
    best = None
    for _ in range(REPEATS):
        start = clock()
        action()
        took = clock() - start
        best = took if best is None or took < best else best
    return best


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    tool = os.path.join(build, "vornix-cel")
    bench = os.path.join(build, "bench", "vornix_bench")
    count, side, fps = 64, 96, 15
    rng = random.Random(22)
    palette = [rng.randrange(256) for _ in range(3 * 255)] + [255, 255, 255]
    work = tempfile.mkdtemp(prefix="vornix-gif-bench.")
    try:
        with open(os.path.join(work, "p.pal"), "wb") as out:
            out.write(bytes(palette))
        pictures = [sprite(rng, side) for _ in range(count)]
        with open(os.path.join(work, "frames.raw"), "wb") as out:
            out.write(bytes(palette))
            for rows in pictures:
                out.write(b"".join(reversed(rows)))  # top row first
        result = subprocess.run([bench, "--benchmark_filter=BM_WriteGIF",
                                 "--benchmark_format=json", "--benchmark_repetitions=5"],
                                env=dict(os.environ, VORNIX_GIF_FRAMES=os.path.join(work, "frames.raw")),
                                check=True, capture_output=True, text=True)
        ours = {}  # zoom: (fastest CPU time of the repetitions in s, bytes)
        for entry in json.loads(result.stdout)["benchmarks"]:
            if entry.get("run_type") != "iteration":
                continue
            zoom = int(entry["run_name"].split("/")[-1])
            took = entry["cpu_time"] / 1000.0
            if zoom not in ours or took < ours[zoom][0]:
                ours[zoom] = (took, int(entry.get("file_bytes", 0)))

        pil = {}
        for zoom in (1, 4):
            frames = []
            for rows in pictures:
                image = Image.frombytes("P", (side, side), b"".join(reversed(rows)))
                image.putpalette(palette)
                if zoom != 1:
                    image = image.resize((side * zoom, side * zoom), Image.NEAREST)
                frames.append(image)
            sizes = []

            def pillow():
                memory = io.BytesIO()
                # optimize=False keeps the palette as it is: with it, Pillow 9 renumbers the
                # colours but not the transparent index, and the GIF loses its transparency.
                frames[0].save(memory, format="GIF", save_all=True, append_images=frames[1:],
                               duration=delays(count, fps), loop=0, disposal=2, transparency=255,
                               optimize=False)
                sizes.append(len(memory.getvalue()))

            pil[zoom] = (fastest(pillow, time.process_time), sizes[-1])

        # The same animation through the command, read back beside Pillow's.
        os.mkdir(os.path.join(work, "in"))
        for k, rows in enumerate(pictures):
            with open(os.path.join(work, "in", "f_%03d.bmp" % k), "wb") as out:
                out.write(bmp_bytes(rows, side, palette))
        cel = os.path.join(work, "walk.cel")
        subprocess.run([tool, "build", cel, os.path.join(work, "in"), "--palette",
                        os.path.join(work, "p.pal"), "--database", "--quiet"], check=True)
        gif = os.path.join(work, "ours.gif")
        command = [tool, "anim", cel, gif, "--palette", os.path.join(work, "p.pal")]
        whole = fastest(lambda: subprocess.run(command, check=True, stdout=subprocess.DEVNULL))
        theirs = os.path.join(work, "pillow.gif")
        frames = []
        for rows in pictures:
            image = Image.frombytes("P", (side, side), b"".join(reversed(rows)))
            image.putpalette(palette)
            frames.append(image)
        frames[0].save(theirs, save_all=True, append_images=frames[1:], duration=delays(count, fps),
                       loop=0, disposal=2, transparency=255, optimize=False)
        a, b = Image.open(gif), Image.open(theirs)
        assert a.n_frames == b.n_frames == count, (a.n_frames, b.n_frames)
        for k in range(count):
            a.seek(k)
            b.seek(k)
            assert a.convert("RGBA").tobytes() == b.convert("RGBA").tobytes(), k
    finally:
        shutil.rmtree(work)

    print("%d frames of %d x %d, in memory, CPU time" % (count, side, side))
    for zoom in (1, 4):
        (t, size), (p, psize) = ours[zoom], pil[zoom]
        print("zoom %d: BM_WriteGIF %7.2f ms (%d bytes), Pillow %7.2f ms (%d bytes): %.1f x "
              "Pillow's speed (target at least 3)" % (zoom, t * 1000, size, p * 1000, psize, p / t))
    print("vornix-cel anim, the whole command with its start and flush: %.1f ms" % (whole * 1000))


if __name__ == "__main__":
    main()
