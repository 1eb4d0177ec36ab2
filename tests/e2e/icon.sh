#!/usr/bin/env bash
# Draws the icon with make_icon and checks that it shows the figure: RGBA at
# the asked size, a transparent background at the corners, every pixel either
# wholly figure or wholly background, the figure covering a fair part of it,
# and the suit's red plainly there.
#   icon.sh MAKE_ICON WORKDIR
set -uo pipefail
make_icon=$1 work=$2
mkdir -p "$work"
icon="$work/icon.png"
fail() { echo "$1"; exit 1; }

"$make_icon" "$icon" 128 || fail "make_icon failed"
[ "$(identify -format '%wx%h %[channels]' "$icon")" = "128x128 srgba" ] ||
    fail "icon is $(identify -format '%wx%h %[channels]' "$icon"), not 128x128 RGBA"
for corner in 0,0 127,0 0,127 127,127; do
    alpha=$(convert "$icon" -format "%[fx:p{$corner}.a]" info:)
    [ "$alpha" = 0 ] || fail "corner $corner is not transparent (alpha $alpha)"
done
partial=$(convert "$icon" -alpha extract -fx 'u>0&&u<1' -format '%[fx:mean]' info:)
[ "$partial" = 0 ] || fail "a fraction $partial of the pixels is partly transparent"
covered=$(convert "$icon" -alpha extract -format '%[fx:mean]' info:)
awk -v c="$covered" 'BEGIN { exit !(c > 0.15 && c < 0.7) }' || fail "the figure covers $covered of the icon"
red=$(convert "$icon" -fx 'a>0&&r>0.4&&g<0.2&&b<0.2' -alpha off -format '%[fx:mean]' info:)
awk -v r="$red" 'BEGIN { exit !(r > 0.05) }' || fail "only $red of the icon is the suit's red"
echo "ok: figure over $covered of the icon, red $red"
