// What each channel plays at the last frame handed out (qxm_player_channel).
//
// A block may run several ticks, and the app may stop reading anywhere in
// it, so before each tick the player keeps the channels as the ticks so far
// left them (keep_channel_marks): a few fields copied per channel, the sums
// done only when asked. The last tick's channels are the replay's own. The
// levels are the voices' peaks, which the mixer measures over each block.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "player/player.h"

namespace {

ChannelMark channel_mark(const Channel& channel)
{
    const MixVoice& voice = *channel.voice;
    return {voice.volume, voice.step,         voice.step_fraction, channel.triggers,
            channel.note, channel.key_off, channel.instrument,  static_cast<uint8_t>(voice.panning)};
}

}  // namespace

bool allocate_channel_marks(Player& player, const Module& song, int rate)
{
    // Fxx sets at most 255 BPM; the song's own start may be faster.
    const int fastest = samples_per_tick_at(rate, std::max<int>(255, song.default_bpm));
    player.mark_capacity = (player.block_frames + fastest - 1) / fastest;
    player.channel_marks = static_cast<ChannelMark*>(
        std::calloc(static_cast<size_t>(player.mark_capacity) * song.channel_count, sizeof(ChannelMark)));
    return player.channel_marks != nullptr;
}

void keep_channel_marks(Player& player)
{
    const int mark = player.mark_count - 1;
    if (mark >= player.mark_capacity)  // never: a block holds no more ticks than that
        return;
    const int channels = player.replay.module->channel_count;
    ChannelMark* kept = player.channel_marks + static_cast<size_t>(mark) * channels;
    for (int c = 0; c < channels; ++c)
        kept[c] = channel_mark(player.replay.channels[c]);
}

int qxm_player_channel(const QxmPlayer* player, int channel, QxmChannel* state)
{
    if (!player || !state || channel < 0 || channel >= player->replay.module->channel_count)
        return 0;
    const int mark = last_mark(*player);
    const ChannelMark kept =
        mark == player->mark_count - 1
            ? channel_mark(player->replay.channels[channel])
            : player->channel_marks[static_cast<size_t>(mark) * player->replay.module->channel_count + channel];
    const bool playing = kept.note != 0;
    // The voice's step is frequency / rate as a 32.32 fraction, its
    // fraction rounded down: rounding back up gives the frequency exactly.
    const int64_t rate = player->replay.rate;
    const int64_t frequency =
        kept.step * rate + static_cast<int64_t>((kept.step_fraction * uint64_t(rate) + 0xFFFFFFFFu) >> 32);
    // Both of the channel's voices: one may still be fading out the note before.
    const MixVoice* voices = player->mixer.voices;
    const float peak = std::max(voices[channel].peak, voices[channel + MAX_CHANNELS].peak);
    state->note = !playing ? 0 : kept.key_off ? 97 : kept.note;
    const bool known = kept.instrument < player->replay.module->instrument_count;
    state->instrument = playing && known ? kept.instrument + 1 : 0;
    state->volume = static_cast<int>(std::lround(kept.volume * 64));
    state->panning = kept.panning;
    state->frequency = playing ? static_cast<int>(std::min<int64_t>(frequency, INT32_MAX)) : 0;
    state->triggers = kept.triggers;
    state->level = std::min(1.0f, peak / (32768 * FULL_GAIN));
    return 1;
}
