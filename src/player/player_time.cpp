// The player in time: its clock in milliseconds, and the seeks to a row or to
// a time, which land where a render from the song's start arrives.
//
// A landing first finds its frame by stepping the song for its timing alone
// on a player of its own (so a target the song never reaches changes
// nothing). It then plays the song again from its start on the player
// itself, every tick in full and the voices moved on between ticks exactly as
// mixing would move them, but with nothing mixed, through the blocks that end
// by the target; the block the target falls in is mixed. The blocks, ticks
// and gain ramps are those of the render, so what follows is its sound, bit
// for bit. Most of a seek's time goes to the ticks (a render's goes to the
// mixing).
#include <cassert>

#include "player/player.h"
#include "qxm.h"

namespace {

// What step_for_timing finds for a render of player's song from its start,
// with the player's ends; -1 when memory runs out.
int64_t arrival(const Player& player, int order, int row, int64_t limit)
{
    Player* scout = qxm_player_create(player.replay.module, player.replay.rate);
    if (!scout)
        return -1;
    scout->loop_limit = player.loop_limit;
    scout->end_order = player.end_order;
    scout->end_row = player.end_row;
    const int64_t found = step_for_timing(*scout, order, row, limit);
    qxm_player_free(scout);
    return found;
}

// Puts the player where a render from the song's start stands once it has
// handed out frame frames, which that render reaches. The player's ends and
// muted channels are kept.
void land(Player& player, int64_t frame)
{
    Replay& replay = player.replay;
    bool muted[MAX_CHANNELS];
    for (int c = 0; c < MAX_CHANNELS; ++c)
        muted[c] = replay.channels[c].muted;
    mixer_configure(player.mixer, replay.rate);
    replay_start(replay, replay.module, replay.rate, player.mixer.voices);
    for (int c = 0; c < MAX_CHANNELS; ++c)
        replay.channels[c].muted = muted[c];
    player.block_start = 0;
    player.block_length = player.block_read = 0;
    player.marks[0] = {0, 0, 0, 0, 0};
    player.mark_count = 1;
    player.loop_count = 0;
    player.end_reached = player.has_played = player.loop_counted = false;
    // The blocks that end by the target are passed; the one it falls in is mixed.
    while (player.block_start + player.block_length + player.block_frames <= frame) {
        assert(!player.end_reached);
        mix_block(player, false);
    }
    move_voices(player.mixer, player.unmoved);
    player.unmoved = 0;
    if (player.block_start + player.block_length < frame)
        mix_block(player, true);
    player.block_read = static_cast<int32_t>(frame - player.block_start);
}

}  // namespace

int64_t qxm_player_position_ms(const QxmPlayer* player)
{
    if (!player)
        return -1;
    return (player->block_start + player->block_read) * 1000 / player->replay.rate;
}

int qxm_player_seek_row(QxmPlayer* player, int order, int row)
{
    if (!player)
        return 0;
    const Module& song = *player->replay.module;
    if (order < 0 || order >= song.song_length || row < 0 ||
        row >= song.patterns[song.order_table[order]].row_count)
        return 0;
    const int64_t frame = arrival(*player, order, row, LONGEST_SECONDS * player->replay.rate);
    if (frame < 0)
        return 0;
    land(*player, frame);
    return 1;
}

int qxm_player_seek_ms(QxmPlayer* player, int64_t ms)
{
    if (!player || ms < 0 || ms > LONGEST_SECONDS * 1000)
        return 0;
    const int64_t rate = player->replay.rate;
    int64_t frame = (ms * rate + 999) / 1000;
    const int64_t end = arrival(*player, -1, 0, frame);
    if (end < 0)
        return 0;
    if (end < frame) {
        // A time within the end's millisecond, as the duration rounds it, is the end.
        if ((end * 1000 + rate / 2) / rate < ms)
            return 0;
        frame = end;
    }
    land(*player, frame);
    return 1;
}
