// The per-frame body of the show loop.
#include "shell/show_frame.h"

#include "show/curves.h"

#include <GL/gl.h>

uint32_t music_position(PlaybackPosition position)
{
    return uint32_t(position.order) * 64u + uint32_t(position.row);
}

int show_has_ended(const ShowProgress& progress)
{
    return progress.timeline[progress.entry_index].handler_count == 0;
}

void run_show_frame(ShowProgress& progress, PlaybackPosition position)
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // The end-of-show entry has no successor to step to.
    if (!show_has_ended(progress) &&
        music_position(position) >= progress.timeline[progress.entry_index + 1].start_key)
        ++progress.entry_index;
    const TimelineEntry& entry = progress.timeline[progress.entry_index];
    if (entry.curve_count != 0)
        evaluate_curves(position.order, position.row, int(entry.start_key), progress.show_ms,
                        progress.frame_ms, entry.curve_count, entry.curve_ids);
    for (uint32_t h = 0; h < entry.handler_count; ++h)
        entry.scene_handlers[h](position.order, position.row, int(entry.start_key), progress.show_ms,
                                progress.frame_ms);
}
