// The song's length in time: the replay stepped tick by tick on a player of
// its own, with nothing mixed, so that the ticks and their lengths are those
// of a render at the same rate.
#include "player/player.h"
#include "qxm.h"

int64_t qxm_song_duration_ms(const QxmSong* song, int rate, int loops)
{
    if (!song || rate < QXM_MIN_RATE || rate > QXM_MAX_RATE || loops < 1)
        return -1;
    Player* player = qxm_player_create(song, rate);
    if (!player)
        return -1;
    player->loop_limit = loops;
    const int64_t limit = int64_t{rate} * 24 * 3600;
    int64_t frames = 0;
    Replay& replay = player->replay;
    replay.timing_only = true;
    while (frames < limit && !song_ends_here(*player)) {
        replay_tick(replay);
        frames += replay.samples_per_tick;
    }
    qxm_player_free(player);
    if (frames > limit)
        frames = limit;
    return (frames * 1000 + rate / 2) / rate;
}
