#!/usr/bin/python3
"""Animated GIFs between vornix-cel and Pillow, in both directions (run by ctest):

    /usr/bin/python3 tests/GIFPillowTest.py build/vornix-cel

- vornix-cel anim writes frames of mixed sizes; Pillow must read every frame to exactly the
  colours shown (the palette's, nothing where the index is 255), with the delays, loop count
  and disposal asked for, zoom included.
- Pillow writes animations with each disposal method, transparency and frames that change
  only part of the canvas; vornix-cel build must take every frame as Pillow shows it, and name
  the frames <stem>_<n> with --database.
Needs python3-pil (Debian)."""
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile

try:
    from PIL import Image
except ImportError:
    print("python3-pil is not installed: skipped")
    sys.exit(77)

TOOL = sys.argv[1] if len(sys.argv) > 1 else "build/vornix-cel"
FAILURES = []


def check(condition, text):
    if not condition:
        FAILURES.append(text)
        print("FAIL:", text)


def run(*arguments):
    result = subprocess.run([TOOL] + [str(a) for a in arguments], capture_output=True, text=True)
    if result.returncode != 0:
        raise SystemExit("vornix-cel %s failed (%d): %s" % (" ".join(map(str, arguments)),
                                                             result.returncode, result.stderr))
    return result


TRANSPARENT = (255, 0, 255)


def palette_colours(rng):
    # Entries 0 ... 254 all different from each other and from the transparent colour.
    colours = set()
    while len(colours) < 255:
        colour = (rng.randrange(256), rng.randrange(256), rng.randrange(254))
        colours.add(colour)
    ordered = sorted(colours)
    rng.shuffle(ordered)
    return ordered + [TRANSPARENT]


def flat(colours):
    return [c for colour in colours for c in colour]


def picture(rng, width, height):
    """Indices top row first: colours from 127 up, about a third transparent."""
    return [[255 if rng.random() < 0.33 else rng.randrange(127, 255) for _ in range(width)]
            for _ in range(height)]


def save_indexed(path, rows, colours):
    height, width = len(rows), len(rows[0])
    image = Image.frombytes("P", (width, height), bytes(i for row in rows for i in row))
    image.putpalette(flat(colours))
    image.info["transparency"] = 255
    image.save(path, transparency=255)


def written_by_vornix(work, rng, colours):
    sizes = [(7, 5), (3, 9), (10, 2), (1, 1), (6, 6)]
    frames = [picture(rng, w, h) for w, h in sizes]
    os.mkdir(os.path.join(work, "in"))
    for k, rows in enumerate(frames):
        save_indexed(os.path.join(work, "in", "f_%d.png" % k), rows, colours)
    pal = os.path.join(work, "p.pal")
    cel = os.path.join(work, "walk.cel")
    run("build", cel, os.path.join(work, "in"), "--palette", pal, "--database", "--quiet")
    width = max(w for w, _ in sizes)
    height = max(h for _, h in sizes)
    for fps, zoom, loop, first, last in ((15, 1, 0, 0, 4), (7, 3, 4, 1, 3), (60, 8, 65535, 0, 4)):
        out = os.path.join(work, "walk-%d.gif" % zoom)
        run("anim", cel, out, "--palette", pal, "--fps", fps, "--zoom", zoom, "--loop", loop,
            "--from", first, "--to", last)
        image = Image.open(out)
        shown = frames[first:last + 1]
        where = "anim at %d fps, zoom %d" % (fps, zoom)
        check(image.n_frames == len(shown), "%s: %d frames" % (where, image.n_frames))
        check(image.size == (width * zoom, height * zoom), "%s: size %s" % (where, image.size))
        check(image.info.get("loop") == loop, "%s: loop %s" % (where, image.info.get("loop")))
        total = 0
        for k, rows in enumerate(shown):
            image.seek(k)
            total += image.info["duration"]
            # The delays keep pace with the speed: after k + 1 frames, within 5 ms.
            check(abs(total - 1000.0 * (k + 1) / fps) <= 5.0,
                  "%s: %d ms after frame %d" % (where, total, k))
            check(image.disposal_method == 2, "%s: disposal %d" % (where, image.disposal_method))
            rgba = image.convert("RGBA")
            h, w = len(rows), len(rows[0])
            for y in range(height * zoom):
                for x in range(width * zoom):
                    row = y // zoom - (height - h)  # bottom left
                    column = x // zoom
                    index = rows[row][column] if 0 <= row < h and column < w else 255
                    want = (0, 0, 0, 0) if index == 255 else colours[index] + (255,)
                    got = rgba.getpixel((x, y))
                    if got[3] == 0:
                        got = (0, 0, 0, 0)
                    if got != want:
                        check(False, "%s: frame %d pixel %d,%d is %s, not %s"
                              % (where, k, x, y, got, want))
                        break
                else:
                    continue
                break


def read_by_vornix(work, rng, colours):
    pal = os.path.join(work, "p.pal")
    width, height = 9, 7
    for disposal, optimize in [(d, o) for d in range(4) for o in (False, True)]:
        frames = []
        for k in range(4):
            # Each frame changes part of the last, so Pillow writes only that part; about a
            # third of the canvas is transparent.
            rows = picture(rng, width, height) if k == 0 else [list(r) for r in frames[-1]]
            for _ in range(12):
                rows[rng.randrange(height)][rng.randrange(width)] = rng.choice(
                    [255, rng.randrange(127, 255)])
            frames.append(rows)
        images = []
        for rows in frames:
            image = Image.frombytes("P", (width, height), bytes(i for row in rows for i in row))
            image.putpalette(flat(colours))
            images.append(image)
        stem = "pillow-%d%s" % (disposal, "-optimized" if optimize else "")
        gif = os.path.join(work, stem + ".gif")
        images[0].save(gif, save_all=True, append_images=images[1:], duration=100, loop=0,
                       disposal=disposal, transparency=255, optimize=optimize)
        cel = os.path.join(work, stem + ".cel")
        run("build", cel, gif, "--palette", pal, "--whole-palette", "--transparent", "255,0,255",
            "--database", "--quiet")
        listing = json.loads(run("info", cel, "--json").stdout)
        names = [frame["name"] for frame in listing["frames"]]
        where = "Pillow's GIF %s" % stem
        source = Image.open(gif)
        check(source.n_frames == len(frames), "%s: %d frames" % (where, source.n_frames))
        check(names == ["%s_%d" % (stem, k) for k in range(source.n_frames)],
              "%s: names %s" % (where, names))
        out = os.path.join(work, "out-" + stem)
        run("export", cel, out, "--format", "png", "--palette", pal, "--quiet")
        for k in range(source.n_frames):
            source.seek(k)
            theirs = source.convert("RGBA")
            ours = Image.open(os.path.join(out, "%s_%d.png" % (stem, k))).convert("RGBA")
            check(ours.size == theirs.size, "%s: frame %d size %s" % (where, k, ours.size))
            for y in range(height):
                for x in range(width):
                    a, b = theirs.getpixel((x, y)), ours.getpixel((x, y))
                    # Import's rule: the transparent colour itself comes in as transparent.
                    # (Pillow 9 drops the transparent index of a GIF whose palette it
                    # optimizes, so such pixels show in that colour there.)
                    if a[3] == 0 or a[:3] == TRANSPARENT:
                        ok = b[3] == 0
                    else:
                        ok = a == b
                    if not ok:
                        check(False, "%s: frame %d pixel %d,%d: Pillow %s, vornix-cel %s"
                              % (where, k, x, y, a, b))


def main():
    rng = random.Random(22)
    colours = palette_colours(rng)
    work = tempfile.mkdtemp(prefix="vornix-gif-pillow.")
    try:
        with open(os.path.join(work, "p.pal"), "wb") as out:
            out.write(bytes(flat(colours)))
        written_by_vornix(work, rng, colours)
        read_by_vornix(work, rng, colours)
    finally:
        shutil.rmtree(work)
    if FAILURES:
        print("%d failures" % len(FAILURES))
        sys.exit(1)
    print("all checks passed")


if __name__ == "__main__":
    main()
