#!/usr/bin/env python3
"""Captures the whole show twice with invitation-capture and checks that both
runs give byte-identical logs and pictures, that the picture at the middle of
every timeline entry is of that entry and draws something, and that the
pictures at the middles and at the moments below match the reference pictures
in reference/ (picture_check compares them, allowing for renderer rounding).
    capture_show.py INVITATION_CAPTURE PICTURE_CHECK WORKDIR [--update]
--update captures once and replaces the references instead; every picture it
writes is to be looked at before it is committed."""
import glob
import os
import shutil
import struct
import subprocess
import sys
import zlib

from show_end import show_end

if len(sys.argv) not in (4, 5) or sys.argv[4:] not in ([], ["--update"]):
    sys.exit(__doc__)
capture, picture_check, work = sys.argv[1:4]
update = sys.argv[4:] == ["--update"]
references = os.path.join(os.path.dirname(os.path.abspath(__file__)), "reference")
# start_key of each timeline entry (order × 64 + row); the last ends the show.
END = show_end()
KEYS = [0, 128, 137, 160, 161, 166, 169, 174, 175, 180, 184, 256, 265, 288, 289,
        294, 297, 302, 303, 308, 312, 320, 448, 528, 560, 640, END[0] * 64 + END[1]]
# A row lasts 160 ms of song. Headless frames last 16.7 ms of virtual time
# (the pacing spin yields 0.1 ms at a time) and add 16 whole ms to show time.
middles = [int((a + b) / 2 * 160 * 16 / 16.7) for a, b in zip(KEYS, KEYS[1:])]
# Further moments where a scene shows what the middles miss: show ms, then
# order/row and what the picture must show.
MOMENTS = {
    1600: "0/10: the figure at rest in pose 2, the picture still empty",
    10700: "1/5: a fast flight half way round the solid figure, in perspective",
    10930: "1/7: the end of that flight, the projection blending to orthographic",
    11300: "1/9: headline step 1 on the picture",
    12600: "1/18: headline step 2",
    13800: "1/26: headline step 3",
    15000: "1/33: headline step 4, both lines",
    20000: "2/2: beat word ENTER over the noise fan",
    20150: "2/3: beat word THE",
    20750: "2/7: beat word COMPO",
    21400: "2/11: the figure with its eyes closed (pose 4)",
    30350: "3/6: a fast flight, the next headline on the solid side",
    31000: "3/10: headline step 5",
    32200: "3/18: headline step 6",
    36000: "3/42: headline step 8, both lines",
    39780: "4/3: beat word THE",
    40300: "4/6: beat word COMPO",
    49580: "5/3: the noise fan laid over the spinning figures",
    53000: "5/25: crossed stripes over the spinning figures, slogans and cascade words",
    55000: "5/38: the line storm over the spinning figures",
    65000: "6/40: spinning figures and cascade words under the noise fan",
    72000: "7/21: headline step 8 before the slow flight",
    78700: "8/1: the slow flight's end, blending to orthographic",
    79800: "8/8: headline step 9 after the slow flight",
    81944: "8/22: fade out a quarter of the way",
    85700: "8/47: faded out to black",
    86840: "8/54: closing screen fading in, a quarter up",
    88840: "9/3: closing screen three quarters up",
    100400: "10/14: closing screen fading out, under half when the show ends",
}
pictured = sorted(set(middles) | set(MOMENTS))


def run(name):
    out = os.path.join(work, name)
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    log = os.path.join(out, "show.log")
    subprocess.run([capture, "--log", log, "--png", out, "--at", ",".join(map(str, pictured))],
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


if update:
    first = run("update")
    names = [f"frame_{at}.png" for at in pictured]
    for old in glob.glob(os.path.join(references, "frame_*.png")):
        os.remove(old)
    subprocess.run([picture_check, "reduce", first, references] + names, check=True)
    print(f"wrote {len(names)} reference pictures to {references}; look at every one before committing")
    sys.exit(0)

first, second = run("first"), run("second")
failures = []
log = open(os.path.join(first, "show.log")).read()
if log != open(os.path.join(second, "show.log")).read():
    failures.append("the two runs' logs differ")
frames = [tuple(map(int, line.split())) for line in log.splitlines()]
if not frames or frames[-1][2:4] != END:
    failures.append("the show did not end at %d/%d" % END)
for at in pictured:
    name = f"frame_{at}.png"
    if open(os.path.join(first, name), "rb").read() != open(os.path.join(second, name), "rb").read():
        failures.append(f"the two runs' pictures at {at} ms differ")
for entry, at in enumerate(middles):
    a = os.path.join(first, f"frame_{at}.png")
    shown = next((f for f in frames if f[1] >= at), None)
    if shown is None or shown[4] != entry:
        failures.append(f"entry {entry}: the picture at {at} ms is of entry {shown and shown[4]}")
    size, pixels = png_pixels(a)
    colours = len(set(pixels[i:i + 3] for i in range(0, len(pixels), 3 * 97)))
    if size != (640, 480) or colours < 2:
        failures.append(f"entry {entry}: the picture at {at} ms is empty")
failed = os.path.join(work, "failed")
shutil.rmtree(failed, ignore_errors=True)
compared = subprocess.run([picture_check, "compare", references, first, failed]
                          + [f"frame_{at}.png" for at in pictured])
if compared.returncode != 0:
    failures.append(f"pictures differ from the references (actual and difference pictures in {failed})")
if failures:
    sys.exit("\n".join(failures))
print(f"ok: {len(frames)} show frames, {len(middles)} entries pictured, two runs identical, "
      f"{len(pictured)} pictures match the references")
