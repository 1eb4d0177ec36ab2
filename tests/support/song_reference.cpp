#include "support/song_reference.h"

#include "data/embedded_song.h"
#include "player/memory_file.h"
#include "player/mixer.h"
#include "player/module.h"
#include "player/output.h"
#include "player/render.h"
#include "player/replay.h"

#include <cstddef>

Module* load_embedded_song()
{
    memory_source_use(embedded_song, int32_t(embedded_song_size));
    return module_create("song");
}

const SongReference& song_reference(int seconds)
{
    static const SongReference song = [seconds] {
        SongReference r;
        output_configure(44100);
        Module* module = load_embedded_song();
        replay_start(module);
        const int blocks = seconds * 50;
        std::vector<float> mix(2 * std::size_t(block_frames));
        std::vector<int16_t> pcm(2 * std::size_t(block_frames));
        r.pcm.reserve(std::size_t(blocks) * pcm.size());
        for (int b = 0; b < blocks; ++b) {
            render_mix(module, mix.data(), block_frames);
            float_to_pcm16(pcm.data(), mix.data(), block_frames);
            r.pcm.insert(r.pcm.end(), pcm.begin(), pcm.end());
            r.block_end.push_back({uint8_t(module->order), uint8_t(module->row)});
        }
        module_free(module);
        return r;
    }();
    return song;
}
