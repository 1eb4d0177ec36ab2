// What each channel plays at the last frame handed out (qxm_player_channel).
//
// A block may run several ticks, and the app may stop reading anywhere in
// it, so before each tick the player keeps the channels as the ticks so far
// left them (keep_channel_marks): a few fields copied per channel, the sums
// done only when asked. The last tick's channels are the replay's own.
// The level is found from the voices as each block ends (note_voice_ends),
// not in the mixing loops, which it would slow: the largest value of the
// stretch of sample read, from the sample's peaks, at the louder of the
// gains at the block's ends. Close to the true peak, a little above it where
// a stretch begins or ends inside a peak's 64 frames or reaches a loop; a
// note that both began and gave way within one block is not seen.
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

// How loud voice sounded in the block being handed out, 0..1: the largest
// value of the stretch of sample it read between where it was at the block's
// start and at its end (a loop it reached, whole), at the louder of its gains
// there. A note that started in the block is taken back a block's worth of
// steps from its end, one that ended is taken on from its start.
float voice_level(const Player& player, int voice)
{
    const VoiceEnd& begin = player.voice_ends[player.last_ends ^ 1][voice];
    const VoiceEnd& end = player.voice_ends[player.last_ends][voice];
    const VoiceEnd& seen = end.sample ? end : begin;
    if (!seen.sample || !seen.sample->peaks)
        return 0;
    const Sample& sample = *seen.sample;
    const MixVoice& v = player.mixer.voices[voice];
    const uint64_t step = static_cast<uint64_t>(v.step) << 32 | v.step_fraction;
    const int64_t travel = static_cast<int64_t>((uint64_t(player.block_length) * step) >> 32) + 1;
    int64_t first, last;
    float gain;
    if (begin.sample == end.sample) {
        first = std::min(begin.frame, end.frame);
        last = std::max(begin.frame, end.frame);
        gain = std::max(begin.gain, end.gain);
    } else if (end.sample) {
        first = int64_t{end.frame} - travel;
        last = end.frame;
        gain = end.gain;
    } else {
        first = begin.frame;
        last = int64_t{begin.frame} + travel;
        gain = begin.gain;
    }
    const int64_t loop_start = sample.loop_start, loop_end = loop_start + sample.loop_length;
    const bool ping_pong = sample.loop_mode == SAMPLE_PING_PONG;
    if (sample.loop_mode != SAMPLE_ONE_SHOT &&
        (first + travel >= loop_end || (ping_pong && last - travel < loop_start))) {
        first = std::min(first, loop_start);
        last = loop_end;
    }
    first = std::max<int64_t>(first, 0);
    last = std::min<int64_t>(last + 1, int64_t{sample.length} + SAMPLE_SPARE_FRAMES - 1);
    uint16_t most = 0;
    for (int64_t i = first >> PEAK_SHIFT; i <= last >> PEAK_SHIFT; ++i)
        most = std::max(most, sample.peaks[i]);
    return std::min(1.0f, most * gain / (32768 * FULL_GAIN));
}

}  // namespace

void note_voice_ends(Player& player)
{
    player.last_ends ^= 1;
    VoiceEnd* ends = player.voice_ends[player.last_ends];
    const MixVoice* voices = player.mixer.voices;
    for (int c = 0; c < player.replay.module->channel_count; ++c)
        for (const int i : {c, c + MAX_CHANNELS})
            ends[i] = {voices[i].sample, voices[i].position, voices[i].gain_left + voices[i].gain_right};
}

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
    const float level = std::max(voice_level(*player, channel), voice_level(*player, channel + MAX_CHANNELS));
    state->note = !playing ? 0 : kept.key_off ? 97 : kept.note;
    const bool known = kept.instrument < player->replay.module->instrument_count;
    state->instrument = playing && known ? kept.instrument + 1 : 0;
    state->volume = static_cast<int>(std::lround(kept.volume * 64));
    state->panning = kept.panning;
    state->frequency = playing ? static_cast<int>(std::min<int64_t>(frequency, INT32_MAX)) : 0;
    state->triggers = kept.triggers;
    state->level = level;
    return 1;
}
