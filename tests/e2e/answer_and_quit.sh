#!/usr/bin/env bash
# Runs the program on the current X display (with_xvfb.sh gives it one) twice,
# answering the start-up question with Escape (No) and then Return (Yes:
# full-screen, or a window where the display has no 640×480 mode), and quits
# each show with Esc.
# Checks the captions, the 640×480 client area and exit status 0.
set -uo pipefail
program=$1

source "$(dirname "$0")/x_windows.sh"

run_once() { # answer key
    "$program" &
    pid=$!
    answer_question $pid "$1" || return 1
    show=$(wait_for_window "The Quendra xmas compo 2004 invitation") || { echo "no show window"; kill $pid; return 1; }
    size=$(xwininfo -id "$show" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w "x" h}')
    if [ "$size" != "640x480" ] && [ "$size" != "1024x768" ]; then
        echo "show window is $size"; kill $pid; return 1
    fi
    sleep 0.5
    press "$show" Escape
    wait_for_exit $pid 100 || { echo "still running after Esc"; kill $pid; return 1; }
    wait $pid
    status=$?
    [ $status -eq 0 ] || { echo "exit status $status after answering $1"; return 1; }
}

run_once Escape && run_once Return && echo "ok"
