#!/usr/bin/python3
"""vornix-cel export of a folder of grouped CL2 files, beside cp -r of its output.

    /usr/bin/python3 bench/cl2_batch.py [build/vornix-cel] [FILES] [GROUPS] [FRAMES] [SIDE]

Builds grouped CL2 files (default 1,000 files of 8 groups of 16 frames of 96 x 96, about half
of their pixels transparent) with `vornix-cel build --groups`, in a folder tree of 10
subfolders, then times `export FOLDER OUT --format png` and `export FOLDER OUT` (8-bit BMP)
beside `cp -r` of the same output, in the same run (every side ends with one flush to disk).
Each is run three times into fresh outputs and the fastest run counts. The target: export
within 3 times cp -r. Everything is written under a temporary folder, removed at the end.
"""
import os
import random
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cel_batch import bmp_bytes, run, sprite, timed  # noqa: E402


def main():
    tool = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/vornix-cel")
    files = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
    groups = int(sys.argv[3]) if len(sys.argv) > 3 else 8
    frames = int(sys.argv[4]) if len(sys.argv) > 4 else 16
    side = int(sys.argv[5]) if len(sys.argv) > 5 else 96
    work = tempfile.mkdtemp(prefix="vornix-cl2-bench-")
    try:
        rng = random.Random(20)
        # A few distinct grouped files, copied: the work per file is the same.
        distinct = []
        for n in range(4):
            src = os.path.join(work, f"src{n}")
            os.mkdir(src)
            for i in range(groups * frames):
                with open(os.path.join(src, f"f_{i:04d}.bmp"), "wb") as f:
                    f.write(bmp_bytes(sprite(rng, side), side))
            target = os.path.join(work, f"unit{n}.cl2")
            run(tool, "build", target, src, "--groups", str(groups), "--quiet")
            distinct.append(target)
        tree = os.path.join(work, "sprites")
        for i in range(files):
            folder = os.path.join(tree, f"monster{i % 10}")
            os.makedirs(folder, exist_ok=True)
            shutil.copyfile(distinct[i % len(distinct)], os.path.join(folder, f"m{i:04d}.cl2"))
        os.sync()
        total = files * groups * frames
        print(f"{files} grouped CL2 files, {groups} x {frames} frames of {side} x {side} "
              f"({total} frames), {os.cpu_count()} cores, {tool}")

        def out(name, attempt):
            return os.path.join(work, name if attempt == 0 else f"{name}.{attempt}")

        results = {}
        for label, extra in (("png", ["--format", "png"]), ("bmp", [])):
            seconds = timed(f"export --format {label}",
                            lambda a, extra=extra, label=label: run(
                                tool, "export", tree, out(label, a), "--quiet", *extra))

            def copy(attempt, label=label):
                shutil.rmtree(out(f"copy-{label}", attempt), ignore_errors=True)
                run("cp", "-r", out(label, 0), out(f"copy-{label}", attempt))
                os.sync()

            copied = timed(f"cp -r of its output ({label})", copy)
            results[label] = (seconds, copied)
            print(f"  -> {total / seconds:,.0f} frames/s; {seconds / copied:.2f} x cp -r "
                  f"(target: within 3)", flush=True)
        return results
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
