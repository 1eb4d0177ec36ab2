/* qxm: a small XM player library for demos and games. It plays XM songs
 * (FastTracker II's "Extended Module" files) into 16-bit or float stereo at
 * any rate, as FastTracker II plays them, and tells where in the song the
 * sound is, so that pictures and game events can follow the music. Plain C
 * calls; inside, C++ that needs nothing but its runtime.
 *
 * Load a song once, from memory or from a file; then make a player for each
 * stream of sound you want from it. A loaded song is only ever read, so
 * several players may share one, each on a thread of its own; one player is
 * used by one thread at a time. Free the players before their song.
 *
 * A player mixes its song in blocks of about 20 ms and hands the frames out
 * as they are asked for: the sound is the same, bit for bit, however many
 * frames each call asks for. A frame is a left and a right value,
 * interleaved. Positions are those of the last frame handed out. Nothing here
 * prints, allocates while rendering, or keeps state outside its song and
 * players.
 *
 * Link with the library (static, libqxm.a, with the C++ runtime; or shared,
 * libqxm.so, when built with -DQXM_SHARED=ON):
 *   cc example.c $(pkg-config --cflags --libs qxm)
 */
#ifndef QXM_H
#define QXM_H

#include <stddef.h>
#include <stdint.h>

/* The version of this header. A program that runs with a shared library
 * other than the one it was built with can compare QXM_VERSION with
 * qxm_version(): the major number changes when a call does. */
#define QXM_VERSION_MAJOR 1
#define QXM_VERSION_MINOR 2
#define QXM_VERSION_PATCH 0
#define QXM_VERSION (QXM_VERSION_MAJOR * 65536 + QXM_VERSION_MINOR * 256 + QXM_VERSION_PATCH)

#ifdef __cplusplus
extern "C" {
#endif

typedef struct QxmSong QxmSong;
typedef struct QxmPlayer QxmPlayer;

enum {
    QXM_ERROR_SIZE = 160,    /* bytes of the error text a load may write */
    QXM_MIN_RATE = 1000,     /* output rates a player accepts, frames per second */
    QXM_MAX_RATE = 384000,
    QXM_MAX_SONG_BYTES = 256 * 1024 * 1024 /* the largest song a load accepts */
};

/* The library's version, in QXM_VERSION's form (major × 65536 + minor × 256
 * + patch). */
int qxm_version(void);

/* Loads a song from size bytes at data, which are not needed after the call.
 * Returns null if they hold no XM song the player can play, are more than
 * QXM_MAX_SONG_BYTES, or memory runs out ("out of memory"); then error, if
 * not null, holds the reason: one line, without a full stop. A file cut short
 * plays what it holds. What a song holds decides what it takes, not what it
 * declares: patterns its order list never plays are not kept. */
QxmSong* qxm_song_load_memory(const void* data, size_t size, char error[QXM_ERROR_SIZE]);

/* The same for the file at path; an error that comes from the file system is
 * the system's own text ("No such file or directory", "Is a directory"). The
 * first 17 bytes are checked before the rest is read, so a file that is no
 * XM song is refused at once, whatever its size. */
QxmSong* qxm_song_load_file(const char* path, char error[QXM_ERROR_SIZE]);

/* Releases a song and everything it holds; null does nothing. */
void qxm_song_free(QxmSong* song);

int qxm_song_channel_count(const QxmSong* song); /* channels of the song, 1..64 */
int qxm_song_order_count(const QxmSong* song);   /* entries of its order list, 1..256 */

/* A player of song at rate output frames per second, ready to play from the
 * song's first row. Null for a null song, a rate outside QXM_MIN_RATE to
 * QXM_MAX_RATE, or when memory runs out. The song must outlive the player. */
QxmPlayer* qxm_player_create(const QxmSong* song, int rate);

/* Releases a player; null does nothing. */
void qxm_player_free(QxmPlayer* player);

/* Writes the next count frames into frames (2 × count values) and returns
 * how many it wrote: count, or fewer once the song has reached the end set
 * below, and 0 after it. int16 values are rounded and clipped; float values
 * are the same sound divided by 32768, not clipped. */
int qxm_player_render_int16(QxmPlayer* player, int16_t* frames, int count);
int qxm_player_render_float(QxmPlayer* player, float* frames, int count);

typedef struct QxmPosition {
    int order; /* entry of the order list being played, 0..orders - 1 */
    int row;   /* row of its pattern, 0..rows - 1 */
    int rows;  /* rows in that pattern */
    int tick;  /* tick within the row, from 0 */
    int loops; /* times the song has gone back to an order it had passed:
                  its end, or a jump back */
    int ended; /* 1 once every frame up to the end set below is handed out */
} QxmPosition;

/* Where the last frame handed out was in the song; order 0, row 0, tick 0
 * before the first. */
QxmPosition qxm_player_position(const QxmPlayer* player);

/* Jumps to row 0 of order at once, as a jump in the song would: frames
 * already mixed are dropped; the notes sounding, the tempo and every other
 * state of the song go on, and so does the clock of qxm_player_position_ms.
 * It reaches orders the song never plays by itself (a second tune in the
 * order list); qxm_player_seek_row(player, order, 0) instead goes where the
 * song plays into that order. Also plays on a song that has ended. 0
 * (nothing changed) for an order outside the order list. */
int qxm_player_seek_order(QxmPlayer* player, int order);

/* The end. A player ends its song at the first end it meets of those set by
 * the two calls below: rendering gives the frames up to it, then 0. An end
 * is met only where the song arrives after playing since the player began or
 * last jumped (qxm_player_seek_order), so an end set where it stands
 * (end_at(0, 0) on a new player) is met where the song comes back there.
 * After the end the player stays there until one of these calls: a seek
 * plays on from where it goes; qxm_player_end_after_loops and
 * qxm_player_end_at play on from where the song stopped if, by what they
 * set, that is no longer an end (so raising the loops after the end plays
 * one more loop). */

/* The song ends where it would go back for the loops-th time (1: it plays
 * once); 0, the default, lets it play on for ever. */
void qxm_player_end_after_loops(QxmPlayer* player, int loops);

/* The song ends where row `row` of order `order` would begin; an order of
 * -1, the default, ends it nowhere (whatever the row). Returns 1, or 0 and
 * changes nothing for a position the song does not have: another order
 * outside 0..orders - 1, or a row outside 0..rows - 1 of that order's
 * pattern. */
int qxm_player_end_at(QxmPlayer* player, int order, int row);

/* Silences channel 0..channels - 1 (muted 1) or lets it sound again (0),
 * from the next block on; the song plays on underneath. 0 for a channel the
 * song does not have. */
int qxm_player_mute_channel(QxmPlayer* player, int channel, int muted);

/* Time and seeking to a row or a time. The player's clock is the sound it
 * has handed out since the song's start. The two seeks below put the player
 * where a render from the song's start (with the player's ends and muted
 * channels) arrives at their target: speed, BPM, global volume, envelopes,
 * fade-outs, effect memories and pattern loops as they are there, the notes
 * then sounding heard as far into them as they have played, and the loops
 * counted from the start. From there the sound is that render's, bit for
 * bit. A seek steps the song from its start without mixing it, in a
 * fraction of the time a render up to its target takes (an eighth, for the
 * usual song; more for songs with many short ping-pong loops), and plays on
 * a song that has ended. */

/* Milliseconds of sound handed out since the song's start, rounded down:
 * frames × 1000 / rate, where a seek below counts the frames a render from
 * the start hands out before its target, and qxm_player_seek_order goes on
 * counting. -1 for a null player. */
int64_t qxm_player_position_ms(const QxmPlayer* player);

/* Goes to where row `row` of order `order` begins the first time the song
 * plays it, so that the next frame handed out is that row's first. Returns
 * 1, or 0 and changes nothing for a null player, an order outside
 * 0..orders - 1, a row outside 0..rows - 1 of that order's pattern, a row
 * the song does not play before an end set above (nor within 24 hours), or
 * when memory runs out. Until a frame is handed out, qxm_player_position
 * still tells the tick before the row, where the last frame was. */
int qxm_player_seek_row(QxmPlayer* player, int order, int row);

/* Goes to ms milliseconds from the song's start: the next frame handed out
 * is the one at ms × rate / 1000, rounded up, and qxm_player_position_ms
 * then tells ms; a time in the last millisecond before an end set above, as
 * qxm_song_duration_ms rounds it, goes to the end. Returns 1, or 0 and
 * changes nothing for a null player, a negative time, a later time after
 * that end, a time over 24 hours, or when memory runs out. */
int qxm_player_seek_ms(QxmPlayer* player, int64_t ms);

/* What the song says about itself. Names are as the file holds them, trailing
 * spaces dropped and bytes other than printable ASCII shown as '?'; they live
 * as long as the song. Null or 0 for a null song or a number it lacks. */
const char* qxm_song_title(const QxmSong* song);
const char* qxm_song_tracker(const QxmSong* song);  /* the program that saved it */
int qxm_song_pattern_count(const QxmSong* song);
int qxm_song_instrument_count(const QxmSong* song); /* 0..128 */
const char* qxm_song_instrument_name(const QxmSong* song, int instrument); /* 0..instruments - 1 */
int qxm_song_sample_count(const QxmSong* song, int instrument);            /* 0..16 it plays */
const char* qxm_song_sample_name(const QxmSong* song, int instrument, int sample);
int qxm_song_initial_speed(const QxmSong* song);    /* ticks per row */
int qxm_song_initial_bpm(const QxmSong* song);
int qxm_song_linear_frequencies(const QxmSong* song); /* 1: linear table; 0: Amiga periods */

/* How long the song plays at rate until it would go back for the loops-th
 * time (1: once through), in milliseconds, rounded: the length of what a
 * player at that rate renders after qxm_player_end_after_loops(player, loops).
 * Found by stepping the song without mixing it. -1 for a null song, a rate
 * outside QXM_MIN_RATE to QXM_MAX_RATE, loops below 1, or when memory runs
 * out; a song still playing after 24 hours counts as 24 hours. */
int64_t qxm_song_duration_ms(const QxmSong* song, int rate, int loops);

/* What each channel plays, for pictures that follow the music: a drum hit
 * that flashes the screen, a meter per channel. */

typedef struct QxmChannel {
    int note;          /* the note it plays, 1..96 (1 is C-0, 49 is C-4); 97 once a
                          key-off has released it; 0 before its first note */
    int instrument;    /* that note's instrument, 1..instruments; 0 for none or one
                          the song lacks */
    int volume;        /* 0..64 as heard: the channel's volume with its tremolo and
                          tremor, times its envelope, its fade-out and the song's
                          global volume; muting leaves it as it is */
    int panning;       /* 0 left .. 255 right, with the panning envelope */
    int frequency;     /* Hz the note's sample plays at, with its slides, vibrato and
                          arpeggio; 0 before the first note */
    uint32_t triggers; /* notes started in the channel since the player began,
                          retriggers (E9x, Rxy) and muted ones included: a demo that
                          compares it with its last reading sees every hit, however
                          many fell between two readings. It wraps after 2^32:
                          compare by unsigned subtraction. */
    float level;       /* the loudest the channel sounded, 0..1, in the block of about
                          20 ms that holds the last frame handed out: 1 is its sample's
                          full scale at full volume, 0 silent or muted. Measured
                          from the block's ends, so a note that both began and
                          gave way within it goes unseen. */
} QxmChannel;

/* Fills state with channel 0..channels - 1 as the last frame handed out
 * heard it, after every tick up to that frame however many one render call
 * ran (as the song starts before the first frame), and returns 1. 0, with
 * state left as it was, for a null player, a null state or a channel the
 * song does not have. */
int qxm_player_channel(const QxmPlayer* player, int channel, QxmChannel* state);

#ifdef __cplusplus
}
#endif

#endif /* QXM_H */
