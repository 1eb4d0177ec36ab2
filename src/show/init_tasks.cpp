// Builds the init-task table from its stored list (count, then procedure
// indices into init_procedures).
#include "show/init_tasks.h"

#include "data/show_tables.h"
#include "effects/effects.h"
#include "shell/arena.h"
#include "show/curves.h"

#include <cassert>

const InitTask init_procedures[kInitProcedureCount] = {
    prepare_curves,
    init_block_font,
    init_block_scene,
    init_noise_textures,
};

InitTaskTable* build_init_tasks() { return build_init_tasks_from(init_task_list); }

InitTaskTable* build_init_tasks_from(const uint32_t* list)
{
    auto* table = arena_alloc_array<InitTaskTable>(1);
    if (!table)
        return nullptr;
    table->task_count = list[0];
    table->tasks = arena_alloc_array<InitTask>(table->task_count);
    if (!table->tasks)
        return nullptr;
    for (uint32_t i = 0; i < table->task_count; ++i) {
        assert(list[1 + i] < kInitProcedureCount);
        table->tasks[i] = init_procedures[list[1 + i]];
    }
    return table;
}
