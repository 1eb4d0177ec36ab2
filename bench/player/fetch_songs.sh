#!/bin/bash
# Gathers real XM songs for the player benchmark from game packages in Debian,
# into a cache folder outside the repository (the songs are not committed):
#
#   bench/player/fetch_songs.sh [FOLDER]    (default ~/.cache/invitation-xm-songs)
#
# Packages and licences: ballz-data (GPL-3+), bomberclone-data (GPL-2),
# criticalmass-data (GPL-2+), njam-data (GPL-2+), powermanga-data (GPL-3+; its
# .zik music files are XM songs), ri-li-data (GPL-2 or GPL-3), solarwolf
# (LGPL-2.1). Then: player_bench --songs=FOLDER
set -euo pipefail
folder=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/invitation-xm-songs}
packages=(ballz-data bomberclone-data criticalmass-data njam-data powermanga-data ri-li-data solarwolf)
mkdir -p "$folder"
work=$(mktemp -d)
chmod 755 "$work"  # apt downloads as its own user
trap 'rm -rf "$work"' EXIT
cd "$work"
apt-get download "${packages[@]}" >/dev/null
for deb in *.deb; do
    name=${deb%%_*}
    mkdir -p "x/$name"
    dpkg -x "$deb" "x/$name"
    find "x/$name" -type f \( -iname '*.xm' -o -iname '*.zik' \) -print0 |
        while IFS= read -r -d '' song; do
            base=$(basename "$song")
            cp "$song" "$folder/$name-${base%.*}.xm"
        done
done
echo "$(ls "$folder" | wc -l) songs in $folder"
