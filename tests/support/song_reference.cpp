#include "support/song_reference.h"

#include "data/embedded_song.h"
#include "player/memory_file.h"
#include "player/module.h"
#include "qxm.h"

#include <cstddef>

namespace {

// Every open rewinds one record over the embedded song, as the show's does.
MemoryFile song_file;
void* open_embedded_song(const char*)
{
    return memfile_init(&song_file, embedded_song, int32_t(embedded_song_size));
}

} // namespace

Module* load_embedded_song()
{
    module_source_set(open_embedded_song, memfile_close, memfile_read, memfile_seek, memfile_tell);
    return module_create("song");
}

const SongReference& song_reference(int seconds)
{
    static const SongReference song = [seconds] {
        SongReference r;
        constexpr int block_frames = 884;  // a block of the ring at 44100 Hz
        Module* module = load_embedded_song();
        QxmPlayer* player = qxm_player_create(module, 44100);
        const int blocks = seconds * 50;
        std::vector<int16_t> pcm(2 * std::size_t(block_frames));
        r.pcm.reserve(std::size_t(blocks) * pcm.size());
        for (int b = 0; b < blocks; ++b) {
            qxm_player_render_int16(player, pcm.data(), block_frames);
            r.pcm.insert(r.pcm.end(), pcm.begin(), pcm.end());
            const QxmPosition at = qxm_player_position(player);
            r.block_end.push_back({uint8_t(at.order), uint8_t(at.row)});
        }
        qxm_player_free(player);
        qxm_song_free(module);
        return r;
    }();
    return song;
}
