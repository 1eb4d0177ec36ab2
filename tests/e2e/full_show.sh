#!/usr/bin/env bash
# Plays the whole show in real time on the current X display with SDL's disk
# audio driver, answering the start-up question with No, and checks that it
# ends by itself at the show's end (show_end.py) with status 0 and that the
# audio the device took, from the start of playback to the end of the show, is
# the song as xm2wav renders it offline, sample for sample.
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
# The song reaches the show's end after about 105 s.
wait_for_exit $pid 1500 || { echo "the show did not end by itself"; kill $pid; exit 1; }
wait $pid
status=$?
[ $status -eq 0 ] || { echo "exit status $status"; exit 1; }

"$xm2wav" "$song" "$work/song.wav" --until "$(python3 "$(dirname "$0")/show_end.py")" || exit 1
python3 "$(dirname "$0")/compare_audio.py" "$audio" "$work/song.wav"
