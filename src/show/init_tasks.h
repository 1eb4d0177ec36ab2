// The init tasks run one per frame behind the loading bar. Main thread, GL
// context current (tasks may make textures and display lists).
#pragma once

#include "show/scene.h"

#include <cstdint>

struct InitTaskTable {
    uint32_t task_count;   // at least 1
    InitTask* tasks;       // task_count tasks in run order
};

// The init procedures in the order of InitProcedure (data/show_tables.h).
extern const InitTask init_procedures[];

// Builds the shipped task table in the arena; null when the arena is exhausted.
InitTaskTable* build_init_tasks();

// Builds a task table from any stored list of the shipped layout.
InitTaskTable* build_init_tasks_from(const uint32_t* list);
