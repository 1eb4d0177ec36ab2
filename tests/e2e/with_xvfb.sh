#!/usr/bin/env bash
# Runs a command on a virtual X server of its own and stops the server
# afterwards. The screen is 1024×768×24 unless XVFB_SCREEN gives another
# (WIDTHxHEIGHTxDEPTH); Xvfb offers no display mode but the screen's own.
# The server picks a free display number itself (-displayfd) and admits only
# clients with this run's cookie, so runs started side by side never end up
# on each other's display.
# XVFB_ARGS adds server options (such as -extension GLX, for a display with
# no OpenGL).
set -uo pipefail
dir=$(mktemp -d)
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$dir"' EXIT
cookie=$(mcookie)
touch "$dir/auth"
xauth -q -f "$dir/auth" add :0 . "$cookie"
Xvfb -displayfd 3 -screen 0 "${XVFB_SCREEN:-1024x768x24}" -nolisten tcp -auth "$dir/auth" ${XVFB_ARGS:-} 3>"$dir/display" 2>"$dir/log" &
server=$!
for _ in $(seq 1 100); do
    [ -s "$dir/display" ] && break
    sleep 0.1
done
number=$(tr -d '\n' <"$dir/display")
[ -n "$number" ] || { echo "Xvfb did not start:"; cat "$dir/log"; exit 1; }
xauth -q -f "$dir/auth" add ":$number" . "$cookie"
DISPLAY=":$number" XAUTHORITY="$dir/auth" "$@"
