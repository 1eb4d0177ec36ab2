// The scene timeline: from which music position (order × 64 + row) on which
// scene handlers draw, and which animation curves they need. Built once at
// start-up into the arena; main thread.
#pragma once

#include "show/scene.h"

#include <cstdint>

struct TimelineEntry {
    uint32_t start_key;             // MusicPosition from which the entry is current
    uint32_t handler_count;         // 0 marks the end-of-show entry
    uint32_t curve_count;           // 0 for the end-of-show entry
    SceneHandler* scene_handlers;   // handler_count handlers in call order; null at the end
    uint32_t* curve_ids;            // curve_count curve indices; null when there are none
};

// Builds a timeline in the arena from a stored table of the shipped layout
// (data/show_tables.h), whose scene indices pick from procedures. Reading
// stops at the first entry whose handler_count is 0, whatever the count word
// says; later entries stay zeroed. Returns the first entry, or null when the
// arena is exhausted.
TimelineEntry* build_timeline(const uint32_t* table, const SceneHandler* procedures);
