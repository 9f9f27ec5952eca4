#!/usr/bin/python3
"""Decoding a CL2 from Python beside vornix-cel doing the same work, in the same run.

    /usr/bin/python3 bench/python_decode.py [build/vornix-cel] [build/python] [COUNT] [SIDE]

Makes a CL2 of COUNT frames (default 1,000) of SIDE x SIDE pixels (default 96), about half
transparent, with its frame database, in a folder on /dev/shm (tmpfs, so that no disk takes
part). Then times, each run five times and the fastest counted:
  python          vornix.open() of the file and pixels() of every frame, in the interpreter
                  (the module imported before the clock starts)
  python process  the same as a whole python3 process, start-up and import included
  python threads  open() and pixels() of every frame on a pool of one thread per core, each
                  thread given a slice of the frames
  vornix-cel info     loading and analysing the file, one process
  vornix-cel export   loading, decoding every frame and writing it as an 8-bit BMP into
                      tmpfs, one worker (--jobs 1) and with every core
The target: python within 1.5 times the time of vornix-cel export --jobs 1, the same work
plus writing the files. Times are CPU time (user + system, of this process or of the child
processes), which other work on the machine hardly changes; wall-clock times are printed too.
"""
import concurrent.futures
import os
import random
import resource
import shutil
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
TOOL = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "build", "vornix-cel")
MODULE = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, "..", "build", "python")
COUNT = int(sys.argv[3]) if len(sys.argv) > 3 else 1000
SIDE = int(sys.argv[4]) if len(sys.argv) > 4 else 96
REPEATS = 5
sys.path.insert(0, MODULE)
import vornix  # noqa: E402


def sprite(rng, side):
    cx, cy = rng.uniform(0.3, 0.7) * side, rng.uniform(0.3, 0.7) * side
    radius2 = (side * side / 2) / 3.14159  # a disc of half the picture's area
    out = bytearray()
    for y in range(side):
        for x in range(side):
            inside = (x - cx) ** 2 + (y - cy) ** 2 <= radius2
            out.append(127 + (x * 7 + y * 3 + rng.randrange(4)) % 128 if inside else 255)
    return bytes(out)


def cpu_seconds():
    """CPU time of this process and of its finished children."""
    own = resource.getrusage(resource.RUSAGE_SELF)
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    return own.ru_utime + own.ru_stime + children.ru_utime + children.ru_stime


def best(action):
    """The fastest of the runs, as (CPU seconds, wall-clock seconds)."""
    cpu, wall = [], []
    for _ in range(REPEATS):
        start, start_cpu = time.perf_counter(), cpu_seconds()
        action()
        cpu.append(cpu_seconds() - start_cpu)
        wall.append(time.perf_counter() - start)
    return min(cpu), min(wall)


def decode_all(path):
    for group in vornix.open(path).groups:
        for frame in group:
            frame.pixels()


def decode_all_threads(path, pool, workers):
    # One slice of the frames per thread: a task per frame would cost more than its decoding.
    frames = [f for group in vornix.open(path).groups for f in group]
    slices = [frames[n::workers] for n in range(workers)]
    for _ in pool.map(lambda part: [f.pixels() for f in part], slices):
        pass


def main():
    folder = tempfile.mkdtemp(prefix="vornix-bench-", dir="/dev/shm")
    try:
        rng = random.Random(1)
        pictures = [sprite(rng, SIDE) for _ in range(20)]  # repeated: the coding is the same work
        cl2 = vornix.new("cl2")
        for i in range(COUNT):
            cl2.groups[0].append(vornix.Frame.from_pixels(SIDE, SIDE, pictures[i % 20], "cl2"))
        path = os.path.join(folder, "units.cl2")
        cl2.save(path, database=True)
        size = os.path.getsize(path)
        print(f"{COUNT} CL2 frames of {SIDE} x {SIDE}, {size / 1e6:.2f} MB, on tmpfs;"
              f" fastest of {REPEATS} runs")

        def run(*arguments):
            subprocess.run(arguments, check=True, stdout=subprocess.DEVNULL)

        def export(jobs):
            out = os.path.join(folder, "out")
            shutil.rmtree(out, ignore_errors=True)
            run(TOOL, "export", path, out, "--quiet", "--jobs", str(jobs))

        rows = []
        python = best(lambda: decode_all(path))
        rows.append(("python: open + pixels() of every frame", python))
        script = (f"import sys; sys.path.insert(0, {MODULE!r}); import vornix\n"
                  f"for f in vornix.open({path!r}).groups[0]: f.pixels()")
        rows.append(("python process (start-up and import included)",
                     best(lambda: run(sys.executable, "-c", script))))
        workers = os.cpu_count()
        with concurrent.futures.ThreadPoolExecutor(workers) as pool:
            rows.append((f"python threads ({workers})",
                         best(lambda: decode_all_threads(path, pool, workers))))
        rows.append(("vornix-cel info", best(lambda: run(TOOL, "info", path))))
        single = best(lambda: export(1))
        rows.append(("vornix-cel export --jobs 1 (8-bit BMP to tmpfs)", single))
        rows.append(("vornix-cel export, every core", best(lambda: export(os.cpu_count()))))
        print(f"  {'':<50} {'CPU':>8}     {'wall':>8}")
        for label, (cpu, wall) in rows:
            print(f"  {label:<50} {cpu * 1000:8.1f} ms  {wall * 1000:8.1f} ms"
                  f"  {COUNT / cpu:9.0f} frames/s of CPU")
        ratio = python[0] / single[0]
        print(f"python / vornix-cel export --jobs 1: {ratio:.2f} (target: at most 1.5);"
              f" as a whole process: {rows[1][1][0] / single[0]:.2f}")
        return 0 if ratio <= 1.5 else 1
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
