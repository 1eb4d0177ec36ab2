#!/usr/bin/env bash
# Answers Yes on a display that has no 640×480 mode (with_xvfb.sh with
# XVFB_SCREEN=1920x1080x24) and checks that the show covers the display: its
# window fills the screen, carries the show's class name, and screenshots of
# the root window show the picture scaled to the centred 1440×1080 area with
# black beside it, drawn at 1440x1080 (sharp edges, which the 640x480 picture
# stretched would not have); Esc then ends the show with status 0.
#   fullscreen_cover.sh INVITATION WORKDIR
set -uo pipefail
program=$1 work=$2
mkdir -p "$work"
source "$(dirname "$0")/x_windows.sh"

fail() { echo "$1"; kill $pid 2>/dev/null; exit 1; }

"$program" &
pid=$!
answer_question $pid Return || exit 1
show=$(wait_for_window "The Quendra xmas compo 2004 invitation") || fail "no show window"
geometry=$(xwininfo -id "$show" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4}
                                       /Width:/{w=$2} /Height:/{h=$2} END{print w "x" h "+" x "+" y}')
[ "$geometry" = "1920x1080+0+0" ] || fail "show window is $geometry, not the whole 1920x1080 screen"
xprop -id "$show" WM_CLASS | grep -q '"quillmongersinthahouse", "quillmongersinthahouse"' ||
    fail "window class: $(xprop -id "$show" WM_CLASS)"

# The first scenes fill the whole picture: wait for one whose edges show.
verdict=$(wait_for_covering_picture "$work" 1920 1080 200) ||
    fail "the picture does not fill the centred 1440x1080 area alone, drawn at its size: $verdict"

press "$show" Escape
wait_for_exit $pid 100 || fail "still running after Esc"
wait $pid
status=$?
[ $status -eq 0 ] || { echo "exit status $status"; exit 1; }
echo "ok: the picture is drawn at 1440x1080 and fills the centred area, black beside it"
