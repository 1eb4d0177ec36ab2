#!/usr/bin/env bash
# Runs the program on the current X display (with_xvfb.sh gives it one, of
# 1024×768 with no other mode) twice, answering the start-up question with
# Escape (No: a 640×480 window at the top-left corner) and then Return (Yes:
# the display has no 640×480 mode, so the window covers it), and quits each
# show with Esc.
# Checks the captions, the window's place and size and exit status 0, and that
# a bad INVITATION_AUDIO_OFFSET_MS is reported in one line and otherwise ignored.
set -uo pipefail
program=$1

source "$(dirname "$0")/x_windows.sh"

errors=$(mktemp)
trap 'rm -f "$errors"' EXIT

run_once() { # answer-key expected-geometry
    INVITATION_AUDIO_OFFSET_MS=20ms "$program" 2>"$errors" &
    pid=$!
    answer_question $pid "$1" || return 1
    show=$(wait_for_window "The Quendra xmas compo 2004 invitation") || { echo "no show window"; kill $pid; return 1; }
    geometry=$(xwininfo -id "$show" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4}
                                           /Width:/{w=$2} /Height:/{h=$2} END{print w "x" h "+" x "+" y}')
    if [ "$geometry" != "$2" ]; then
        echo "show window is $geometry, expected $2 after $1"; kill $pid; return 1
    fi
    sleep 0.5
    press "$show" Escape
    wait_for_exit $pid 100 || { echo "still running after Esc"; kill $pid; return 1; }
    wait $pid
    status=$?
    [ $status -eq 0 ] || { echo "exit status $status after answering $1"; return 1; }
    if [ "$(grep -c 'INVITATION_AUDIO_OFFSET_MS=20ms .*ignored' "$errors")" != 1 ]; then
        echo "the bad offset was not reported in one line:"; cat "$errors"; return 1
    fi
}

run_once Escape 640x480+0+0 && run_once Return 1024x768+0+0 && echo "ok"
