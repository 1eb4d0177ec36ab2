// One player: everything that changes while a song plays (the replay's
// position and channels, the mixer's voices, the block being handed out)
// over a song it only reads. The public header (include/qxm.h) calls it
// QxmPlayer and lists what it does; this is its inside, for the tests and the
// block size the streaming ring shares.
//
// A player mixes a block of block_frames at a time, ticking the replay
// whenever a tick's frames are used up, and hands frames out of the block as
// they are asked for. A gain ramp that two mixer calls split is rounded once
// more where they meet, so the blocks, not the sizes asked for, decide where
// the mixer is called: the sound is the same whatever is asked, and the same
// as the streaming ring's, which is made of such blocks.
// It notes where every tick of the block begins, and what the channels were
// before it ran, so that the position and the channel state it reports are
// those of the last frame handed out.
#pragma once

#include <cstdint>

#include "player/mixer.h"
#include "player/module.h"
#include "player/replay.h"
#include "qxm.h"

constexpr int BLOCK_MS = 20;  // about this much sound makes a block
constexpr int64_t LONGEST_SECONDS = 24 * 3600;  // how far a duration is counted or a seek looks

// Frames of a block at rate: rate × BLOCK_MS / 1000, rounded up to a multiple
// of 4 (884 at 44100 Hz). The streaming ring is made of such blocks.
int block_frames_at(int rate);

// A tick that begins in the block being handed out.
struct TickMark {
    int32_t frame;  // frame of the block it begins at
    int32_t order;  // the row it plays
    int32_t row;
    int32_t tick;   // its number within the row
    int32_t loops;  // the player's loop_count when it began
};

// What qxm_player_channel tells of a channel, as a tick left it: the
// replay's and its voice's fields, raw (qxm_player_channel does the sums).
struct ChannelMark {
    float volume;            // the voice's, 0..1
    uint32_t step;           // the voice's, frames per output frame: its frequency
    uint32_t step_fraction;
    uint32_t triggers;
    uint8_t note;            // the channel's, 0..96
    uint8_t key_off;
    uint8_t instrument;      // 0-based
    uint8_t panning;         // the voice's
};

// A mixed voice at the end of a block, for its channel's level.
struct VoiceEnd {
    const Sample* sample;  // null: idle
    uint32_t frame;        // its position, whole frames
    float gain;            // gain_left + gain_right
};

struct QxmPlayer {
    Replay replay;
    Mixer mixer;
    int32_t block_frames;  // frames of a full block
    float* block;          // block_frames stereo frames in 16-bit units, owned
    int32_t block_length;  // frames mixed into block: block_frames, or fewer where the song ended
    int32_t block_read;    // frames of block handed out, 0..block_length
    int64_t block_start;   // frames handed out before the block: the player's clock, which a
                           // seek to a row or a time sets where a render from the start would be
    int32_t unmoved;       // frames of blocks passed without mixing that the voices are yet to be
                           // moved through; 0 outside a seek
    TickMark* marks;       // block_frames + 1, owned: marks[0] is where the block began,
                           // then one for each tick begun in it, in frame order
    int32_t mark_count;    // 1..block_frames + 1
    ChannelMark* channel_marks;  // mark_capacity × the song's channels, owned: the channels as marks[i]'s
                                 // tick left them, for every mark but the last (the replay's own)
    int32_t mark_capacity;       // ticks a block can hold at the fastest tempo the song can set
    VoiceEnd voice_ends[2][MIXED_VOICES];  // of voice i at the end of the last block mixed
    int32_t last_ends;                     // ([last_ends]) and of the block before, where the last began
    int32_t loop_count;    // times the song has gone back to an order it had passed
    int32_t loop_limit;    // the song ends where loop_count would reach it; 0: never
    int32_t end_order;     // the song ends where this row would begin; -1: nowhere
    int32_t end_row;
    bool end_reached;      // the last block ends where the song does: nothing is mixed after it
    bool has_played;       // a tick has run since the player began or last sought: ends may be met
    bool loop_counted;     // the tick due goes back and loop_count holds it already (set where it ended)
};
using Player = QxmPlayer;

// Mixes the next block into block, or with audible false only passes it
// (its frames are then not to be handed out): the replay ticks and the
// song's ends are met alike, and the voices are moved on through the frames
// passed once a tick, before it runs, which leaves them exactly as mixing
// would: only a gain ramp that two mixer calls split is rounded differently,
// and a ramp ends within its tick. The caller moves them through the frames
// passed after the last tick (player.unmoved) once it stops passing blocks.
void mix_block(Player& player, bool audible);

// Whether the song ends before the tick that is due: at the end position, or
// where it goes back to an order it had passed (counted as a loop, which may
// end it). Only a row's first tick moves the song on. Called before every
// tick: false means the tick runs next.
bool song_ends_here(Player& player);

// Steps a player that has not yet rendered, for its timing alone, as a render
// of it would go on (its ends met alike). With order ≥ 0: until the first
// tick of row `row` of `order` begins, and returns the frame it begins at, or
// -1 where the song ends or `limit` frames pass first. With order -1: until
// the song ends, and returns its frames, at most limit. The player is only
// fit to be freed after it.
int64_t step_for_timing(Player& player, int order, int row, int64_t limit);

// The mark of the last tick begun at or before the last frame handed out; 0
// before the first.
int last_mark(const Player& player);

// Keeps the channels as the ticks so far left them, for the frames before the
// tick that is about to run: the mark before that tick's (marks[mark_count - 1]).
void keep_channel_marks(Player& player);

// Notes where the song's voices are and how loud at the end of a block, for
// the channel levels.
void note_voice_ends(Player& player);

// Room for the channel marks of song's blocks at rate; false when memory runs out.
bool allocate_channel_marks(Player& player, const Module& song, int rate);
