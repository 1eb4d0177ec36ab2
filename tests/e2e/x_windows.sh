# Helpers for driving the program on an X display with no window manager.
# Sourced by the end-to-end scripts.

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

# Answers the start-up question of the program running as $1 with key $2.
answer_question() { # pid key
    local box
    box=$(wait_for_window "Enter the Quendra xmas compo 2004!") || { echo "no question box"; kill "$1"; return 1; }
    sleep 0.3
    press "$box" "$2"
}

# Waits up to $2 tenths of a second for process $1 to end.
wait_for_exit() { # pid tenths
    for _ in $(seq 1 "$2"); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.1
    done
    ! kill -0 "$1" 2>/dev/null
}

# Waits up to 15 s for a screenshot of the whole width × height screen in
# which the show's picture fills the centred 4:3 area with black beside it
# (covered_display.py). Prints the last verdict; fails at once on lit bars.
wait_for_covering_picture() { # workdir width height [min_hard_steps]
    local verdict="no screenshot"
    for _ in $(seq 1 15); do
        sleep 1
        import -window root -depth 8 "rgb:$1/screen.rgb" || continue
        verdict=$(python3 "$(dirname "${BASH_SOURCE[0]}")/covered_display.py" "$1/screen.rgb" "$2" "$3" ${4:-})
        case $verdict in
            filled) echo "$verdict"; return 0 ;;
            bars:* | soft:*) break ;;
        esac
    done
    echo "$verdict"
    return 1
}
