// Builds the init-task table from its stored list (count, then indices into
// the init-task list).
#include "show/init_tasks.h"

#include "data/show_procedures.h"
#include "shell/arena.h"

#include <cassert>

InitTaskTable* build_init_tasks(const uint32_t* list, const InitTask* procedures)
{
    auto* table = arena_alloc_array<InitTaskTable>(1);
    if (!table)
        return nullptr;
    table->task_count = list[0];
    table->tasks = arena_alloc_array<InitTask>(table->task_count);
    if (!table->tasks)
        return nullptr;
    for (uint32_t i = 0; i < table->task_count; ++i) {
        assert(list[1 + i] < kInitTaskCount);
        table->tasks[i] = procedures[list[1 + i]];
    }
    return table;
}
