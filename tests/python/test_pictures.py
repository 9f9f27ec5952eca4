"""Pictures and palettes: Import's rules, the export writers, palette files, and the errors."""
import struct

import pytest

import vornix
from conftest import random_sprites


def bmp(width, height, bits, rows, compression=0, table_entries=256, info_size=40):
    """An uncompressed-looking BMP, rows bottom first and already padded."""
    table = bytes(4 * table_entries) if bits <= 8 else b""
    pixels = b"".join(rows)
    offset = 14 + info_size + len(table)
    info = struct.pack("<IiiHHIIiiII", info_size, width, height, 1, bits, compression,
                       0, 0, 0, 0, 0).ljust(info_size, b"\0")
    return struct.pack("<2sIII", b"BM", offset + len(pixels), 0, offset) + info + table + pixels


def test_pictures_round_trip_through_both_writers(tmp_path):
    palette = [(i, 255 - i, (i * 5) % 256) for i in range(256)]
    palette[255] = (1, 2, 3)
    for n, (w, h, pixels) in enumerate(random_sprites(31, 12, (1, 40))):
        for writer in (vornix.write_png, vornix.write_bmp):
            for bits in (8, 24):
                path = str(tmp_path / f"p{n}")
                writer(path, w, h, pixels, palette, bits=bits)
                assert vornix.read_picture(path, palette) == (w, h, pixels), (writer, bits)


def test_import_rules_for_colours(tmp_path):
    palette = vornix.default_palette(transparent=(9, 9, 9))
    path = str(tmp_path / "grey.png")
    pixels = bytes([0, 126, 127, 200, 254, 255])
    vornix.write_png(path, 6, 1, pixels, palette, bits=24)
    # Reserved colours go to the nearest of 127 ... 254 unless the whole palette is used.
    assert vornix.read_picture(path, palette)[2] == bytes([127, 127, 127, 200, 254, 255])
    assert vornix.read_picture(path, palette, whole_palette=True)[2] == pixels


def test_refused_pictures_name_the_rule(tmp_path):
    cases = {
        "text": (b"hello", "neither a BMP nor a PNG file"),
        "4bit": (bmp(2, 1, 4, [b"\0\0\0\0"], table_entries=16), "4 bits per pixel"),
        "rle": (bmp(2, 1, 8, [b"\0\0\0\0"], compression=1), "RLE8 compression"),
        "cut": (b"\x89PNG\r\n\x1a\n" + b"\0" * 20, "not a readable PNG"),
    }
    for name, (content, reason) in cases.items():
        path = tmp_path / name
        path.write_bytes(content)
        with pytest.raises(vornix.PictureError) as caught:
            vornix.read_picture(str(path), vornix.default_palette())
        assert reason in caught.value.reason and caught.value.filename == str(path)
        assert "File has unsupported format" in str(caught.value)
    with pytest.raises(FileNotFoundError):
        vornix.read_picture(str(tmp_path / "missing.png"), vornix.default_palette())
    with pytest.raises(IsADirectoryError):
        vornix.read_picture(str(tmp_path), vornix.default_palette())


def test_palette_arguments_and_files(tmp_path):
    grey = vornix.default_palette()
    assert grey[0] == (0, 0, 0) and grey[254] == (254, 254, 254) and grey[255] == (255,) * 3
    write = lambda palette: vornix.write_bmp(str(tmp_path / "x.bmp"), 1, 1, b"\0", palette)
    for bad in (grey[:255], grey + [(0, 0, 0)], [(0, 0)] * 256, [(0, 0, 256)] * 256,
                [(0, 0, -1)] * 256, [(0, 0, 0.5)] * 256, ["abc"] * 256):
        with pytest.raises(ValueError, match="palette"):
            write(bad)
    with pytest.raises(TypeError):
        write("not a palette")
    write([[1, 2, 3]] * 256)  # any sequences of three values do

    jasc = tmp_path / "town.jasc"
    jasc.write_text("JASC-PAL\r\n0100\r\n2\r\n10 20 30\r\n40 50 60\r\n")
    loaded = vornix.load_palette(str(jasc), transparent=(0, 0, 1))
    assert loaded[:2] == [(10, 20, 30), (40, 50, 60)] and loaded[2:255] == grey[2:255]
    assert loaded[255] == (0, 0, 1)
    gimp = tmp_path / "town.gpl"
    gimp.write_text("GIMP Palette\nName: town\n# a comment\n1 2 3 first\n")
    assert vornix.load_palette(str(gimp))[0] == (1, 2, 3)
    short = tmp_path / "short.pal"
    short.write_bytes(bytes(767))
    with pytest.raises(ValueError, match="short.pal"):
        vornix.load_palette(str(short))
    with pytest.raises(FileNotFoundError, match="Cannot open palette file"):
        vornix.load_palette(str(tmp_path / "none.pal"))
    with pytest.raises(ValueError, match="transparent"):
        vornix.default_palette(transparent=(0, 0, 300))


def test_writer_errors(tmp_path):
    grey = vornix.default_palette()
    for writer in (vornix.write_png, vornix.write_bmp):
        with pytest.raises(ValueError, match="bits"):
            writer(str(tmp_path / "a"), 1, 1, b"\0", grey, bits=16)
        with pytest.raises(ValueError, match="width x height"):
            writer(str(tmp_path / "a"), 2, 1, b"\0", grey)
        with pytest.raises(FileNotFoundError, match="Cannot write file"):
            writer(str(tmp_path / "no" / "a"), 1, 1, b"\0", grey)
        with pytest.raises(IsADirectoryError):
            writer(str(tmp_path), 1, 1, b"\0", grey)
    with pytest.raises(ValueError, match="too large for a BMP"):
        vornix.write_bmp(str(tmp_path / "big"), 70000, 70000, b"", grey, bits=24)
    assert sorted(p.name for p in tmp_path.iterdir()) == []
