#!/usr/bin/env bash
# Runs the program on the current X display (with_xvfb.sh gives it one) twice,
# answering the start-up question with Escape (No) and then Return (Yes:
# full-screen, or a window where the display has no 640×480 mode), and quits
# each show with Esc.
# Checks the captions, the 640×480 client area and exit status 0.
set -uo pipefail
program=$1

# Prints the id of the first window whose name is exactly $1, waiting up to 10 s.
wait_for_window() {
    for _ in $(seq 1 100); do
        id=$(xwininfo -root -tree | grep -F "\"$1\"" | awk '{print $1}' | head -n1)
        if [ -n "$id" ]; then echo "$id"; return 0; fi
        sleep 0.1
    done
    return 1
}

press() { # window key
    xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"
    xdotool key "$2"
}

run_once() { # answer key
    "$program" &
    pid=$!
    box=$(wait_for_window "Enter the Quendra xmas compo 2004!") || { echo "no question box"; kill $pid; return 1; }
    sleep 0.3
    press "$box" "$1"
    show=$(wait_for_window "The Quendra xmas compo 2004 invitation") || { echo "no show window"; kill $pid; return 1; }
    size=$(xwininfo -id "$show" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w "x" h}')
    if [ "$size" != "640x480" ] && [ "$size" != "1024x768" ]; then
        echo "show window is $size"; kill $pid; return 1
    fi
    sleep 0.5
    press "$show" Escape
    for _ in $(seq 1 100); do
        kill -0 $pid 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 $pid 2>/dev/null; then echo "still running after Esc"; kill $pid; return 1; fi
    wait $pid
    status=$?
    [ $status -eq 0 ] || { echo "exit status $status after answering $1"; return 1; }
}

run_once Escape && run_once Return && echo "ok"
