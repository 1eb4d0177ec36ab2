#!/usr/bin/env python3
"""Checks that what a sound device took is the song as xm2wav renders it.

    compare_audio.py DEVICE.raw SONG.wav

DEVICE.raw holds 16-bit stereo frames as the device took them; SONG.wav is
the song rendered offline up to the end of the show (--until 10/16). Before
playback the device may take silence; from the song's first sound on, the two
must agree sample for sample up to two blocks (of 884 frames) before the
song's end, the point at which the show ends once it is heard.
"""
import sys

FRAME = 4
device = open(sys.argv[1], 'rb').read()
song = open(sys.argv[2], 'rb').read()[44:]


def first_sound(data):
    for i in range(0, len(data) - FRAME + 1, FRAME):
        if data[i:i + FRAME] != b'\0' * FRAME:
            return i
    return -1


start = first_sound(device) - first_sound(song)
if first_sound(device) < 0 or start < 0:
    sys.exit("no song in what the device took")
span = len(song) - 2 * 884 * FRAME
took = device[start:start + span]
if len(took) < span:
    sys.exit(f"the device took {len(took) // FRAME} frames of song, expected {span // FRAME}")
if took != song[:span]:
    first = next(i for i in range(0, span, FRAME) if took[i:i + FRAME] != song[i:i + FRAME])
    sys.exit(f"the device's audio differs from the song at frame {first // FRAME} of {span // FRAME}")
print(f"ok: {span // FRAME} frames heard as rendered")
