// The render loop shared by streaming and offline rendering.
#include "player/render.h"

#include <cstring>

#include "player/mixer.h"
#include "player/module.h"

int render_mix(Module* module, float* mix, int frames, RenderStop stop, void* context)
{
    if (frames <= 0)
        return 0;
    std::memset(mix, 0, sizeof(float) * 2 * static_cast<size_t>(frames));
    int done = 0;
    int left = module->samples_to_tick;
    while (done < frames) {
        if (left == 0) {
            if (stop && stop(module, context))
                break;
            module->tick_handler(module);
            left = module->samples_per_tick;
        }
        int chunk = left < frames - done ? left : frames - done;
        mix_voices(mix + 2 * done, chunk);
        done += chunk;
        left -= chunk;
    }
    module->samples_to_tick = left;
    return done;
}
