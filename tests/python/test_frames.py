"""Frames: coding and decoding against slow references, widths, names, threads."""
import concurrent.futures
import random

import numpy
import pytest

import vornix
from conftest import random_sprites, reference_cel_encode, reference_decode


@pytest.mark.parametrize("coding", ["cel", "cl2"])
def test_from_pixels_against_the_references(coding):
    for w, h, pixels in random_sprites(7 if coding == "cel" else 8, 150):
        frame = vornix.Frame.from_pixels(w, h, pixels, coding=coding)
        assert frame.coding == coding and frame.viewable, (w, h)
        assert (frame.width, frame.height) == (w, h)
        assert frame.pixels() == pixels
        assert reference_decode(coding, frame.data, w, h) == pixels
        if coding == "cel":
            assert (frame.data, frame.header) == reference_cel_encode(w, h, pixels)
        assert w in frame.widths and frame.widths == sorted(frame.widths, reverse=True)


def test_pixels_take_any_byte_buffer_and_give_numpy_views():
    w, h, pixels = random_sprites(3, 1, (20, 30))[0]
    array = numpy.frombuffer(pixels, numpy.uint8).reshape(h, w)
    for data in (pixels, bytearray(pixels), memoryview(pixels), array, array.copy()):
        frame = vornix.Frame.from_pixels(w, h, data, coding="cl2")
        view = numpy.frombuffer(frame.pixels(), numpy.uint8).reshape(frame.height, frame.width)
        assert (view == array).all()
    with pytest.raises(TypeError):
        vornix.Frame.from_pixels(w, h, array.astype(numpy.uint16))
    with pytest.raises((BufferError, ValueError), match="contiguous"):
        vornix.Frame.from_pixels((w + 1) // 2, h, array[:, ::2])
    with pytest.raises(ValueError, match="width x height"):
        vornix.Frame.from_pixels(w, h, pixels + b"\0")
    for bad in ((0, 1), (1, 0), (-1, 1)):
        with pytest.raises(ValueError, match="Incorrect sizes"):
            vornix.Frame.from_pixels(*bad, b"")
    with pytest.raises(ValueError, match="coding"):
        vornix.Frame.from_pixels(1, 1, b"\1", coding="bmp")


def test_select_width_and_the_height_that_follows():
    # Ten runs alternating one opaque and one transparent pixel: widths 10, 5, 3, 2, 2, 1 ...
    frame = vornix.Frame.from_pixels(10, 1, b"\x80\xff" * 5)
    assert frame.widths == [10, 5, 3, 2, 2, 1, 1, 1, 1, 1]
    frame.select_width(5)
    assert (frame.width, frame.height) == (5, 2)
    assert frame.pixels() == b"\xff\x80\xff\x80\xff" + b"\x80\xff\x80\xff\x80"  # top row first
    frame.select_width(2)
    assert (frame.width, frame.height) == (2, 5)
    with pytest.raises(ValueError, match="not a candidate width.*10, 5, 3"):
        frame.select_width(4)
    assert (frame.width, frame.height) == (2, 5)


def test_names_are_bytes_shown_as_text():
    frame = vornix.Frame.from_pixels(1, 1, b"\x90", name="walk")
    assert (frame.name, frame.name_bytes, frame.caption) == ("walk", b"walk", " walk")
    frame.name = b"Caf\xe9"  # Windows-1252, as older tools wrote it
    assert frame.name == "Café" and frame.name_bytes == b"Caf\xe9"
    frame.name = "Café"  # the name as shown keeps its bytes
    assert frame.name_bytes == b"Caf\xe9"
    frame.name = "Ωmega"
    assert frame.name_bytes == "Ωmega".encode()
    frame.name = "x" * 255
    with pytest.raises(ValueError, match="less than 256"):
        frame.name = "é" * 128
    with pytest.raises(TypeError):
        frame.name = 12
    frame.name = None
    assert frame.caption == "0, 1x1"


def test_copies_and_identity():
    frame = vornix.Frame.from_pixels(3, 1, b"\x80\x81\xff", name="a")
    copy = frame.copy()
    assert copy != frame and copy.data == frame.data and copy.name == "a"
    copy.name = "b"
    assert frame.name == "a"
    group = vornix.new().groups[0]
    group.append(frame)
    assert group[0] == frame and hash(group[0]) == hash(frame) and frame in group
    assert copy not in group and group[0].index == 0 and frame.index is None


def test_thread_pool_decodes_every_frame_alike():
    frames = [vornix.Frame.from_pixels(w, h, p, coding=random.Random(i).choice(["cel", "cl2"]))
              for i, (w, h, p) in enumerate(random_sprites(11, 300, (40, 120)))]
    expected = [f.pixels() for f in frames]
    with concurrent.futures.ThreadPoolExecutor(8) as pool:
        for _ in range(3):
            assert list(pool.map(lambda f: f.pixels(), frames)) == expected
        # Selecting widths on some frames while others decode in the pool.
        results = pool.map(lambda f: f.pixels(), frames * 2)
        for f in frames[::7]:
            f.select_width(f.width)
        assert list(results) == expected * 2
