#!/usr/bin/env python3
"""Remakes the fuzzers' seed corpus from the bundled sample streams."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "data")
SAMPLES = ["dvd_ntsc_4x3.mpg", "vcd_pal.mpg", "svcd_pal.mpg", "mpeg1sys_mpeg2video.mpg",
           "es_mpeg2_16x9.m2v", "es_mpeg1.m1v", "ts_sd_4x3.ts", "hdv_16x9.m2ts"]


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


for sample in SAMPLES:
    with open(os.path.join(DATA, sample), "rb") as f:
        stream = f.read()
    stem = sample.split(".")[0]
    # Engine: a control byte (options, undo, repetition) and the target, then
    # the start of the stream.
    for control, tag in [(0x10, "rewrite"), (0x80, "list"), (0x50, "search"), (0x30, "repeated")]:
        write("engine", f"{stem}_{tag}", bytes([control, 3]) + stream[:6000])
    # Analysis: the split byte, the tail's position, then head and tail.
    tail_base = (len(stream) - 3000).to_bytes(8, "little")
    write("analysis", stem, bytes([128]) + tail_base + stream[:3000] + stream[-3000:])
    # Header scan: four range lengths, the reference's bytes 4-7, the stream.
    header = stream.find(b"\x00\x00\x01\xb3")
    write("header_scan", stem, bytes([4, 200, 17, 3, 90]) + stream[header + 4:header + 8] + stream[:4000])

# Damage: the sample, the target, then damages of seven bytes each (kind,
# where, how much, a byte): a join, a zeroed stretch, random bytes, an insert.
for index in range(4):
    ops = bytes([0, 1, 0x23, 0x45, 0x10, 0x00, 0]) + bytes([1, 2, 0x00, 0x00, 0x13, 0x88, 0]) + \
          bytes([2, 0, 0x80, 0x00, 0x0B, 0xB8, 7]) + bytes([3, 0, 0x30, 0x00, 0x00, 0x40, 0xBA])
    write("damage", f"sample{index}", bytes([index, 3]) + ops)

# Parameter sets: the codec, a target sample aspect, range lengths, then an
# Annex B stream from its first parameter set on.
for sample, codec, marker in [("ts_h264.ts", 0, b"\x00\x00\x01\x67"), ("es_hevc.hevc", 1, b"\x00\x00\x01\x42")]:
    with open(os.path.join(DATA, sample), "rb") as f:
        stream = f.read()
    start = stream.find(marker)
    for target, tag in [((4, 3), "table"), ((40, 33), "other"), ((64, 45), "explicit")]:
        aspect = target[0].to_bytes(2, "big") + target[1].to_bytes(2, "big")
        write("sps", f"{sample.split('.')[0]}_{tag}", bytes([codec]) + aspect + bytes([3, 4, 9, 30]) +
              stream[start:start + 3000])

# Containers: the sample and the target, then damages of four bytes each
# (where: the movie or tracks, or anywhere, and whether bytes go missing;
# how far; the byte written or how many go).
for index, tag in [(0, "mp4"), (1, "mov"), (2, "mkv"), (3, "dv"), (4, "mov_dv"), (5, "avi"), (6, "flv"), (7, "asf"),
                   (8, "mxf"), (9, "ogg")]:
    write("container", f"{tag}_plain", bytes([index << 2]))
    write("container", f"{tag}_head_byte", bytes([index << 2 | 2, 0, 0x01, 0x20, 0xFF, 2, 0x03, 0x00, 0x00]))
    write("container", f"{tag}_sample_byte", bytes([index << 2, 1, 0x10, 0x00, 0x00]))
# Three bytes missing from the DV file's first frame, after its first blocks.
write("container", "dv_missing_bytes", bytes([3 << 2, 5, 0x17, 0x70, 2]))
