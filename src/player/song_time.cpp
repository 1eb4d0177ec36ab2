// The song in time, found by stepping the replay tick by tick on a player of
// its own with nothing mixed, so that the ticks and their lengths are those of
// a render at the same rate: its length, and where a render arrives at a row.
#include "player/player.h"
#include "qxm.h"

int64_t step_for_timing(Player& player, int order, int row, int64_t limit)
{
    Replay& replay = player.replay;
    replay.timing_only = true;
    int64_t frames = 0;
    while (frames < limit && !song_ends_here(player)) {
        const bool row_begins = replay.tick == 0 && !replay.repeating_row;
        replay_tick(replay);
        if (row_begins && replay.order == order && replay.row == row)
            return frames;
        frames += replay.samples_per_tick;
    }
    if (order >= 0)
        return -1;
    return frames < limit ? frames : limit;
}

int64_t qxm_song_duration_ms(const QxmSong* song, int rate, int loops)
{
    if (!song || rate < QXM_MIN_RATE || rate > QXM_MAX_RATE || loops < 1)
        return -1;
    Player* player = qxm_player_create(song, rate);
    if (!player)
        return -1;
    player->loop_limit = loops;
    const int64_t frames = step_for_timing(*player, -1, 0, LONGEST_SECONDS * rate);
    qxm_player_free(player);
    return (frames * 1000 + rate / 2) / rate;
}
