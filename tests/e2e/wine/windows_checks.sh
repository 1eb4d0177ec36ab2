#!/usr/bin/env bash
# Runs the Windows programs under Wine on one virtual X display of 1280×1024
# (5:4, so a picture scaled 4:3 onto it has black bars), with Mesa's GL behind
# WGL and Wine's sound going through ALSA into a file (asound.conf) at a real
# device's pace (paced_sink.py). window_probe.exe tells what Windows knows of
# the show's windows (styles, sizes, the question's text):
#   - xm2wav.exe writes the same WAV bytes as the Linux xm2wav, and refuses an
#     empty file, a text file, a truncated header and a missing file with the
#     Linux xm2wav's one line and status 1;
#   - the question asks its question; Esc on it answers No: a captioned window
#     with a 640×480 client area, the loading bar and "Init..." and the first
#     picture on the screen, and Esc ends the show with status 0;
#   - Esc during the loading ends the show with status 0;
#   - Yes where the display refuses 640×480: a borderless top-most window over
#     the whole display, the picture scaled 4:3 and centred on black; closing
#     it ends the show with status 0 and leaves the display as it was;
#   - Yes in a Wine virtual desktop of 1024×768, which grants the mode: the
#     display becomes 640×480 under a borderless top-most window; another
#     program taking the focus gets the desktop's size back while the show is
#     minimised, and giving the focus back brings the show back at 640×480;
#     the whole show ends by itself at its end with status 0, and the desktop
#     has its size back. What waveOut played is the song as xm2wav.exe
#     renders it, sample for sample (past any silence Wine's mixer inserts
#     when it falls behind), and it stopped soon after the song's end: the
#     pictures, which end the show, ran neither ahead of the sound nor behind;
#   - with no sound device, and with no OpenGL (a display of its own), the
#     program says why in a message box and on stderr and exits with status 1.
#
#   windows_checks.sh BUILD_WIN LINUX_XM2WAV SONG.xm
#
# The Wine prefix is BUILD_WIN/wineprefix; the work files go to BUILD_WIN/wine-checks.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
e2e=$(dirname "$here")

mode=all
case ${1:-} in
    --on-display) mode=display checks=$2; shift 2 ;; # these checks on the current display
    --check) mode=check check=$2; shift 2 ;;         # one check on the current display
esac
build=$(cd "$1" && pwd) linux_xm2wav=$(readlink -f "$2") song=$(readlink -f "$3")
work=$build/wine-checks
invitation=$build/bin/invitation.exe
xm2wav=$build/bin/xm2wav.exe
probe=$build/bin/window_probe.exe

export WINEPREFIX=$build/wineprefix WINEARCH=win64 WINEDEBUG=-all
export ALSA_CONFIG_PATH=$here/asound.conf INVITATION_AUDIO_FILE=/dev/null
# Debian's `wine` is a wrapper that looks for the 32-bit loader first.
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(dirname "$(readlink -f "$wine")")/wineserver
rate_bytes=$((44100 * 4))
title="The Quendra xmas compo 2004 invitation"
question_caption="Enter the Quendra xmas compo 2004!"

source "$e2e/x_windows.sh"

fail() {
    echo "FAIL $check: $*"
    [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
    [ -n "${sink:-}" ] && kill "$sink" 2>/dev/null
    exit 1
}

# What window_probe.exe says, in Unix lines.
probe() { "$wine" "$probe" "$@" | tr -d '\r'; }

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

# Checks that window_probe.exe's line on the show's window ($1: "window" or
# the away/back lines of "take-focus") holds every "key=value" of $2.
expect_window() { # probe-output "key=value ..."
    local field
    for field in $2; do
        [[ " $1 " == *" $field "* ]] || fail "expected $field, window_probe says: $1"
    done
}

screen_size() { xdpyinfo | awk '/dimensions/{print $2}'; }

# The window $1's client area as "x y width height" on the screen.
client_area() { # window
    xwininfo -id "$1" | awk '/Absolute upper-left X:/{x=$4} /Absolute upper-left Y:/{y=$4}
                             /Width:/{w=$2} /Height:/{h=$2} END{print x, y, w, h}'
}

# The checks on the screen, in the picture's 640×480 space at (x, y) of a
# screen $2 pixels wide, in screenshots taken one after another for up to
# 30 s: the loading bar (dark red across the bar's rows, black above and
# below it) with "Init..." over it in one shot, and the show's first picture
# (sky over grass, before the camera first flies) in a later one.
check_pictures() { # workfile screen-width "x y w h"
    python3 - "$1" "$2" $3 <<'PY' || fail "pictures"
import subprocess, sys, time
work, W, x0, y0 = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
def px(shot, x, y):
    o = ((y0 + y) * W + x0 + x) * 3
    return tuple(shot[o:o + 3])
def near(c, want, tolerance=24):
    return all(abs(a - b) <= tolerance for a, b in zip(c, want))
# "Init..." at (16, 64), its baseline: grey pixels (white, or faded) from
# about x = 16, at least 15 rows tall, ending on the baseline, in the top
# left corner that is otherwise black.
def init_text(shot):
    corner = {(x, y): px(shot, x, y) for y in range(0, 100) for x in range(0, 160)}
    lit = [at for at, c in corner.items() if c != (0, 0, 0)]
    if not lit or any(len(set(corner[at])) != 1 for at in lit):
        return False
    xs, ys = [x for x, _ in lit], [y for _, y in lit]
    return 14 <= min(xs) <= 22 and max(ys) in (63, 64, 65) and max(ys) - min(ys) >= 14 and max(xs) < 120
# The bar, bright or faded (the last loading picture, at 1/64, stays up for
# half a second), on black. The bar is drawn at (128, 0, 0), and its last
# faded picture comes out at (2, 0, 0).
def loading(shot):
    r, g, b = px(shot, 10, 240)
    return (r >= 1 and g == 0 and b == 0 and px(shot, 10, 240) == px(shot, 630, 210)
            and px(shot, 10, 120) == (0, 0, 0) and px(shot, 10, 300) == (0, 0, 0) and init_text(shot))
def first_picture(shot):
    return near(px(shot, 20, 100), (140, 140, 255)) and near(px(shot, 600, 420), (56, 165, 1))
def screenshot():
    subprocess.run(["import", "-window", "root", "-depth", "8", f"rgb:{work}"], check=True)
    return open(work, "rb").read()
deadline, bar, shots = time.monotonic() + 30, None, 0
while time.monotonic() < deadline:
    shot = screenshot()
    shots += 1
    if bar is None and loading(shot):
        bar = shots
    elif bar is not None and first_picture(shot):
        print(f"loading bar and \"Init...\" in screenshot {bar}, the show's first picture in {shots}")
        sys.exit()
if bar is None:
    sys.exit("no screenshot shows the loading bar under \"Init...\"")
sys.exit(f"the show's first picture does not follow: last sky {px(shot, 20, 100)}, grass {px(shot, 600, 420)}")
PY
}

# Runs the rest of the check in a Wine virtual desktop of $1 (WIDTHxHEIGHT),
# as a user who turned it on would: the registry setting holds for every
# program the prefix starts until the check ends.
use_virtual_desktop() { # size
    "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null &&
        "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$1" /f >/dev/null ||
        fail "cannot turn on the virtual desktop"
    # The desktop comes up with the next program, once the server has restarted.
    "$wineserver" -k 2>/dev/null
    "$wineserver" -w 2>/dev/null
    trap '"$wine" reg delete "HKCU\Software\Wine\Explorer" /v Desktop /f >/dev/null 2>&1
          "$wineserver" -k 2>/dev/null; "$wineserver" -w 2>/dev/null' EXIT
}

# The virtual desktop's X window size, as WIDTHxHEIGHT.
desktop_size() {
    xwininfo -root -tree | awk '/"Default - Wine desktop"/{split($(NF-1), g, "+"); print g[1]; exit}'
}

# ---- the checks ----------------------------------------------------------

xm2wav_renders_as_on_linux_and_refuses_bad_files() {
    "$linux_xm2wav" "$song" "$work/song-linux.wav" || fail "Linux xm2wav"
    "$wine" "$xm2wav" "$song" "$work/song-windows.wav" || fail "xm2wav.exe"
    cmp -s "$work/song-linux.wav" "$work/song-windows.wav" || fail "the WAV files differ"
    # Run from the work folder, so that both name the files alike.
    cd "$work" || fail "no work folder"
    : >empty.xm
    echo "Not a song, only a line of text." >text.xm
    head -c 100 "$song" >truncated.xm
    rm -f missing.xm refused.wav
    local bad expected status
    for bad in empty.xm text.xm truncated.xm missing.xm; do
        expected=$("$linux_xm2wav" "$bad" refused.wav 2>&1)
        "$wine" "$xm2wav" "$bad" refused.wav >"$check.out" 2>"$check.err"
        status=$?
        [ "$status" -eq 1 ] || fail "$bad: exit status $status, expected 1"
        [ "$(tr -d '\r' <"$check.err")" = "$expected" ] && [ "$(wc -l <"$check.err")" -eq 1 ] ||
            fail "$bad: stderr '$(cat "$check.err")', expected the one line '$expected'"
        [ ! -s "$check.out" ] && [ ! -e refused.wav ] || fail "$bad: output left behind"
    done
}

question_asks_and_escape_answers_no() {
    start_show
    wait_for_window "$question_caption" >/dev/null || fail "no question box"
    local text
    text=$(probe text "$question_caption")
    [ "$text" = "Would you like full-screen stupidity?" ] || fail "the question says '$text'"
    # Esc on a yes/no box answers No.
    answer_question "$pid" Escape || fail "no question box"
    local show
    show=$(wait_for_window "$title") || fail "no show window"
    local area
    area=$(client_area "$show")
    [ "$(echo "$area" | cut -d' ' -f3-)" = "640 480" ] || fail "client area $area"
    # The loading is short: its pictures first.
    check_pictures "$work/screen.rgb" "$(screen_size | cut -dx -f1)" "$area"
    expect_window "$(probe window "$title")" "frame=caption topmost=0 client=640,480"
    press "$show" Escape
    expect_exit 100 0
}

escape_during_loading_ends_the_show() {
    start_show
    answer_question "$pid" n || fail "no question box"
    local show
    show=$(wait_for_window "$title") || fail "no show window"
    press "$show" Escape
    expect_exit 100 0
}

answer_yes_covers_a_display_without_the_mode() {
    local before
    before=$(screen_size)
    start_show
    answer_question "$pid" Return || fail "no question box"
    local show width=${before%x*} height=${before#*x}
    show=$(wait_for_window "$title") || fail "no show window"
    expect_window "$(probe window "$title")" \
        "frame=popup topmost=1 iconic=0 window=0,0,$width,$height display=$width,$height"
    local verdict
    verdict=$(wait_for_covering_picture "$work" "$width" "$height") ||
        fail "the picture does not fill the display's centred 4:3 area alone: $verdict"
    # Closing the window (Alt+F4) ends the show as Esc does.
    press "$show" alt+F4
    expect_exit 100 0
    [ "$(screen_size)" = "$before" ] || fail "display was $before, now $(screen_size)"
}

whole_show_in_a_granted_mode() {
    use_virtual_desktop 1024x768
    local fifo=$work/device.fifo audio=$work/device.raw
    rm -f "$fifo" "$audio"
    mkfifo "$fifo"
    python3 "$here/paced_sink.py" "$fifo" "$audio" "$rate_bytes" >"$work/sink.log" 2>&1 &
    sink=$!
    INVITATION_AUDIO_FILE=$fifo start_show
    answer_question "$pid" Return || fail "no question box"
    wait_for_window "$title" >/dev/null || fail "no show window"
    expect_window "$(probe window "$title")" \
        "frame=popup topmost=1 iconic=0 window=0,0,640,480 display=640,480"
    [ "$(desktop_size)" = 640x480 ] || fail "the desktop is $(desktop_size), not 640x480"
    # A program of its own keeps the desktop up after the show and tells its size then.
    probe after-exit "$title" >"$work/after-exit.txt" 2>&1 &
    local after=$!
    # Some way into the show, another program takes the focus and gives it back.
    sleep 20
    local lines
    lines=$(probe take-focus "$title")
    expect_window "$(echo "$lines" | grep '^away: ')" "iconic=1 display=1024,768"
    expect_window "$(echo "$lines" | grep '^back: ')" "iconic=0 window=0,0,640,480 display=640,480"
    [ "$(desktop_size)" = 640x480 ] || fail "back in the show, the desktop is $(desktop_size)"
    # The song reaches the show's end after about 105 s.
    wait_for_exit "$pid" 1500 || fail "the show did not end by itself"
    sleep 1
    kill $sink
    sink=""
    expect_exit 10 0
    wait $after
    [ "$(tr -d '\r' <"$work/after-exit.txt")" = "after exit: display=1024,768" ] ||
        fail "$(cat "$work/after-exit.txt")"
    "$wine" "$xm2wav" "$song" "$work/song-until.wav" --until "$(python3 "$e2e/show_end.py")" ||
        fail "xm2wav.exe --until"
    # Wine's mixer puts a period of silence in where it falls behind (under
    # load); everything waveOut played must still be there, in order.
    python3 "$e2e/compare_audio.py" "$audio" "$work/song-until.wav" --allow-underruns --late-at-most 400 ||
        fail "sound"
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

mkdir -p "$work"
if [ $mode = check ]; then
    # Wine's processes end with the check, so the next one starts afresh.
    trap '"$wineserver" -k 2>/dev/null; "$wineserver" -w 2>/dev/null' EXIT
    "$check"
    echo "ok $check"
    exit 0
fi
if [ $mode = display ]; then
    # No virtual desktop left on from a check that ended abruptly.
    "$wine" reg delete 'HKCU\Software\Wine\Explorer' /v Desktop /f >/dev/null 2>&1
    failed=0
    for check in $checks; do
        timeout 600 bash "$0" --check "$check" "$build" "$linux_xm2wav" "$song" || failed=$((failed + 1))
    done
    exit $failed
fi

# Wine's first start builds the prefix: slow, and done once.
# Without a display and with Mono and Gecko left out, it asks nothing.
[ -d "$WINEPREFIX/drive_c" ] || DISPLAY= WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" wineboot -i >/dev/null 2>&1

started=$(date +%s) failed=0 total=0
on_display() { # [XVFB_ARGS] checks
    local xvfb_args=""
    if [ $# -eq 2 ]; then xvfb_args=$1; shift; fi
    XVFB_SCREEN=1280x1024x24 XVFB_ARGS=$xvfb_args bash "$e2e/with_xvfb.sh" \
        bash "$0" --on-display "$1" "$build" "$linux_xm2wav" "$song"
    failed=$((failed + $?)) total=$((total + $(wc -w <<<"$1")))
}
on_display "xm2wav_renders_as_on_linux_and_refuses_bad_files question_asks_and_escape_answers_no
            escape_during_loading_ends_the_show answer_yes_covers_a_display_without_the_mode
            no_sound_device_fails_start whole_show_in_a_granted_mode"
on_display "-extension GLX" no_opengl_fails_start
echo "wine: $((total - failed)) passed, $failed failed, in $(($(date +%s) - started)) s"
[ "$failed" -eq 0 ]
