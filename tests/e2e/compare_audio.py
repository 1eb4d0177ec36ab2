#!/usr/bin/env python3
"""Checks that what a sound device took is the song as xm2wav renders it.

    compare_audio.py DEVICE.raw SONG.wav [--allow-underruns] [--late-at-most MS]

DEVICE.raw holds 16-bit stereo frames as the device took them; SONG.wav is
the song rendered offline up to the end of the show (xm2wav --until with
show_end.py's position). Before playback the device may take silence; from
the song's first sound on, the two must agree sample for sample up to two
blocks (of 884 frames) before the song's end, the point at which the show
ends once it is heard.

With --allow-underruns, runs of silence that the sound system put between the
program's samples when it fell behind (as Wine's mixer does, a period at a
time) are listed and passed over; everything the program wrote must still be
there, in order, unchanged.

With --late-at-most, the device must also have stopped taking sound within MS
milliseconds of the song's end. The show ends when its pictures reach the end:
pictures that run behind the sound end it late, while the device plays on
(pictures that run ahead end it before the song's end is heard).
"""
import sys

FRAME = 4
MAX_UNDERRUN_FRAMES = 4410   # 100 ms: longer silences are faults, not hiccups
MAX_UNDERRUNS = 20
device = open(sys.argv[1], 'rb').read()
song = open(sys.argv[2], 'rb').read()[44:]
allow_underruns = '--allow-underruns' in sys.argv[3:]
late_at_most_ms = int(sys.argv[sys.argv.index('--late-at-most') + 1]) if '--late-at-most' in sys.argv else None


def first_sound(data):
    for i in range(0, len(data) - FRAME + 1, FRAME):
        if data[i:i + FRAME] != b'\0' * FRAME:
            return i
    return -1


def first_difference(a, b):
    """The first frame at which equal-length byte strings a and b differ, or -1."""
    if a == b:
        return -1
    lo, hi = 0, len(a) // FRAME  # a difference lies in frames [lo, hi)
    while hi - lo > 1:
        mid = (lo + hi) // 2
        if a[lo * FRAME:mid * FRAME] != b[lo * FRAME:mid * FRAME]:
            hi = mid
        else:
            lo = mid
    return lo


start = first_sound(device) - first_sound(song)
if first_sound(device) < 0 or start < 0:
    sys.exit("no song in what the device took")
span = (len(song) - 2 * 884 * FRAME) // FRAME  # frames of song to find
took = device[start:]
underruns = []
heard = 0  # frames of song matched so far
while True:
    rest = min(span - heard, len(took) // FRAME - heard - sum(underruns))
    offset = (heard + sum(underruns)) * FRAME
    difference = first_difference(took[offset:offset + rest * FRAME], song[heard * FRAME:(heard + rest) * FRAME])
    if difference < 0:
        heard += rest
        if heard < span:
            sys.exit(f"the device took {heard} frames of song, expected {span}")
        break
    heard += difference
    at = offset + difference * FRAME
    silence = 0
    while silence < MAX_UNDERRUN_FRAMES and took[at + silence * FRAME:at + (silence + 1) * FRAME] == b'\0' * FRAME:
        silence += 1
    # The shortest skip of silence after which the song goes on.
    check = song[heard * FRAME:(heard + 884) * FRAME]
    skip = next((s for s in range(1, silence + 1)
                 if took[at + s * FRAME:at + s * FRAME + len(check)] == check), None)
    if not allow_underruns or skip is None or len(underruns) == MAX_UNDERRUNS:
        sys.exit(f"the device's audio differs from the song at frame {heard} of {span}")
    underruns.append(skip)
if underruns:
    print(f"underruns of the sound system passed over: {len(underruns)}, "
          f"{sum(underruns)} frames of silence ({', '.join(map(str, underruns))})")
if late_at_most_ms is not None:
    song_end = (len(song) // FRAME + sum(underruns)) * FRAME
    last_sound = len(took.rstrip(b'\0'))
    late_ms = max(0, last_sound - song_end) // FRAME * 1000 // 44100
    if late_ms > late_at_most_ms:
        sys.exit(f"the device played on {late_ms} ms past the song's end: the pictures ran behind the sound")
    print(f"the device stopped {late_ms} ms after the song's end")
print(f"ok: {span} frames heard as rendered")
