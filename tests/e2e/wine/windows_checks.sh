#!/usr/bin/env bash
# Runs the Windows programs under Wine, each check on a virtual X display of
# its own, with Mesa's GL behind WGL and Wine's sound going through ALSA into
# a file (asound.conf) at a real device's pace (paced_sink.py):
#   - xm2wav.exe writes the same WAV bytes as the Linux xm2wav;
#   - answering No: the show's window, the loading bar and the first picture
#     on the screen, and Esc ends the show with status 0;
#   - answering Yes: whatever mode the display grants, the show runs, closing
#     its window ends it with status 0, and the display is left as it was;
#   - the whole show ends by itself at its end with status 0, and what waveOut
#     played is the song as xm2wav.exe renders it, sample for sample (past
#     any silence Wine's mixer inserts when it falls behind);
#   - with no sound device, and with no OpenGL, the program says why in a
#     message box and on stderr and exits with status 1.
#
#   windows_checks.sh BUILD_WIN LINUX_XM2WAV SONG.xm
#
# The Wine prefix is BUILD_WIN/wineprefix; the work files go to BUILD_WIN/wine-checks.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
e2e=$(dirname "$here")

if [ "${1:-}" = --on-display ]; then
    check=$2
    shift 2
else
    check=""
fi
build=$(cd "$1" && pwd) linux_xm2wav=$2 song=$3
work=$build/wine-checks
invitation=$build/bin/invitation.exe
xm2wav=$build/bin/xm2wav.exe

export WINEPREFIX=$build/wineprefix WINEARCH=win64 WINEDEBUG=-all
export ALSA_CONFIG_PATH=$here/asound.conf INVITATION_AUDIO_FILE=/dev/null
# Debian's `wine` is a wrapper that looks for the 32-bit loader first.
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
rate_bytes=$((44100 * 4))
title="The Quendra xmas compo 2004 invitation"

source "$e2e/x_windows.sh"

fail() { echo "FAIL $check: $*"; [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null; exit 1; }

# Starts invitation.exe in the background (pid), its stderr in $work/$check.err.
start_show() {
    "$wine" "$invitation" >"$work/$check.out" 2>"$work/$check.err" &
    pid=$!
}

# Waits for the show to end by itself within $1 tenths of a second; checks its status is $2.
expect_exit() { # tenths status
    wait_for_exit "$pid" "$1" || fail "still running"
    wait "$pid"
    local status=$?
    [ "$status" -eq "$2" ] || fail "exit status $status, expected $2; stderr: $(tail -n3 "$work/$check.err")"
    pid=""
}

# The show window's client area as "x y width height" on the screen.
client_area() { # window
    xwininfo -id "$1" | awk '/Absolute upper-left X:/{x=$4} /Absolute upper-left Y:/{y=$4}
                             /Width:/{w=$2} /Height:/{h=$2} END{print x, y, w, h}'
}

# Takes $2 screenshots of the whole screen, as raw RGB, into $1-N.rgb.
screenshots() { # prefix count
    for i in $(seq 1 "$2"); do import -window root -depth 8 "rgb:$1-$i.rgb"; done
}

# The checks on the screen, in the picture's 640×480 space: the loading bar
# (dark red across the bar's rows, black above and below it) in some shot,
# and the show's first picture (sky over grass, before the camera first
# flies) in a later one.
check_pictures() { # prefix count "x y w h"
    python3 - "$1" "$2" $3 <<'PY' || fail "pictures"
import sys
prefix, count, x0, y0 = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
W = 1024
shots = [open(f"{prefix}-{i}.rgb", "rb").read() for i in range(1, count + 1)]
def px(shot, x, y):
    o = ((y0 + y) * W + x0 + x) * 3
    return tuple(shot[o:o + 3])
def near(c, want, tolerance=24):
    return all(abs(a - b) <= tolerance for a, b in zip(c, want))
# The bar, bright or faded (the last loading picture, at 1/64, stays up for
# half a second), on black. The bar is drawn at (128, 0, 0), and its last
# faded picture comes out at (2, 0, 0).
def loading(shot):
    r, g, b = px(shot, 10, 240)
    return (r >= 1 and g == 0 and b == 0 and px(shot, 10, 240) == px(shot, 630, 210)
            and px(shot, 10, 120) == (0, 0, 0) and px(shot, 10, 300) == (0, 0, 0))
def first_picture(shot):
    return near(px(shot, 20, 100), (140, 140, 255)) and near(px(shot, 600, 420), (56, 165, 1))
bar = next((i for i, s in enumerate(shots) if loading(s)), None)
if bar is None:
    sys.exit("no screenshot shows the loading bar")
show = next((i for i, s in enumerate(shots) if i > bar and first_picture(s)), None)
if show is None:
    last = shots[-1]
    sys.exit(f"the show's first picture does not follow: last sky {px(last, 20, 100)}, grass {px(last, 600, 420)}")
print(f"loading bar in screenshot {bar + 1}, the show's first picture in {show + 1}")
PY
}

# ---- the checks ----------------------------------------------------------

xm2wav_matches_linux() {
    "$linux_xm2wav" "$song" "$work/song-linux.wav" || fail "Linux xm2wav"
    "$wine" "$xm2wav" "$song" "$work/song-windows.wav" || fail "xm2wav.exe"
    cmp -s "$work/song-linux.wav" "$work/song-windows.wav" || fail "the WAV files differ"
}

answer_no_shows_window_and_quits_on_esc() {
    start_show
    answer_question "$pid" n || fail "no question box"
    local show
    show=$(wait_for_window "$title") || fail "no show window"
    local area
    area=$(client_area "$show")
    [ "$(echo "$area" | cut -d' ' -f3-)" = "640 480" ] || fail "client area $area"
    screenshots "$work/no" 40
    check_pictures "$work/no" 40 "$area"
    rm -f "$work"/no-*.rgb
    press "$show" Escape
    expect_exit 100 0
}

answer_yes_runs_and_leaves_display() {
    local before after
    before=$(xdpyinfo | grep dimensions)
    start_show
    answer_question "$pid" Return || fail "no question box"
    local show
    show=$(wait_for_window "$title") || fail "no show window"
    sleep 3
    kill -0 "$pid" 2>/dev/null || fail "the show ended early"
    echo "with Yes: display $(xdpyinfo | awk '/dimensions/{print $2}'), client area $(client_area "$show")"
    # Closing the window (Alt+F4) ends the show as Esc does.
    press "$show" alt+F4
    expect_exit 100 0
    after=$(xdpyinfo | grep dimensions)
    [ "$before" = "$after" ] || fail "display was '$before', now '$after'"
}

whole_show_sounds_as_rendered() {
    local fifo=$work/device.fifo audio=$work/device.raw
    rm -f "$fifo" "$audio"
    mkfifo "$fifo"
    python3 "$here/paced_sink.py" "$fifo" "$audio" "$rate_bytes" &
    local sink=$!
    INVITATION_AUDIO_FILE=$fifo start_show
    answer_question "$pid" n || { kill $sink; fail "no question box"; }
    # The song reaches the show's end after about 105 s.
    wait_for_exit "$pid" 1800 || { kill $sink; fail "the show did not end by itself"; }
    sleep 1
    kill $sink
    expect_exit 10 0
    "$wine" "$xm2wav" "$song" "$work/song-until.wav" --until "$(python3 "$e2e/show_end.py")" ||
        fail "xm2wav.exe --until"
    # Wine's mixer puts a period of silence in where it falls behind (under
    # load); everything waveOut played must still be there, in order.
    python3 "$e2e/compare_audio.py" "$audio" "$work/song-until.wav" --allow-underruns || fail "sound"
    rm -f "$audio"
}

# Takes the failure box (caption "invitation"), checks stderr holds $1, and expects status 1.
expect_start_failure() { # line
    local box
    box=$(wait_for_window "invitation") || fail "no failure box"
    sleep 0.3
    press "$box" Return
    expect_exit 100 1
    # Windows ends text lines with CR LF.
    tr -d '\r' <"$work/$check.err" | grep -qxF "$1" || fail "stderr: $(cat "$work/$check.err")"
}

no_sound_device_fails_start() {
    ALSA_CONFIG_PATH=$here/no_sound.conf start_show
    answer_question "$pid" n || fail "no question box"
    expect_start_failure "invitation: cannot set up the music player: no sound device at 44100 Hz, 16-bit stereo"
}

no_opengl_fails_start() {
    start_show
    answer_question "$pid" n || fail "no question box"
    expect_start_failure "invitation: cannot open the 640x480 OpenGL window: no OpenGL pixel format"
}

# ---- running them ----------------------------------------------------------

wineserver=$(dirname "$(readlink -f "$wine")")/wineserver
mkdir -p "$work"
if [ -n "$check" ]; then
    # Wine's processes for this display end with the check, before the display.
    trap '"$wineserver" -k 2>/dev/null; "$wineserver" -w 2>/dev/null' EXIT
    "$check"
    echo "ok $check"
    exit 0
fi

# Wine's first start builds the prefix: slow, and done once.
# Without a display and with Mono and Gecko left out, it asks nothing.
[ -d "$WINEPREFIX/drive_c" ] || DISPLAY= WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" wineboot -i >/dev/null 2>&1

passed=0 failed=0
run() { # [XVFB_ARGS] check
    local xvfb_args=""
    if [ $# -eq 2 ]; then xvfb_args=$1; shift; fi
    if XVFB_ARGS=$xvfb_args timeout 600 bash "$e2e/with_xvfb.sh" bash "$0" --on-display "$1" "$build" "$linux_xm2wav" "$song"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
    fi
}
run xm2wav_matches_linux
run answer_no_shows_window_and_quits_on_esc
run answer_yes_runs_and_leaves_display
run no_sound_device_fails_start
run "-extension GLX" no_opengl_fails_start
run whole_show_sounds_as_rendered
echo "wine: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
