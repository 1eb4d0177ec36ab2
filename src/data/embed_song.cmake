# Turns the song's bytes into a C++ source defining embedded_song and
# embedded_song_size, so the program carries the song and reads no file.
#   cmake -DINPUT=song.xm -DOUTPUT=embedded_song.cpp -P embed_song.cmake
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# Sixteen bytes to a line.
set(line "")
foreach(i RANGE 1 16)
  string(APPEND line "0x[0-9a-f][0-9a-f],")
endforeach()
string(REGEX REPLACE "(${line})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT}.tmp
  "// Generated at build time from src/data/song.xm by embed_song.cmake.\n"
  "#include \"data/embedded_song.h\"\n\n"
  "const unsigned char embedded_song[${size}] = {\n${bytes}\n};\n"
  "const unsigned embedded_song_size = ${size};\n")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
