// The player wrappers: the embedded song, read from memory, played through
// the audio device.
#include "shell/player_wrappers.h"

#include "data/embedded_song.h"
#include "platform/platform.h"
#include "player/memory_file.h"
#include "player/module.h"
#include "player/module_source.h"
#include "player/playback.h"
#include "shell/arena.h"

namespace {

constexpr int kOutputRate = 44100;

Module* show_module = nullptr;       // the song; null before set-up and after shutdown
const char* setup_error = nullptr;

// Every open gives a fresh record over the embedded song, taken from the
// arena, where it stays until the arena goes.
void* memfile_open(const char*)
{
    auto* file = static_cast<MemoryFile*>(arena_alloc(sizeof(MemoryFile)));
    if (!file)
        return nullptr;
    return memfile_init(file, embedded_song, int32_t(embedded_song_size));
}

void do_nothing(void*) {}

} // namespace

int player_setup()
{
    setup_error = nullptr;
    module_source_set(memfile_open, do_nothing, memfile_read, memfile_seek, memfile_tell);
    if (!output_open(kOutputRate)) {
        setup_error = "no sound device at 44100 Hz, 16-bit stereo";
        return 0;
    }
    // The memory source ignores the name.
    show_module = module_create("bullshit");
    if (!show_module) {
        output_close();
        setup_error = "the embedded song does not load";
        return 0;
    }
    return 1;
}

const char* player_setup_error() { return setup_error; }

int player_start()
{
    // Without a feeder thread the position query feeds the ring: a headless
    // run stays exact and repeatable, and a page keeps its one thread.
    playback_set_threaded(!platform_audio_fed_between_frames());
    playback_start(show_module);
    return 1;
}

int player_shutdown()
{
    module_free(show_module); // stops the playback first
    show_module = nullptr;
    output_close();
    return 1;
}

PlaybackPosition player_position()
{
    if (show_module && !playback_is_threaded())
        playback_feed();
    const SyncRecord record = playback_position(show_module);
    return {record.order, record.row};
}
