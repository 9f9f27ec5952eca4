"""What the tests of the Python module share: the tool, random sprites and slow references.

ctest runs these with PYTHONPATH set to the built module and VORNIX_CEL_TOOL to vornix-cel.
"""
import os
import random
import subprocess

import pytest

import vornix


@pytest.fixture(scope="session")
def tool():
    path = os.environ.get("VORNIX_CEL_TOOL")
    if not path or not os.access(path, os.X_OK):
        pytest.fail("VORNIX_CEL_TOOL must name the built vornix-cel (ctest sets it)")

    def run(*arguments):
        done = subprocess.run([path, *map(str, arguments)], capture_output=True, text=True)
        assert done.returncode == 0, done.stderr
        return done.stdout

    return run


def sprite(rng, width, height, transparent_share=0.5):
    """A picture of palette indices, top row first: a blob of colours 127 to 254 and runs of
    one colour (so that the CL2 coder finds fills), the rest transparent."""
    cx, cy = rng.uniform(0.2, 0.8) * width, rng.uniform(0.2, 0.8) * height
    reach = (width * height * (1 - transparent_share) / 3.14159) ** 0.5
    out = bytearray()
    colour = 127
    for y in range(height):
        for x in range(width):
            if (x - cx) ** 2 + (y - cy) ** 2 <= reach * reach:
                if rng.random() < 0.3:
                    colour = rng.randrange(127, 255)
                out.append(colour)
            else:
                out.append(255)
    return bytes(out)


def random_sprites(seed, count, sides=(1, 70)):
    rng = random.Random(seed)
    pictures = []
    for _ in range(count):
        w, h = rng.randint(*sides), rng.randint(*sides)
        pictures.append((w, h, sprite(rng, w, h, rng.choice((0.0, 0.5, 0.9, 1.0)))))
    return pictures


def bottom_first(width, height, pixels):
    return b"".join(pixels[(height - 1 - y) * width:(height - y) * width] for y in range(height))


def reference_cel_encode(width, height, pixels):
    """The CEL coding of a picture, row by row from the bottom, written plainly: each row an
    alternation of transparent stretches (bytes 80 ... FF) and literal runs of at most 127."""
    out = bytearray()
    header = [0] * 5
    rows = bottom_first(width, height, pixels)
    for y in range(height):
        if y % 32 == 0 and y < 160:
            header[y // 32] = (len(out) + 10) & 0xFFFF
        row = rows[y * width:(y + 1) * width]
        x = 0
        while x < width:
            end = x
            transparent = row[x] == 255
            while end < width and (row[end] == 255) == transparent:
                end += 1
            length = end - x
            if transparent:
                while length > 0:
                    n = min(length, 128)
                    out.append(256 - n)
                    length -= n
            else:
                at = x
                while length > 0:
                    n = min(length, 127)
                    out.append(n)
                    out += row[at:at + n]
                    at += n
                    length -= n
            x = end
    return bytes(out), tuple(header)


def reference_decode(coding, data, width, height):
    """The pixel stream of coded data cut to width x height, top row first."""
    stream = bytearray()
    p = 0
    while p < len(data):
        c = data[p]
        if coding == "cel":
            if c >= 128:
                stream += b"\xff" * (256 - c)
                p += 1
            else:
                stream += data[p + 1:p + 1 + c]
                p += 1 + c
        else:
            if c < 0x80:
                stream += b"\xff" * c
                p += 1
            elif c < 0xBF:
                stream += bytes([data[p + 1]]) * (0xBF - c)
                p += 2
            else:
                stream += data[p + 1:p + 1 + 256 - c]
                p += 1 + 256 - c
    stream = bytes(stream[:width * height]).ljust(width * height, b"\xff")
    return bottom_first(width, height, stream)


def cel_file(frames, with_headers=False):
    """The bytes of a plain CEL file holding frames (each bytes of data, with its header
    words in front when with_headers)."""
    count = len(frames)
    offsets = [4 * count + 8]
    for frame in frames:
        offsets.append(offsets[-1] + len(frame))
    out = count.to_bytes(4, "little") + b"".join(o.to_bytes(4, "little") for o in offsets)
    return out + b"".join(frames)


@pytest.fixture
def grey():
    return vornix.default_palette()
