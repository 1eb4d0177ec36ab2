// The player object and the render loop: the replay ticked and the voices
// mixed, chunk by chunk, a block at a time. Every user of the player, from the
// streaming ring to xm2wav, the tests and the benchmarks, renders through here.
// A player is used by one thread at a time; players share nothing but songs.
#include "player/player.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// Whether the player's ends (qxm.h says when one is met) end the song before
// the tick that is due: at the end position, or where it goes back to an
// order it had passed. Going back is counted as a loop once, even if the song
// ends there and a new end then lets it play on. Only a row's first tick
// moves the song on.
bool end_due(Player& player)
{
    const Replay& replay = player.replay;
    if (replay.tick != 0 || replay.repeating_row || !player.has_played)
        return false;
    const int order = replay.next_order >= 0 ? replay.next_order : replay.order;
    const int row = replay.next_row >= 0 ? replay.next_row : replay.row;
    if (order == player.end_order && row == player.end_row)
        return true;
    if (replay.next_order >= 0 && replay.next_order <= replay.order) {
        if (!player.loop_counted)
            ++player.loop_count;
        player.loop_counted = true;
        return player.loop_limit > 0 && player.loop_count >= player.loop_limit;
    }
    return false;
}

// After a new end is set: a song that ended where that is no longer an end
// plays on from there.
void resume_if_no_longer_ended(Player& player)
{
    if (player.end_reached && !end_due(player))
        player.end_reached = false;
}

}  // namespace

bool song_ends_here(Player& player)
{
    if (end_due(player))
        return true;
    player.has_played = true;
    player.loop_counted = false;
    return false;
}

// Whenever the frames of a tick are used up, the next tick runs and the
// frames of a tick become samples_per_tick, read after the tick so that a
// tempo change applies to the tick that made it; chunks never cross a tick,
// and a tick that straddles two blocks continues in the next.
void mix_block(Player& player, bool audible)
{
    Replay& replay = player.replay;
    player.marks[0] = player.marks[player.mark_count - 1];
    player.marks[0].frame = 0;
    player.mark_count = 1;
    player.block_start += player.block_length;
    if (audible)
        std::memset(player.block, 0, sizeof(float) * 2 * static_cast<size_t>(player.block_frames));
    int done = 0;
    int left = replay.samples_to_tick;
    while (done < player.block_frames) {
        if (left == 0) {
            if (song_ends_here(player)) {
                player.end_reached = true;
                break;
            }
            move_voices(player.mixer, player.unmoved);  // the frames passed since the last tick, if any
            player.unmoved = 0;
            const int tick = replay.tick;
            keep_channel_marks(player);
            replay_tick(replay);
            left = replay.samples_per_tick;
            player.marks[player.mark_count++] = {done, replay.order, replay.row, tick, player.loop_count};
        }
        const int chunk = std::min(left, player.block_frames - done);
        if (audible)
            mix_voices(player.mixer, player.block + 2 * done, chunk);
        else
            player.unmoved += chunk;
        done += chunk;
        left -= chunk;
    }
    replay.samples_to_tick = left;
    note_voice_ends(player);
    player.block_length = done;
    player.block_read = 0;
}

namespace {

// Hands out up to count frames, mixing blocks as they are used up; convert
// writes n frames of the block into the caller's buffer.
template <typename Frame, typename Convert>
int render(Player* player, Frame* out, int count, Convert convert)
{
    if (!player || !out || count <= 0)
        return 0;
    int done = 0;
    while (done < count) {
        if (player->block_read == player->block_length) {
            if (player->end_reached)
                break;
            mix_block(*player, true);
            if (player->block_length == 0)
                break;
        }
        const int n = std::min(count - done, player->block_length - player->block_read);
        convert(out + 2 * static_cast<size_t>(done), player->block + 2 * player->block_read, n);
        player->block_read += n;
        done += n;
    }
    return done;
}

}  // namespace

int last_mark(const Player& player)
{
    int i = player.mark_count - 1;
    while (i > 0 && player.marks[i].frame >= player.block_read)
        --i;
    return i;
}

int block_frames_at(int rate)
{
    return ((rate * BLOCK_MS / 1000) + 3) & ~3;
}

int qxm_version(void)
{
    return QXM_VERSION;
}

QxmPlayer* qxm_player_create(const QxmSong* song, int rate)
{
    if (!song || rate < QXM_MIN_RATE || rate > QXM_MAX_RATE)
        return nullptr;
    auto* player = static_cast<Player*>(std::calloc(1, sizeof(Player)));
    if (!player)
        return nullptr;
    player->block_frames = block_frames_at(rate);
    player->block = static_cast<float*>(std::calloc(2 * static_cast<size_t>(player->block_frames), sizeof(float)));
    player->marks = static_cast<TickMark*>(std::calloc(static_cast<size_t>(player->block_frames) + 1, sizeof(TickMark)));
    if (!player->block || !player->marks || !allocate_channel_marks(*player, *song, rate)) {
        qxm_player_free(player);
        return nullptr;
    }
    mixer_configure(player->mixer, rate);
    replay_start(player->replay, song, rate, player->mixer.voices);
    player->mark_count = 1;  // order 0, row 0, tick 0
    player->end_order = -1;
    return player;
}

void qxm_player_free(QxmPlayer* player)
{
    if (!player)
        return;
    std::free(player->block);
    std::free(player->marks);
    std::free(player->channel_marks);
    std::free(player);
}

int qxm_player_render_float(QxmPlayer* player, float* frames, int count)
{
    return render(player, frames, count, [](float* out, const float* block, int n) {
        for (int i = 0; i < 2 * n; ++i)
            out[i] = block[i] * (1.0f / 32768);
    });
}

int qxm_player_render_int16(QxmPlayer* player, int16_t* frames, int count)
{
    return render(player, frames, count, [player](int16_t* out, const float* block, int n) {
        float_to_pcm16(out, block, n, player->mixer.wide);
    });
}

QxmPosition qxm_player_position(const QxmPlayer* player)
{
    if (!player)
        return {};
    const TickMark& mark = player->marks[last_mark(*player)];
    const Module& song = *player->replay.module;
    const bool ended = player->end_reached && player->block_read == player->block_length;
    return {mark.order,
            mark.row,
            song.patterns[song.order_table[mark.order]].row_count,
            mark.tick,
            ended ? player->loop_count : mark.loops,
            ended ? 1 : 0};
}

int qxm_player_seek_order(QxmPlayer* player, int order)
{
    if (!player || order < 0 || order >= player->replay.module->song_length)
        return 0;
    replay_seek(player->replay, order);
    player->block_start += player->block_read;  // the clock goes on from the last frame handed out
    player->block_length = player->block_read = 0;
    player->marks[0] = {0, order, 0, 0, player->loop_count};
    player->mark_count = 1;
    player->end_reached = false;
    player->has_played = false;
    player->loop_counted = false;
    return 1;
}

void qxm_player_end_after_loops(QxmPlayer* player, int loops)
{
    if (!player)
        return;
    player->loop_limit = loops > 0 ? loops : 0;
    resume_if_no_longer_ended(*player);
}

int qxm_player_end_at(QxmPlayer* player, int order, int row)
{
    if (!player)
        return 0;
    const Module& song = *player->replay.module;
    if (order != -1 && (order < 0 || order >= song.song_length || row < 0 ||
                        row >= song.patterns[song.order_table[order]].row_count))
        return 0;
    player->end_order = order;
    player->end_row = order == -1 ? -1 : row;
    resume_if_no_longer_ended(*player);
    return 1;
}

int qxm_player_mute_channel(QxmPlayer* player, int channel, int muted)
{
    if (!player || channel < 0 || channel >= player->replay.module->channel_count)
        return 0;
    replay_mute(player->replay, channel, muted != 0);
    return 1;
}
