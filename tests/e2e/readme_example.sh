#!/usr/bin/env bash
# The README's library example, built as a user builds it: the player library
# installed alone into a fresh prefix, the example compiled from the README's
# own text with nothing but pkg-config's flags, and its output held to
# xm2wav's render of the same song.
#
#   readme_example.sh BUILD_DIR README CC XM2WAV SONG WORK_DIR
set -euo pipefail
build=$1 readme=$2 cc=$3 xm2wav=$4 song=$5 work=$6
rm -rf "$work"
mkdir -p "$work"
cmake --install "$build" --prefix "$work/prefix" --component qxm > /dev/null

# The C block of the README's library section.
awk '/^## The player as a library/ { section = 1 }
     section && /^```c$/ { code = 1; next }
     code && /^```$/ { exit }
     code' "$readme" > "$work/play.c"
test -s "$work/play.c"

PKG_CONFIG_PATH=$(dirname "$(find "$work/prefix" -name qxm.pc)")
export PKG_CONFIG_PATH
# shellcheck disable=SC2046  # the flags are words
"$cc" -std=c99 -pedantic -Wall -Wextra -Werror "$work/play.c" $(pkg-config --cflags --libs qxm) -o "$work/play"

"$work/play" "$song" > "$work/play.raw"
"$xm2wav" "$song" "$work/xm2wav.wav"
tail -c +45 "$work/xm2wav.wav" | cmp - "$work/play.raw"
# A file that is no song: one line on stderr, and a failure.
if "$work/play" "$readme" > /dev/null 2> "$work/error.txt"; then
    echo "the example played the README" >&2
    exit 1
fi
grep -q "^not an XM song" "$work/error.txt"
echo "the README's example gives the same $(stat -c %s "$work/play.raw") bytes as xm2wav"
