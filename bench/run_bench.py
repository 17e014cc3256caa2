#!/usr/bin/env python3
"""Full-run speed and memory of morvalencmd against a plain read of the file.

For each kind of file (program stream, elementary stream, transport stream)
it makes a DVD-rate stream of at least 1 GiB: a 30-second clip that ffmpeg
encodes at 6 Mbit/s with GOPs of 18 frames (about 2,200 sequence headers per
GiB), repeated. Then, with the page cache warm, it takes the best of several
runs of `cat FILE > /dev/null`, of a listing (-l), of a full rewrite and of
its undo (-u), and
prints the ratios tool/cat with the opening loop's two 50 ms waits
taken off the tool's time, and the tool's peak resident memory (GNU time).
A rewrite's time spent making its marker file and the video durable
(fdatasync, fsync) is timed on its own by bench/sync_time.c, preloaded, and
the ratio outside the syncs is given too.
Run as root, it then empties the page cache before each of five turns of
cat, a listing, a rewrite and its undo, and gives the ratios of the best runs.
It also measures the peak memory of an undo whose marker file lists 500,000
positions.
A VP9 WebM and an AV1 MP4, whose container alone records the aspect, are
listed and rewritten the same way, warm and cold, beside mkvpropedit setting
the display size of the same WebM; so is an AVI of Xvid video, whose
frames past 1 GiB lie in an OpenDML part; and a raw DV file, 10 seconds of
PAL DV repeated, whose walk reads only the first six blocks of each DIF
sequence. An ASF of Windows Media Video 8, whose header alone records the
aspect, and an MXF of MPEG-2 video, whose every frame's sequence header is
a place, are the DVD-rate clip joined.

Usage: bench/run_bench.py [path/to/morvalencmd] [size in MiB, default 1024] [folder] [kinds]
kinds: a comma-separated choice of ps, es, ts, mp4, mkv, vp9, av1, avi, dv, wmv, mxf (default all);
the undo's memory is measured with all of them only.
The streams are made in bench/out/, or in the folder given (a file system of
one's choice: a one-byte write costs very different times on different ones).
"""
import os
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "bench", "out")
ALL_KINDS = ["ps", "es", "ts", "mp4", "mkv", "vp9", "av1", "avi", "dv", "wmv", "mxf"]
OPENING_WAITS = 0.100  # two 50 ms waits around the successful open
CLIP = ["-f", "lavfi", "-i", "testsrc2=duration=30:size=720x480:rate=30000/1001",
        "-f", "lavfi", "-i", "sine=frequency=440:duration=30"]
VIDEO = ["-c:v", "mpeg2video", "-b:v", "6000k", "-maxrate", "8000k", "-bufsize", "1835k",
         "-g", "18", "-aspect", "4:3"]
KINDS = {
    "program stream": ("clip.mpg", VIDEO + ["-c:a", "ac3", "-b:a", "192k", "-f", "dvd"]),
    "elementary stream": ("clip.m2v", VIDEO + ["-an", "-f", "mpeg2video"]),
    "transport stream": ("clip.ts", VIDEO + ["-c:a", "mp2", "-b:a", "192k", "-f", "mpegts"]),
}


# An MP4 file of H.264 video whose keyframes keep their parameter sets in
# the samples, as a transport stream remuxed keeps them: the clip encoded
# into a transport stream, then copies of it joined into one MP4.
H264_CLIP = ("clip_h264.ts", ["-c:v", "libx264", "-preset", "veryfast", "-b:v", "6000k", "-maxrate", "8000k",
                             "-bufsize", "1835k", "-g", "18", "-aspect", "4:3", "-c:a", "aac", "-b:a", "192k",
                             "-f", "mpegts"])


# An AVI of Xvid video, MP2 audio, as DVD rips were made.
XVID_CLIP = ("clip_xvid.avi", ["-c:v", "libxvid", "-b:v", "6000k", "-g", "18", "-aspect", "4:3", "-c:a", "mp2",
                               "-b:a", "192k"])


# Video whose frames the tool never reads: ten seconds encoded once (the
# encoders are slow), joined into one file of each container.
SHORT_CLIP = ["-f", "lavfi", "-i", "testsrc2=duration=10:size=720x480:rate=30000/1001"]
VP9_CLIP = ("clip_vp9.webm", ["-c:v", "libvpx-vp9", "-deadline", "realtime", "-cpu-used", "8", "-b:v", "6000k",
                              "-g", "18", "-aspect", "4:3"])
AV1_CLIP = ("clip_av1.mp4", ["-c:v", "libaom-av1", "-cpu-used", "8", "-usage", "realtime", "-b:v", "6000k",
                             "-g", "18", "-aspect", "4:3"])

# Windows Media Video, whose header alone records the aspect, and MPEG-2
# in MXF, whose frames each hold a sequence header: the DVD-rate clip.
WMV_CLIP = ("clip_wmv2.wmv", ["-c:v", "wmv2", "-b:v", "6000k", "-g", "18", "-aspect", "4:3", "-c:a", "wmav2"])
MXF_CLIP = ("clip_mpeg2.mxf", VIDEO + ["-an", "-f", "mxf"])

# DV at 25 Mbit/s: ten seconds of PAL frames (250 of 144,000 bytes),
# repeated as they are, since a raw DV file is its frames one after another.
DV_SOURCE = ["-f", "lavfi", "-i", "testsrc2=duration=10:size=720x576:rate=25"]
DV_CLIP = ("clip.dv", ["-target", "pal-dv", "-aspect", "4:3", "-an"])


def clip_make(name, options, source=CLIP):
    path = os.path.join(OUT, name)
    if not os.path.exists(path):
        subprocess.check_call(["ffmpeg", "-loglevel", "error", "-y"] + source + options + [path])
    return path


def stream_make(clip, size_mib, folder):
    target = os.path.join(folder, "big_" + os.path.basename(clip))
    with open(clip, "rb") as f:
        data = f.read()
    copies = (size_mib * 1048576 + len(data) - 1) // len(data)
    if not os.path.exists(target) or os.path.getsize(target) != copies * len(data):
        with open(target, "wb") as out:
            for _ in range(copies):
                out.write(data)
    return target


def joined_make(clip, size_mib, folder, extension):
    """Copies of the clip joined by ffmpeg's concat demuxer into one file of
    the container the extension names."""
    target = os.path.join(folder, "big_clip" + extension)
    copies = (size_mib * 1048576 + os.path.getsize(clip) - 1) // os.path.getsize(clip)
    listing = os.path.join(OUT, "concat.txt")
    with open(listing, "w") as f:
        f.write(f"file '{clip}'\n" * copies)
    if not os.path.exists(target):
        subprocess.check_call(["ffmpeg", "-loglevel", "error", "-y", "-f", "concat", "-safe", "0", "-i", listing,
                               "-c", "copy", target])
    return target


def remux_timed(path):
    """What a remux that sets the sample aspect of every parameter set
    costs: ffmpeg's h264_metadata filter, writing a new file beside it."""
    out = os.path.splitext(path)[0] + "_remux.mp4"
    elapsed = min(timed(["ffmpeg", "-loglevel", "error", "-y", "-i", path, "-c", "copy", "-bsf:v",
                         "h264_metadata=sample_aspect_ratio=40/33", out])[0] for _ in range(3))
    os.remove(out)
    return elapsed


def propedit_timed(path, before=None):
    """What mkvpropedit takes to set the display size in place (the
    container's elements only), alternating two sizes so that each run
    changes something; `before` runs ahead of each (emptying the cache)."""
    runs = []
    for width in (853, 640, 853):
        if before:
            before()
        runs.append(timed(["mkvpropedit", "-q", path, "--edit", "track:v1", "--set", f"display-width={width}",
                           "--set", "display-height=480"])[0])
    return min(runs)


def sync_timer_make():
    """The preloaded library that times the rewrite's syncs."""
    library = os.path.join(OUT, "sync_time.so")
    subprocess.check_call(["cc", "-shared", "-fPIC", "-O2", "-o", library,
                           os.path.join(ROOT, "bench", "sync_time.c"), "-ldl"])
    return library


def timed(argv, environment=None):
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
        code = subprocess.call(argv, stdout=null, env=environment)
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


def side_files_remove(path):
    for extension in (".ini", ".txt"):
        side = os.path.splitext(path)[0] + extension
        if os.path.exists(side):
            os.remove(side)


def rewrite_timed(tool, path, sync_timer):
    """A rewrite with its syncs timed: (seconds, peak KiB, exit code, sync seconds)."""
    report = os.path.join(OUT, "sync.txt")
    environment = dict(os.environ, LD_PRELOAD=sync_timer, MORVALEN_SYNC_TIME=report)
    elapsed, peak, code = timed([tool, path], environment)
    syncs = sum(float(line) for line in open(report)) if os.path.exists(report) else 0.0
    if os.path.exists(report):
        os.remove(report)
    return elapsed, peak, code, syncs


def measure(tool, kind, path, sync_timer):
    def fresh():
        side_files_remove(path)
        os.sync()  # the last run's rewritten pages go out now, not during the next

    timed(["cat", path])  # warm the page cache
    # The three take turns, so that a slower moment of the machine falls on
    # all of them; the best of seven runs each counts. Rewrites alternate
    # 4:3 and 16:9, each with a fresh marker file.
    # Each rewrite is undone from its marker file.
    runs = {"cat": [], "list": [], "rewrite": [], "undo": []}
    for _ in range(7):
        runs["cat"].append(timed(["cat", path]))
        fresh()
        runs["list"].append(timed([tool, "-l", path]))
        fresh()
        runs["rewrite"].append(rewrite_timed(tool, path, sync_timer))
        runs["undo"].append(timed([tool, "-u", path]))
    fresh()
    cat_s = min(runs["cat"])[0]
    list_s, list_kib, list_code = min(runs["list"])
    rewrite_s, rewrite_kib, rewrite_code, sync_s = min(runs["rewrite"])
    undo_s, undo_kib, undo_code = min(runs["undo"])
    outside_s = min(run[0] - run[3] for run in runs["rewrite"])
    ratio = lambda s: (s - OPENING_WAITS) / cat_s
    # The medians' ratio, beside the best runs'.
    median = lambda name: (statistics.median(run[0] for run in runs[name]) - OPENING_WAITS) / \
        statistics.median(run[0] for run in runs["cat"])
    print(f"{kind:18s} {os.path.getsize(path) / 1048576:6.0f} MiB  cat {cat_s:5.3f} s  "
          f"list {list_s:5.3f} s ({ratio(list_s):4.2f}x, median {median('list'):4.2f}x, exit {list_code})  "
          f"rewrite {rewrite_s:5.3f} s ({ratio(rewrite_s):4.2f}x, median {median('rewrite'):4.2f}x, "
          f"exit {rewrite_code}; syncs {sync_s:5.3f} s, outside them {ratio(outside_s):4.2f}x)  "
          f"undo {undo_s:5.3f} s ({ratio(undo_s):4.2f}x, median {median('undo'):4.2f}x, exit {undo_code})  "
          f"peak RSS {max(list_kib, rewrite_kib, undo_kib) / 1024:5.1f} MiB")


def caches_drop():
    """Empties the page cache (root only): the next read comes from the disk."""
    os.sync()
    with open("/proc/sys/vm/drop_caches", "w") as f:
        f.write("3\n")


def measure_cold(tool, kind, path):
    """cat, a listing, a rewrite and its undo, each from an empty page
    cache, taking turns five times: the ratios of the best runs (a virtual
    machine's disk varies by a factor of two from one read to the next)."""
    runs = {"cat": [], "list": [], "rewrite": [], "undo": []}
    for _ in range(5):
        for name, argv in (("cat", ["cat", path]), ("list", [tool, "-l", path]),
                           ("rewrite", [tool, path]), ("undo", [tool, "-u", path])):
            if name != "undo":  # the undo takes the rewrite's marker file
                side_files_remove(path)
            caches_drop()
            runs[name].append(timed(argv)[0])
    side_files_remove(path)
    cat_s = min(runs["cat"])
    ratio = lambda name: (min(runs[name]) - OPENING_WAITS) / cat_s
    median = lambda name: (statistics.median(runs[name]) - OPENING_WAITS) / statistics.median(runs["cat"])
    print(f"{kind:18s} cold: cat {cat_s:5.3f} s  list {ratio('list'):4.2f}x (median {median('list'):4.2f}x)  "
          f"rewrite {ratio('rewrite'):4.2f}x (median {median('rewrite'):4.2f}x)  "
          f"undo {ratio('undo'):4.2f}x (median {median('undo'):4.2f}x)  (best of five; "
          f"cat {max(runs['cat']):5.3f} s at worst)")


def undo_memory(tool, headers):
    """An elementary stream of that many headers, rewritten, then undone: the
    undo reads all their positions back. Returns the undo's peak in KiB."""
    path = os.path.join(OUT, "many_headers.m2v")
    header = bytes.fromhex("000001b32d01e02417ed2380") + bytes.fromhex("000001b5148a0001")
    unit = header + b"\x55" * (64 - len(header))
    with open(path, "wb") as f:
        f.write(unit * headers)
    side_files_remove(path)
    rewrite = timed([tool, path])
    undo = timed([tool, "-u", path])
    print(f"undo of {headers:9,d} listed positions: peak RSS {undo[1] / 1024:5.1f} MiB (exit {undo[2]}); "
          f"the rewrite that listed them: {rewrite[1] / 1024:5.1f} MiB (exit {rewrite[2]})")
    side_files_remove(path)
    os.remove(path)
    return undo[1]


def streams_make(chosen, size_mib, folder):
    """The files of the chosen kinds, by the names the results give them."""
    made = {}
    for key, (kind, (name, options)) in zip(("ps", "es", "ts"), KINDS.items()):
        if key in chosen:
            made[kind] = stream_make(clip_make(name, options), size_mib, folder)
    if "mp4" in chosen:
        made["MP4, H.264"] = joined_make(clip_make(*H264_CLIP), size_mib, folder, ".mp4")
    if "mkv" in chosen:
        made["Matroska, H.264"] = joined_make(clip_make(*H264_CLIP), size_mib, folder, ".mkv")
    if "vp9" in chosen:
        made["WebM, VP9"] = joined_make(clip_make(*VP9_CLIP, SHORT_CLIP), size_mib, folder, ".webm")
    if "av1" in chosen:
        made["MP4, AV1"] = joined_make(clip_make(*AV1_CLIP, SHORT_CLIP), size_mib, folder, "_av1.mp4")
    if "avi" in chosen:
        # A sixteenth more than asked takes the file past 1 GiB, into an
        # OpenDML part.
        made["AVI, Xvid"] = joined_make(clip_make(*XVID_CLIP), size_mib + size_mib // 16, folder, ".avi")
    if "dv" in chosen:
        made["DV"] = stream_make(clip_make(*DV_CLIP, DV_SOURCE), size_mib, folder)
    if "wmv" in chosen:
        made["ASF, WMV2"] = joined_make(clip_make(*WMV_CLIP), size_mib, folder, ".wmv")
    if "mxf" in chosen:
        made["MXF, MPEG-2"] = joined_make(clip_make(*MXF_CLIP), size_mib, folder, ".mxf")
    return made


def editors_timed(streams, cold):
    """What other tools take for the same change, where one is measured."""
    before = caches_drop if cold else None
    for kind in ("Matroska, H.264", "WebM, VP9"):
        if kind not in streams:
            continue
        path = streams[kind]
        cat_s = best_of(3, ["cat", path], before)[0]
        print(f"{kind}: mkvpropedit setting the display size{' (cold)' if cold else ''} "
              f"{propedit_timed(path, before):5.3f} s (cat {cat_s:5.3f} s)")


def main():
    tool = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "morvalencmd")
    size_mib = int(sys.argv[2]) if len(sys.argv) > 2 else 1024
    folder = sys.argv[3] if len(sys.argv) > 3 else OUT
    chosen = sys.argv[4].split(",") if len(sys.argv) > 4 else ALL_KINDS
    os.makedirs(OUT, exist_ok=True)
    print(f"nproc {os.cpu_count()}, streams of {size_mib} MiB in {folder}")
    sync_timer = sync_timer_make()
    streams = streams_make(chosen, size_mib, folder)
    for kind, path in streams.items():
        measure(tool, kind, path, sync_timer)
    if "MP4, H.264" in streams:
        mp4 = streams["MP4, H.264"]
        cat_s = min(timed(["cat", mp4])[0] for _ in range(3))
        print(f"MP4, H.264: a remux with ffmpeg's h264_metadata filter {remux_timed(mp4):5.3f} s (cat {cat_s:5.3f} s)")
    editors_timed(streams, False)
    if os.geteuid() == 0:
        for kind, path in streams.items():
            measure_cold(tool, kind, path)
        editors_timed(streams, True)
    else:
        print("cold cache: not measured (emptying the page cache needs root)")
    if len(chosen) < len(ALL_KINDS):
        return
    small = undo_memory(tool, 500000)
    large = undo_memory(tool, 1000000)
    print(f"growth beyond 500,000: {(large - small) * 1024 / 500000:4.1f} bytes a position")


if __name__ == "__main__":
    main()
