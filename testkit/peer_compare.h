// Rendering a song through our player and through the peers libopenmpt and
// libxmp (linked only by tests and benchmarks), and the measures that compare
// them.
// Header-only so that the player tests, the song tests and the benchmarks can
// share it without a library of their own.
#pragma once

#include <libopenmpt/libopenmpt.hpp>
#include <xmp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <sstream>
#include <vector>

#include "qxm.h"

namespace peer {

// frames stereo frames of the song from its start, in 16-bit units; empty if
// our player refuses the song.
inline std::vector<float> render_ours(const std::vector<uint8_t>& song, std::size_t frames, int rate = 44100)
{
    QxmSong* loaded = qxm_song_load_memory(song.data(), song.size(), nullptr);
    QxmPlayer* player = qxm_player_create(loaded, rate);
    if (!player) {
        qxm_song_free(loaded);
        return {};
    }
    std::vector<float> mix(2 * frames);
    qxm_player_render_float(player, mix.data(), static_cast<int>(frames));
    for (float& v : mix)
        v *= 32768.0f;
    qxm_player_free(player);
    qxm_song_free(loaded);
    return mix;
}

// The same through libopenmpt with linear interpolation, looping the song,
// scaled to 16-bit units; empty if it refuses the song.
inline std::vector<float> render_libopenmpt(const std::vector<uint8_t>& song, std::size_t frames, int rate = 44100)
{
    std::ostringstream log;
    try {
        openmpt::module peer(song, log);
        peer.set_render_param(openmpt::module::RENDER_INTERPOLATIONFILTER_LENGTH, 2);
        peer.set_repeat_count(-1);
        std::vector<float> mix(2 * frames);
        for (std::size_t done = 0; done < frames;) {
            std::size_t got = peer.read_interleaved_stereo(rate, std::min<std::size_t>(4096, frames - done),
                                                           mix.data() + 2 * done);
            if (got == 0)
                break;
            done += got;
        }
        for (float& v : mix)
            v *= 32768.0f;
        return mix;
    } catch (const openmpt::exception&) {
        return {};
    }
}

// The same through libxmp with linear interpolation, 16-bit, in blocks of
// `block` frames; empty if it refuses the song. full_separation puts the
// sides as far apart as libopenmpt does (libxmp narrows them to 70 % unless
// told otherwise).
inline std::vector<int16_t> render_libxmp_pcm(const std::vector<uint8_t>& song, std::size_t frames, int rate = 44100,
                                              bool full_separation = true, std::size_t block = 884)
{
    xmp_context context = xmp_create_context();
    if (xmp_load_module_from_memory(context, song.data(), static_cast<long>(song.size())) != 0) {
        xmp_free_context(context);
        return {};
    }
    xmp_start_player(context, rate, 0);
    xmp_set_player(context, XMP_PLAYER_INTERP, XMP_INTERP_LINEAR);
    if (full_separation)
        xmp_set_player(context, XMP_PLAYER_MIX, 100);
    std::vector<int16_t> pcm(2 * frames);
    for (std::size_t done = 0; done < frames; done += block) {
        const std::size_t n = std::min(block, frames - done);
        xmp_play_buffer(context, pcm.data() + 2 * done, static_cast<int>(n * 4), 0);
    }
    xmp_end_player(context);
    xmp_release_module(context);
    xmp_free_context(context);
    return pcm;
}

inline std::vector<float> render_libxmp(const std::vector<uint8_t>& song, std::size_t frames, int rate = 44100)
{
    std::vector<int16_t> pcm = render_libxmp_pcm(song, frames, rate);
    return {pcm.begin(), pcm.end()};
}

// RMS of the mono mix ((left + right) / 2) in windows of `window` frames.
inline std::vector<double> rms_envelope(const std::vector<float>& mix, std::size_t frames, int window)
{
    std::vector<double> envelope;
    for (std::size_t start = 0; start + window <= frames; start += window) {
        double sum = 0;
        for (std::size_t i = start; i < start + window; ++i) {
            const double mono = 0.5 * (double(mix[2 * i]) + mix[2 * i + 1]);
            sum += mono * mono;
        }
        envelope.push_back(std::sqrt(sum / window));
    }
    return envelope;
}

// RMS of each side in windows of `window` frames: the left windows, then the
// right ones, so that a correlation of two of them also tells the sides apart.
inline std::vector<double> side_rms_envelopes(const std::vector<float>& mix, std::size_t frames, int window)
{
    std::vector<double> envelopes;
    for (int side = 0; side < 2; ++side)
        for (std::size_t start = 0; start + window <= frames; start += window) {
            double sum = 0;
            for (std::size_t i = start; i < start + window; ++i)
                sum += double(mix[2 * i + side]) * mix[2 * i + side];
            envelopes.push_back(std::sqrt(sum / window));
        }
    return envelopes;
}

// Pearson correlation of two sequences over their common length.
inline double correlation(const std::vector<double>& a, const std::vector<double>& b)
{
    const std::size_t n = std::min(a.size(), b.size());
    double mean_a = 0, mean_b = 0;
    for (std::size_t i = 0; i < n; ++i)
        mean_a += a[i], mean_b += b[i];
    mean_a /= n, mean_b /= n;
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < n; ++i) {
        ab += (a[i] - mean_a) * (b[i] - mean_b);
        aa += (a[i] - mean_a) * (a[i] - mean_a);
        bb += (b[i] - mean_b) * (b[i] - mean_b);
    }
    return ab / std::sqrt(aa * bb);
}

}  // namespace peer
