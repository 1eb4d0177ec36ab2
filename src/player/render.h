// Rendering: the replay ticked and the voices mixed, chunk by chunk. This is
// the one loop both the streaming ring and offline rendering use.
#pragma once

struct Module;

// Asked whenever a tick is due, before it runs; true ends the rendering there.
using RenderStop = bool (*)(const Module* module, void* context);

// Zeroes frames stereo float frames at mix and renders the module into them:
// whenever samples_to_tick has run down to 0 the module's tick handler runs
// and samples_to_tick becomes samples_per_tick, read after the tick so that a
// tempo change applies to the tick that made it; chunks never cross a tick,
// and a tick that straddles two calls continues in the next. Returns the
// frames rendered: frames, or fewer if stop ended the rendering. The module
// must have been started with replay_start (which sets samples_per_tick).
int render_mix(Module* module, float* mix, int frames, RenderStop stop = nullptr,
               void* context = nullptr);
