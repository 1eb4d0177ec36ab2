// Fuzz target: any bytes through the loader, and whatever loads played for a
// second through the replay and mixer. Built for libFuzzer (clang), and also
// linked with a plain driver that replays the seed corpus as a regular test.
#include <cstddef>
#include <cstdint>

#include "player/memory_file.h"
#include "player/mixer.h"
#include "player/module.h"
#include "player/output.h"
#include "player/render.h"
#include "player/replay.h"

namespace {

constexpr int RATE = 8000;  // low, so a second of song is cheap to render
constexpr int BLOCK_FRAMES = 800;
float mix[2 * BLOCK_FRAMES];
int16_t pcm[2 * BLOCK_FRAMES];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 0x7FFFFFFF)
        return 0;
    memory_source_use(data, static_cast<int32_t>(size));
    output_configure(RATE);
    Module* module = module_create("fuzz");
    if (!module)
        return 0;
    replay_start(module);
    for (int block = 0; block < RATE / BLOCK_FRAMES; ++block) {
        render_mix(module, mix, BLOCK_FRAMES);
        float_to_pcm16(pcm, mix, BLOCK_FRAMES);
    }
    module_free(module);
    return 0;
}
