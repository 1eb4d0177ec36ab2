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
