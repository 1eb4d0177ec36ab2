// Builds the timeline from its stored words. Handlers are stored as indices
// into scene_procedures, so the table is the same 32-bit words in any build.
#include "show/timeline.h"

#include "data/show_tables.h"
#include "effects/effects.h"
#include "shell/arena.h"

#include <cassert>

const SceneHandler scene_procedures[kSceneProcedureCount] = {
    draw_block_scene,
    draw_spinning_blocks,
    draw_noise_fan,
    draw_black_noise_overlay,
    draw_white_noise_overlay,
    draw_line_storm,
    draw_dark_bars,
    draw_crossed_stripes,
    draw_random_storm_overlay,
    draw_random_noise_overlay,
    draw_fade_out,
    draw_fade_in,
    draw_beat_words,
    draw_message_spam,
    draw_word_cascade,
    draw_closing_screen,
};

TimelineEntry* build_timeline() { return build_timeline_from(timeline_table); }

TimelineEntry* build_timeline_from(const uint32_t* table)
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
            assert(*word < kSceneProcedureCount);
            entry.scene_handlers[h] = scene_procedures[*word++];
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
