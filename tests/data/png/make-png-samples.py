#!/usr/bin/python3
"""Writes PNG files the way other programs do (Pillow and ImageMagick), for the PNG reader's
tests. Run by hand when the samples need to change; the files it writes are committed, so the
tests need neither program.

For every NAME.png it also writes NAME.rgba: the picture the file must read as, computed
here from the drawing itself and not from the file: width and height (4 bytes each,
big-endian), then red, green, blue, alpha of each pixel, top row first.
"""
import os
import struct
import subprocess
import sys

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
WIDTH, HEIGHT = 13, 7


def rgb(x, y):
    return (x * 19 % 256, y * 37 % 256, x * y * 5 % 256)


def alpha(x, y):
    return (x * 31 + y * 57) % 256


def grey(x, y):
    return (x * 17 + y * 29) % 256


PALETTE = [(i * 40 % 256, 255 - i * 15, i * i % 256) for i in range(16)]
PALETTE_ALPHA = [255, 0, 127, 128, 200] + [255] * 11


def index(x, y):
    return (x + 3 * y) % 16


def save_expectation(name, pixels):
    with open(os.path.join(HERE, name + ".rgba"), "wb") as out:
        out.write(struct.pack(">II", WIDTH, HEIGHT))
        for y in range(HEIGHT):
            for x in range(WIDTH):
                out.write(bytes(pixels(x, y)))


def path(name):
    return os.path.join(HERE, name + ".png")


def pillow_samples():
    image = Image.new("RGB", (WIDTH, HEIGHT))
    image.putdata([rgb(x, y) for y in range(HEIGHT) for x in range(WIDTH)])
    image.save(path("pillow-rgb"))
    save_expectation("pillow-rgb", lambda x, y: rgb(x, y) + (255,))

    image = Image.new("RGBA", (WIDTH, HEIGHT))
    image.putdata([rgb(x, y) + (alpha(x, y),) for y in range(HEIGHT) for x in range(WIDTH)])
    image.save(path("pillow-rgba"))
    save_expectation("pillow-rgba", lambda x, y: rgb(x, y) + (alpha(x, y),))

    image = Image.new("L", (WIDTH, HEIGHT))
    image.putdata([grey(x, y) for y in range(HEIGHT) for x in range(WIDTH)])
    image.save(path("pillow-grey"))
    save_expectation("pillow-grey", lambda x, y: (grey(x, y),) * 3 + (255,))

    image = Image.new("LA", (WIDTH, HEIGHT))
    image.putdata([(grey(x, y), alpha(x, y)) for y in range(HEIGHT) for x in range(WIDTH)])
    image.save(path("pillow-grey-alpha"))
    save_expectation("pillow-grey-alpha", lambda x, y: (grey(x, y),) * 3 + (alpha(x, y),))

    image = Image.new("1", (WIDTH, HEIGHT))
    image.putdata([255 if (x + y) % 3 == 0 else 0 for y in range(HEIGHT) for x in range(WIDTH)])
    image.save(path("pillow-1bit"))
    save_expectation("pillow-1bit", lambda x, y: (255 if (x + y) % 3 == 0 else 0,) * 3 + (255,))

    image = Image.new("I;16", (WIDTH, HEIGHT))
    image.putdata([grey(x, y) * 256 + x for y in range(HEIGHT) for x in range(WIDTH)])
    image.save(path("pillow-grey16"))
    save_expectation("pillow-grey16", lambda x, y: (grey(x, y),) * 3 + (255,))

    # A 16-entry palette (Pillow writes it at 4 bits) with a tRNS of alpha values.
    image = Image.new("P", (WIDTH, HEIGHT))
    image.putpalette([c for entry in PALETTE for c in entry])
    image.putdata([index(x, y) for y in range(HEIGHT) for x in range(WIDTH)])
    image.save(path("pillow-palette-alpha"), transparency=bytes(PALETTE_ALPHA), bits=4)
    save_expectation("pillow-palette-alpha",
                     lambda x, y: PALETTE[index(x, y)] + (PALETTE_ALPHA[index(x, y)],))

    # Opaque RGB with a tRNS naming one colour transparent.
    image = Image.new("RGB", (WIDTH, HEIGHT))
    image.putdata([rgb(x, y) for y in range(HEIGHT) for x in range(WIDTH)])
    image.save(path("pillow-rgb-trns"), transparency=rgb(2, 3))
    save_expectation("pillow-rgb-trns",
                     lambda x, y: rgb(x, y) + (0 if rgb(x, y) == rgb(2, 3) else 255,))


def magick_samples():
    source = path("pillow-rgba")
    # Interlaced (Adam7) and 16 bits per sample: ImageMagick scales 8-bit samples by 257, so
    # each high byte is the original sample.
    runs = [
        ("magick-rgba-interlaced", ["-interlace", "PNG"], "PNG32:",
         lambda x, y: rgb(x, y) + (alpha(x, y),)),
        ("magick-rgba16", ["-depth", "16"], "PNG64:",
         lambda x, y: rgb(x, y) + (alpha(x, y),)),
        ("magick-rgb16-interlaced", ["-alpha", "off", "-depth", "16", "-interlace", "PNG"],
         "PNG48:", lambda x, y: rgb(x, y) + (255,)),
    ]
    for name, options, prefix, pixels in runs:
        subprocess.run(["convert", source] + options + [prefix + path(name)], check=True)
        save_expectation(name, pixels)
    # A 2-bit grey picture: four levels.
    levels = [0, 85, 170, 255]
    image = Image.new("L", (WIDTH, HEIGHT))
    image.putdata([levels[(x + y) % 4] for y in range(HEIGHT) for x in range(WIDTH)])
    image.save(path("source-grey2"))
    subprocess.run(["convert", path("source-grey2"), "-colorspace", "Gray", "-depth", "2",
                    "-interlace", "PNG", path("magick-grey2-interlaced")], check=True)
    os.remove(path("source-grey2"))
    save_expectation("magick-grey2-interlaced", lambda x, y: (levels[(x + y) % 4],) * 3 + (255,))


if __name__ == "__main__":
    pillow_samples()
    magick_samples()
    sys.exit(0)
