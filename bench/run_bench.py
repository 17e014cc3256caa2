#!/usr/bin/env python3
"""Full-run speed of morvalencmd against a plain read of the same file.

Builds a program stream and an elementary stream of at least 1 GiB each by
repeating the bundled samples, then for each one times `cat FILE > /dev/null`
and a full rewrite run of the tool (page cache warm for both), and prints the
ratio tool/cat and the tool's peak resident memory. Run as root, it measures
both again with the page cache emptied before each run.

Usage: bench/run_bench.py [path/to/morvalencmd] [size in MiB, default 1100]
"""
import os
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "bench", "out")
SAMPLES = {
    "program stream": "dvd_ntsc_4x3.mpg",
    "elementary stream": "es_mpeg2_16x9.m2v",
}


DROP_CACHES = "/proc/sys/vm/drop_caches"


def drop_caches():
    """Writes dirty pages out and empties the page cache (root only), so that
    the next run reads from the disk as a first run over a large file does."""
    os.sync()
    with open(DROP_CACHES, "w") as f:
        f.write("3\n")


def build_stream(sample, size_mib):
    target = os.path.join(OUT, "big_" + sample)
    with open(os.path.join(ROOT, "tests", "data", sample), "rb") as f:
        data = f.read()
    copies = (size_mib * 1048576 + len(data) - 1) // len(data)
    if not os.path.exists(target) or os.path.getsize(target) != copies * len(data):
        with open(target, "wb") as out:
            for _ in range(copies):
                out.write(data)
    return target


def timed(argv):
    """Runs argv with stdout to /dev/null; returns (seconds, peak RSS KiB, exit code).

    The peak comes from GNU time when it is installed: the rusage of a child
    forked from Python would count Python's own pages."""
    gnu_time = "/usr/bin/time"
    measured = os.path.exists(gnu_time)
    report = os.path.join(OUT, "time.txt")
    if measured:
        argv = [gnu_time, "-f", "%M", "-o", report] + argv
    with open(os.devnull, "wb") as null:
        start = time.perf_counter()
        code = subprocess.call(argv, stdout=null)
        elapsed = time.perf_counter() - start
    peak = int(open(report).read().split()[-1]) if measured else float("nan")
    return elapsed, peak, code


def best_of(runs, argv, before=None):
    results = []
    for _ in range(runs):
        if before:
            before()
        results.append(timed(argv))
    return min(results)


def main():
    tool = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "morvalencmd")
    size_mib = int(sys.argv[2]) if len(sys.argv) > 2 else 1100
    os.makedirs(OUT, exist_ok=True)
    print(f"nproc {os.cpu_count()}, streams of {size_mib} MiB")
    for kind, sample in SAMPLES.items():
        path = build_stream(sample, size_mib)
        marker = os.path.splitext(path)[0] + ".ini"

        def fresh():
            if os.path.exists(marker):
                os.remove(marker)
            os.sync()  # the last run's rewritten pages go out now, not during the next

        timed(["cat", path])  # warm the page cache
        cat_s, _, _ = best_of(3, ["cat", path], before=os.sync)
        tool_s, rss_kib, code = best_of(3, [tool, path], before=fresh)
        fresh()
        print(f"{kind:18s} {os.path.getsize(path) / 1048576:8.0f} MiB  cat {cat_s:6.2f} s  "
              f"tool {tool_s:6.2f} s  ratio {tool_s / cat_s:5.2f}  peak RSS {rss_kib / 1024:6.1f} MiB"
              f"  exit {code}")
        if os.access(DROP_CACHES, os.W_OK):
            cold_cat_s, _, _ = best_of(2, ["cat", path], before=drop_caches)
            cold_tool_s, _, _ = best_of(2, [tool, path], before=lambda: (fresh(), drop_caches()))
            fresh()
            print(f"{'  page cache cold':18s} {'':12s}  cat {cold_cat_s:6.2f} s  "
                  f"tool {cold_tool_s:6.2f} s  ratio {cold_tool_s / cold_cat_s:5.2f}")
        if kind == "elementary stream" and shutil.which("ffmpeg"):
            compare_ffmpeg(path, tool_s)


def compare_ffmpeg(path, tool_s):
    """The remux most users would otherwise reach for, on the same file."""
    out = os.path.join(OUT, "ffmpeg_out.m2v")
    argv = ["ffmpeg", "-loglevel", "error", "-y", "-i", path, "-c", "copy",
            "-bsf:v", "mpeg2_metadata=display_aspect_ratio=16/9", out]
    ffmpeg_s, rss_kib, code = best_of(1, argv)
    os.remove(out)
    print(f"ffmpeg mpeg2_metadata remux of the elementary stream: {ffmpeg_s:6.2f} s, "
          f"peak RSS {rss_kib / 1024:6.1f} MiB, exit {code}; the tool is {ffmpeg_s / tool_s:5.1f}x faster")


if __name__ == "__main__":
    main()
