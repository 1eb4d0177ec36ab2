// Builds the timeline from its stored words. Handlers are stored as indices
// into the scene list, so the table is the same 32-bit words in any build.
#include "show/timeline.h"

#include "data/show_procedures.h"
#include "shell/arena.h"

#include <cassert>

TimelineEntry* build_timeline(const uint32_t* table, const SceneHandler* procedures)
{
    const uint32_t* word = table;
    const uint32_t entry_count = *word++;
    auto* entries = arena_alloc_array<TimelineEntry>(entry_count);
    if (!entries)
        return nullptr;
    for (uint32_t i = 0; i < entry_count; ++i) {
        TimelineEntry& entry = entries[i];
        entry.start_key = *word++;
        entry.handler_count = *word++;
        if (entry.handler_count == 0) // end of show: nothing follows
            return entries;
        entry.scene_handlers = arena_alloc_array<SceneHandler>(entry.handler_count);
        if (!entry.scene_handlers)
            return nullptr;
        for (uint32_t h = 0; h < entry.handler_count; ++h) {
            assert(*word < kSceneCount);
            entry.scene_handlers[h] = procedures[*word++];
        }
        entry.curve_count = *word++;
        if (entry.curve_count == 0)
            continue;
        entry.curve_ids = arena_alloc_array<uint32_t>(entry.curve_count);
        if (!entry.curve_ids)
            return nullptr;
        for (uint32_t c = 0; c < entry.curve_count; ++c)
            entry.curve_ids[c] = *word++;
    }
    return entries;
}
