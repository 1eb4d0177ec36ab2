// The init tasks run one per frame behind the loading bar. Main thread, GL
// context current (tasks may make textures and display lists).
#pragma once

#include "show/scene.h"

#include <cstdint>

struct InitTaskTable {
    uint32_t task_count;   // at least 1
    InitTask* tasks;       // task_count tasks in run order
};

// Builds a task table in the arena from a stored list of the shipped layout
// (data/show_tables.h), whose task indices pick from procedures; null when
// the arena is exhausted.
InitTaskTable* build_init_tasks(const uint32_t* list, const InitTask* procedures);
