#!/usr/bin/env bash
# Plays the whole show in real time on the current X display with SDL's disk
# audio driver, answering the start-up question with No, and checks that it
# ends by itself at 10/16 with status 0 and that the audio the device took,
# from the start of playback to the end of the show, is the song as xm2wav
# renders it offline, sample for sample.
#   full_show.sh INVITATION XM2WAV SONG.xm WORKDIR
set -uo pipefail
program=$1 xm2wav=$2 song=$3 work=$4
mkdir -p "$work"
audio="$work/device.raw"
rm -f "$audio"

source "$(dirname "$0")/x_windows.sh"

SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$audio" "$program" &
pid=$!
answer_question $pid Escape || exit 1
# The song reaches 10/16 after about 105 s.
wait_for_exit $pid 1500 || { echo "the show did not end by itself"; kill $pid; exit 1; }
wait $pid
status=$?
[ $status -eq 0 ] || { echo "exit status $status"; exit 1; }

"$xm2wav" "$song" "$work/song.wav" --until 10/16 || exit 1
python3 - "$audio" "$work/song.wav" <<'PY'
import sys
device = open(sys.argv[1], 'rb').read()
wav = open(sys.argv[2], 'rb').read()
song = wav[44:]
frame = 4
def first_sound(data):
    for i in range(0, len(data) - frame + 1, frame):
        if data[i:i + frame] != b'\0' * frame:
            return i
    return -1
# Before playback the device took silence; playback starts at the song's first frame.
start = first_sound(device) - first_sound(song)
if first_sound(device) < 0 or start < 0:
    sys.exit("no song in what the device took")
# The show ends once the block holding 10/16 is heard; compare up to two
# blocks (of 884 frames) before that point.
span = len(song) - 2 * 884 * frame
took = device[start:start + span]
if len(took) < span:
    sys.exit(f"the device took {len(took) // frame} frames of song, expected {span // frame}")
if took != song[:span]:
    first = next(i for i in range(0, span, frame) if took[i:i + frame] != song[i:i + frame])
    sys.exit(f"the device's audio differs from the song at frame {first // frame} of {span // frame}")
print(f"ok: {span // frame} frames heard as rendered")
PY
