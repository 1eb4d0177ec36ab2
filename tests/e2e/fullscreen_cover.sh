#!/usr/bin/env bash
# Answers Yes on a display that has no 640×480 mode (with_xvfb.sh with
# XVFB_SCREEN=1920x1080x24) and checks that the show covers the display: its
# window fills the screen, carries the show's class name, and screenshots of
# the root window show the picture scaled to the centred 1440×1080 area with
# black beside it; Esc then ends the show with status 0.
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
found=0
for attempt in $(seq 1 15); do
    sleep 1
    import -window root "$work/screen.png" || fail "no screenshot"
    convert "$work/screen.png" -depth 8 rgb:"$work/screen.rgb" || fail "cannot read the screenshot"
    verdict=$(python3 - "$work/screen.rgb" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
W, H = 1920, 1080
left, right = 240, 1680           # the 1440x1080 area at 4:3, centred
def lit(x, y):
    i = (y * W + x) * 3
    return data[i] | data[i + 1] | data[i + 2]
for y in range(0, H, 3):
    for x in list(range(0, left)) + list(range(right, W)):
        if lit(x, y) > 8:
            print(f"bars: lit pixel at ({x}, {y}) outside the picture"); sys.exit()
# The picture reaches each edge of its area (a scene that fills it).
edges = {'left': [(left, y) for y in range(H)], 'right': [(right - 1, y) for y in range(H)],
         'top': [(x, 0) for x in range(left, right)], 'bottom': [(x, H - 1) for x in range(left, right)]}
dark = [name for name, pixels in edges.items() if not any(lit(x, y) > 8 for x, y in pixels)]
print("filled" if not dark else "dark edges: " + " ".join(dark))
PY
)
    case $verdict in
        filled) found=1; break ;;
        bars:*) fail "$verdict" ;;
    esac
done
[ $found -eq 1 ] || fail "the picture never filled the 1440x1080 area ($verdict)"

press "$show" Escape
wait_for_exit $pid 100 || fail "still running after Esc"
wait $pid
status=$?
[ $status -eq 0 ] || { echo "exit status $status"; exit 1; }
echo "ok: the picture fills the centred 1440x1080 area, black beside it"
