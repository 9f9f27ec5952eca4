"""Sprite files: open, save and the groups, against vornix-cel on the same files."""
import os
import random

import pytest

import vornix
from conftest import cel_file, random_sprites


def write_pngs(folder, pictures, palette):
    folder.mkdir()
    for i, (w, h, pixels) in enumerate(pictures):
        vornix.write_png(str(folder / f"s_{i:03}.png"), w, h, pixels, palette)
    return sorted(folder.iterdir())


def read(path):
    with open(path, "rb") as f:
        return f.read()


@pytest.mark.parametrize("coding,headers,database,groups", [
    ("cel", True, True, None), ("cel", False, False, None), ("cel", True, True, 5),
    ("cl2", True, True, None), ("cl2", True, False, 4)])
def test_build_save_and_convert_give_vornix_cel_bytes(tool, tmp_path, grey, coding, headers,
                                                      database, groups):
    pictures = write_pngs(tmp_path / "in", random_sprites(21, 40), grey)
    other = "cl2" if coding == "cel" else "cel"
    built = tmp_path / f"tool.{coding}"
    tool("build", built, tmp_path / "in", "--quiet", *(["--database"] if database else []),
         *([] if headers else ["--no-headers"]), *(["--groups", groups] if groups else []))
    # The same pictures through the module: read as Import reads them, coded, saved.
    mine = vornix.new(coding, groups=groups)
    mine.with_headers = headers
    for i, path in enumerate(pictures):
        w, h, pixels = vornix.read_picture(str(path), grey)
        mine.groups[i * len(mine.groups) // len(pictures)].append(
            vornix.Frame.from_pixels(w, h, pixels, coding=coding, name=path.stem))
    mine.save(str(tmp_path / f"mine.{coding}"), database=database)
    assert read(tmp_path / f"mine.{coding}") == read(built)
    assert os.path.exists(f"{built}.cdb") == database
    assert os.path.exists(tmp_path / f"mine.{coding}.cdb") == database
    if database:
        assert read(tmp_path / f"mine.{coding}.cdb") == read(f"{built}.cdb")

    # Open and save again: the same bytes; without a database, read as vornix-cel reads.
    opened = vornix.open(str(built))
    assert (opened.coding, opened.with_headers, opened.has_database, opened.grouped) == (
        coding, headers, database, groups is not None)
    assert all(f.viewable for g in opened.groups for f in g)
    opened.save(str(tmp_path / "again"))
    assert read(tmp_path / "again") == read(built)

    # Frames put into a file of the other coding are re-coded as vornix-cel convert does.
    tool("convert", built, tmp_path / f"converted.{other}", "--to", other)
    into = vornix.new(other, groups=groups)
    for source, target in zip(opened.groups, into.groups):
        target.extend(source)
    into.save(str(tmp_path / f"recoded.{other}"), database=database)
    assert read(tmp_path / f"recoded.{other}") == read(tmp_path / f"converted.{other}")
    assert [f.coding for g in opened.groups for f in g] == [coding] * len(pictures)


def test_cl2_pictures_match_vornix_cel_export(tool, tmp_path, grey):
    pictures = random_sprites(22, 30, (1, 90))
    sprite = vornix.new("cl2")
    for i, (w, h, pixels) in enumerate(pictures):
        sprite.groups[0].append(vornix.Frame.from_pixels(w, h, pixels, "cl2", f"f{i}"))
    path = tmp_path / "walk.cl2"
    sprite.save(str(path), database=True)
    palette = [(r, (r * 3) % 256, 255 - r) for r in range(255)] + [(0, 255, 0)]
    with open(tmp_path / "town.pal", "wb") as f:
        f.write(bytes(c for colour in palette[:255] for c in colour) + b"\xff\xff\xff")
    assert vornix.load_palette(str(tmp_path / "town.pal"), transparent=(0, 255, 0)) == palette

    opened = vornix.open(str(path))
    frames = list(opened.groups[0])
    assert [(f.width, f.height, f.name) for f in frames] == [
        (w, h, f"f{i}") for i, (w, h, _) in enumerate(pictures)]
    for form, bits, writer in (("png", 8, vornix.write_png), ("png", 24, vornix.write_png),
                               ("bmp", 8, vornix.write_bmp), ("bmp", 24, vornix.write_bmp)):
        out = tmp_path / f"{form}{bits}"
        tool("export", path, out, "--format", form, "--bpp", bits, "--quiet",
             "--palette", tmp_path / "town.pal", "--transparent", "0,255,0")
        for f in frames:
            target = tmp_path / f"mine.{form}"
            writer(str(target), f.width, f.height, f.pixels(), palette, bits=bits)
            assert read(target) == read(out / f"walk_{f.index:02}.{form}"), (form, bits, f)
    opened.save(str(tmp_path / "again.cl2"))
    assert read(tmp_path / "again.cl2") == read(path)
    assert read(tmp_path / "again.cl2.cdb") == read(f"{path}.cdb")


@pytest.mark.parametrize("coding", ["cel", "cl2"])
def test_grouped_files_and_recoding_on_save(tmp_path, coding):
    other = "cl2" if coding == "cel" else "cel"
    rng = random.Random(5)
    pictures = random_sprites(23, 24, (2, 50))
    sprite = vornix.new(coding, groups=3)
    assert (sprite.grouped, len(sprite.groups), sprite.path) == (True, 3, None)
    frames = []
    for i, (w, h, pixels) in enumerate(pictures):
        frame = vornix.Frame.from_pixels(w, h, pixels, coding=rng.choice([coding, other]))
        frames.append(frame)
        sprite.groups[i % 3].append(frame)
    path = str(tmp_path / f"units.{coding}")
    sprite.save(path, database=True)
    assert sprite.path == path and sprite.has_database
    assert [f.coding for f in frames].count(other) > 0  # the frames keep their coding

    opened = vornix.open(path, coding=coding)
    assert (opened.grouped, opened.coding, len(opened.groups)) == (True, coding, 3)
    for g, group in enumerate(opened.groups):
        assert [(f.coding, f.width, f.pixels()) for f in group] == [
            (coding, w, p) for w, h, p in pictures[g::3]]
    opened.save(str(tmp_path / "again"))
    assert read(tmp_path / "again") == read(path)

    # Groups come and go in a grouped file only.
    opened.groups.append().append(frames[0])
    del opened.groups[0]
    assert [len(g) for g in opened.groups] == [8, 8, 1]
    plain = vornix.new(coding)
    with pytest.raises(ValueError, match="one group"):
        plain.groups.append()
    with pytest.raises(ValueError, match="one group"):
        del plain.groups[0]


def test_groups_behave_as_lists():
    rng = random.Random(9)
    pool = [vornix.Frame.from_pixels(1, 1, bytes([127 + i])) for i in range(12)]
    group = vornix.new().groups[0]
    model = []
    for _ in range(400):
        op = rng.randrange(9)
        f = rng.choice(pool)
        i = rng.randint(-len(model) - 2, len(model) + 2)
        try:
            if op == 0:
                group.append(f), model.append(f)
            elif op == 1:
                group.insert(i, f), model.insert(i, f)
            elif op == 2:
                expected = model[i]
                del model[i]
                del group[i]
            elif op == 3:
                expected = model.pop(i)
                assert group.pop(i) == expected
            elif op == 4:
                s = slice(rng.randint(-3, 5), rng.randint(-3, 9), rng.choice([1, 2, -1]))
                assert group[s] == model[s]
                del group[s]
                del model[s]
            elif op == 5:
                model[i] = f
                group[i] = f
            elif op == 6:
                group.extend(pool[:3]), model.extend(pool[:3])
            elif op == 7:
                assert (f in group) == (f in model)
                if f in model:
                    assert group.index(f) == model.index(f)
            elif op == 8 and rng.random() < 0.05:
                group.clear(), model.clear()
        except IndexError:
            with pytest.raises(IndexError):
                group[i]
        assert len(group) == len(model) and list(group) == model
        assert [f.index for f in group] == list(range(len(model)))


def test_load_errors_carry_the_status(tmp_path):
    cases = {
        1: (0).to_bytes(4, "little"),
        3: b"\1\0\0",
        4: cel_file([b"\x01\x80"]) + b"\0",
    }
    for status, content in cases.items():
        path = tmp_path / f"s{status}.cel"
        path.write_bytes(content)
        with pytest.raises(vornix.LoadError) as caught:
            vornix.open(str(path))
        assert caught.value.status == status and isinstance(caught.value, OSError)
        assert caught.value.filename == str(path)
        assert f"status {status}" in str(caught.value) and "An error occured" in str(caught.value)
    with pytest.raises(vornix.LoadError) as caught:
        vornix.open(str(tmp_path / "missing.cel"))
    assert caught.value.status == 2
    with pytest.raises(ValueError, match="coding"):
        vornix.open(str(tmp_path / "s1.cel"), coding="gif")

    # A frame that loads but cannot be shown: a zero control byte.
    path = tmp_path / "null.cel"
    path.write_bytes(cel_file([b"\x01\x80", b"\x00\x80"]))
    frames = list(vornix.open(str(path), headers=False).groups[0])
    assert [f.diagnosis for f in frames] == [0, 5] and not frames[1].viewable
    assert frames[1].caption == "1, 1x1, #Null"
    with pytest.raises(ValueError, match="DiagNull"):
        frames[1].pixels()


def test_headers_without_a_database(tmp_path):
    tall = vornix.Frame.from_pixels(3, 40, bytes(range(127, 247)))
    sprite = vornix.new("cel")
    sprite.groups[0].extend([tall, tall])
    path = str(tmp_path / "tall.cel")
    sprite.save(path)
    assert not os.path.exists(path + ".cdb")
    for headers in (None, True):
        frames = list(vornix.open(path, headers=headers).groups[0])
        assert [f.header for f in frames] == [tall.header] * 2 and frames[0].viewable
    assert vornix.open(path, headers=None).with_headers
    plain = vornix.open(path, headers=False)
    assert not plain.with_headers and plain.groups[0][0].header == (0,) * 5
    assert vornix.open(path, coding="cl2").coding == "cl2"


def test_save_refusals_and_failures_leave_files_alone(tmp_path):
    path = tmp_path / "keep.cel"
    sprite = vornix.new("cel")
    sprite.groups[0].append(vornix.Frame.from_pixels(2, 1, b"\x80\x81"))
    sprite.save(str(path), database=True)
    before = read(path)
    with pytest.raises(ValueError, match="not assigned"):
        vornix.new().save()

    empty = vornix.new("cel", groups=2)
    empty.groups[0].append(sprite.groups[0][0])
    with pytest.raises(ValueError, match="group 1 is empty"):
        empty.save(str(path))
    broken = vornix.new("cl2")
    null_path = tmp_path / "null.cel"
    null_path.write_bytes(cel_file([b"\x00\x80"]))
    broken.groups[0].append(vornix.open(str(null_path), headers=False).groups[0][0])
    with pytest.raises(ValueError, match="cannot be re-coded as cl2"):
        broken.save(str(path))
    assert read(path) == before

    with pytest.raises(IsADirectoryError):
        sprite.save(str(tmp_path))
    with pytest.raises(FileNotFoundError):
        sprite.save(str(tmp_path / "no" / "such.cel"))
    assert sprite.path == str(path)
    sprite.save(database=False)
    assert read(path) == before and not os.path.exists(f"{path}.cdb")

    cl2 = vornix.new("cl2")
    assert cl2.with_headers
    with pytest.raises(ValueError, match="always has Frame Headers"):
        cl2.with_headers = False
    with pytest.raises(ValueError, match="groups"):
        vornix.new("cel", groups=0)
