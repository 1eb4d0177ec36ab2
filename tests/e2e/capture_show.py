#!/usr/bin/env python3
"""Captures the whole show twice with invitation-capture, a picture at the
middle of every timeline entry, and checks that both runs give byte-identical
logs and pictures, that each picture is the entry it was meant for, and that
every entry draws something there.
    capture_show.py INVITATION_CAPTURE WORKDIR"""
import os
import shutil
import struct
import subprocess
import sys
import zlib

capture, work = sys.argv[1], sys.argv[2]
# start_key of each timeline entry (order × 64 + row); the last ends the show.
KEYS = [0, 128, 137, 160, 161, 166, 169, 174, 175, 180, 184, 256, 265, 288, 289,
        294, 297, 302, 303, 308, 312, 320, 448, 528, 560, 640, 656]
# A row lasts 160 ms of song. Headless frames last 16.7 ms of virtual time
# (the pacing spin yields 0.1 ms at a time) and add 16 whole ms to show time.
middles = [int((a + b) / 2 * 160 * 16 / 16.7) for a, b in zip(KEYS, KEYS[1:])]


def run(name):
    out = os.path.join(work, name)
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    log = os.path.join(out, "show.log")
    subprocess.run([capture, "--log", log, "--png", out, "--at", ",".join(map(str, middles))],
                   check=True)
    return out


def png_pixels(path):
    """RGB bytes of an 8-bit RGB, non-interlaced PNG (what the capture writes)."""
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", path
    pos, idat, width, height = 8, b"", 0, 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height = struct.unpack(">II", body[:8])
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw, stride, rows, prev = zlib.decompress(idat), width * 3, [], bytearray(width * 3)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 3] if i >= 3 else 0
            b = prev[i]
            c = prev[i - 3] if i >= 3 else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        prev = line
    return (width, height), b"".join(rows)


first, second = run("first"), run("second")
failures = []
log = open(os.path.join(first, "show.log")).read()
if log != open(os.path.join(second, "show.log")).read():
    failures.append("the two runs' logs differ")
frames = [tuple(map(int, line.split())) for line in log.splitlines()]
if not frames or frames[-1][2:4] != (10, 16):
    failures.append("the show did not end at 10/16")
for entry, at in enumerate(middles):
    name = f"frame_{at}.png"
    a, b = os.path.join(first, name), os.path.join(second, name)
    if open(a, "rb").read() != open(b, "rb").read():
        failures.append(f"entry {entry}: the two runs' pictures differ")
    shown = next((f for f in frames if f[1] >= at), None)
    if shown is None or shown[4] != entry:
        failures.append(f"entry {entry}: the picture at {at} ms is of entry {shown and shown[4]}")
    size, pixels = png_pixels(a)
    colours = len(set(pixels[i:i + 3] for i in range(0, len(pixels), 3 * 97)))
    if size != (640, 480) or colours < 2:
        failures.append(f"entry {entry}: the picture at {at} ms is empty")
if failures:
    sys.exit("\n".join(failures))
print(f"ok: {len(frames)} show frames, {len(middles)} entries pictured, two runs identical")
