#!/usr/bin/env python3
"""Two builds of morvalencmd side by side, in one sitting.

Warm, the two builds take turns run by run (a listing, then a rewrite with a
fresh marker file), eleven times each on each kind of stream, so that a
slower moment of a shared machine falls on both alike; the minimum and the
median count. Then valgrind's callgrind counts the instructions each build
runs on the first 64 MiB of each stream, which do not vary from run to run
or with the load of the machine.

Usage: bench/compare_builds.py BEFORE AFTER [size in MiB, default 1024] [kinds]
The streams are those of run_bench.py (kinds as it names them, by default
ps,es,ts,mp4,mkv,avi,dv), made in bench/out/ where missing.
"""
import os
import statistics
import subprocess
import sys

import run_bench

TURNS = 11
HEAD_MIB = 64


def turns(tools, path):
    """{(build, what): [seconds]} for the builds taking turns."""
    runs = {}
    run_bench.timed(["cat", path])  # warm the page cache
    for _ in range(TURNS):
        for build, tool in tools.items():
            for what, argv in (("list", [tool, "-l", path]), ("rewrite", [tool, path])):
                run_bench.side_files_remove(path)
                runs.setdefault((build, what), []).append(run_bench.timed(argv)[0])
    run_bench.side_files_remove(path)
    return runs


def instructions(tool, argv_tail, path):
    """Instructions callgrind counts for one run of the tool on the file."""
    out = os.path.join(run_bench.OUT, "callgrind.out")
    run_bench.side_files_remove(path)
    subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}", tool] + argv_tail + [path],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    run_bench.side_files_remove(path)
    with open(out) as f:
        total = next(line for line in f if line.startswith("totals:") or line.startswith("summary:"))
    os.remove(out)
    return int(total.split()[1])


def head_make(path):
    head = os.path.join(run_bench.OUT, "head_" + os.path.basename(path))
    with open(path, "rb") as f, open(head, "wb") as out:
        out.write(f.read(HEAD_MIB * 1048576))
    return head


def main():
    tools = {"before": sys.argv[1], "after": sys.argv[2]}
    size_mib = int(sys.argv[3]) if len(sys.argv) > 3 else 1024
    os.makedirs(run_bench.OUT, exist_ok=True)
    print(f"nproc {os.cpu_count()}, streams of {size_mib} MiB; seconds warm, min / median of {TURNS}")
    kinds = sys.argv[4].split(",") if len(sys.argv) > 4 else ["ps", "es", "ts", "mp4", "mkv", "avi", "dv"]
    for kind, path in run_bench.streams_make(kinds, size_mib, run_bench.OUT).items():
        runs = turns(tools, path)
        cells = [f"{min(runs[(b, w)]):.3f} / {statistics.median(runs[(b, w)]):.3f}"
                 for w in ("list", "rewrite") for b in tools]
        head = head_make(path)
        counts = [instructions(tools[b], tail, head) / 1e6 for tail in (["-l"], []) for b in tools]
        os.remove(head)
        print(f"{kind:18s} list {cells[0]} | {cells[1]}  rewrite {cells[2]} | {cells[3]}  "
              f"instructions (millions) list {counts[0]:.1f} | {counts[1]:.1f}  rewrite {counts[2]:.1f} | "
              f"{counts[3]:.1f}")


if __name__ == "__main__":
    main()
