#!/usr/bin/env bash
# The README's library example, built as a user builds it: the player library
# installed alone into a fresh prefix, the example compiled from the README's
# own text with nothing but pkg-config's flags, and its output held to
# xm2wav's render of the same song. LINK is static (the default: a shared
# library installed beside it is taken away) or shared: then the example must
# load libqxm.so by its soname, which shows the qxm_ calls alone.
#
#   readme_example.sh BUILD_DIR README CC XM2WAV SONG WORK_DIR [LINK]
set -euo pipefail
build=$1 readme=$2 cc=$3 xm2wav=$4 song=$5 work=$6 link=${7:-static}
rm -rf "$work"
mkdir -p "$work"
cmake --install "$build" --prefix "$work/prefix" --component qxm > /dev/null
if [ "$link" = static ]; then
    find "$work/prefix" -name 'libqxm.so*' -delete
else
    library=$(find "$work/prefix" -name 'libqxm.so.*.*')
    readelf -d "$library" | grep -q "SONAME.*\[libqxm\.so\.[0-9]*\]"
    if nm -D --defined-only "$library" | grep -v " qxm_"; then
        echo "libqxm.so shows more than the qxm_ calls" >&2
        exit 1
    fi
    LD_LIBRARY_PATH=$(dirname "$library")
    export LD_LIBRARY_PATH
fi

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

if [ "$link" = shared ]; then
    readelf -d "$work/play" | grep -q "NEEDED.*\[libqxm\.so\.[0-9]*\]"
    # The library's version is the header's, and the pkg-config file's.
    printf '#include <qxm.h>\nint main(void) { return qxm_version() != QXM_VERSION; }\n' > "$work/version.c"
    # shellcheck disable=SC2046
    "$cc" "$work/version.c" $(pkg-config --cflags --libs qxm) -o "$work/version"
    "$work/version"
    test "$(pkg-config --modversion qxm)" = "$(sed -n 's/^#define QXM_VERSION_[A-Z]* //p' \
        "$work/prefix/include/qxm.h" | paste -sd .)"
fi
"$work/play" "$song" > "$work/play.raw"
"$xm2wav" "$song" "$work/xm2wav.wav"
tail -c +45 "$work/xm2wav.wav" | cmp - "$work/play.raw"
# A file that is no song: one line on stderr, and a failure.
if "$work/play" "$readme" > /dev/null 2> "$work/error.txt"; then
    echo "the example played the README" >&2
    exit 1
fi
grep -q "^not an XM song" "$work/error.txt"
echo "the README's example, linked $link, gives the same $(stat -c %s "$work/play.raw") bytes as xm2wav"
