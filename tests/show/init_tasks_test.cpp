// The init-task table built from the stored list.
#include "show/init_tasks.h"

#include "data/show_tables.h"
#include "effects/effects.h"
#include "shell/arena.h"
#include "show/curves.h"

#include <gtest/gtest.h>

TEST(InitTasks, ShippedListRunsCurvesBlocksSceneNoiseInThatOrder)
{
    ASSERT_EQ(arena_create(), 1);
    const InitTaskTable* table = build_init_tasks(init_task_list, init_procedures);
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->task_count, 4u);
    EXPECT_EQ(table->tasks[0], &prepare_curves);
    EXPECT_EQ(table->tasks[1], &init_block_font);
    EXPECT_EQ(table->tasks[2], &init_block_scene);
    EXPECT_EQ(table->tasks[3], &init_noise_textures);
    // The record comes first in the arena, its array right after.
    EXPECT_EQ(static_cast<const void*>(table), arena.base);
    EXPECT_EQ(static_cast<void*>(table->tasks), arena.base + sizeof(InitTaskTable));
    arena_destroy();
}

TEST(InitTasks, ArenaExhaustionGivesNull)
{
    ASSERT_EQ(arena_create(), 1);
    ASSERT_NE(arena_alloc(arena.remaining - int32_t(sizeof(InitTaskTable))), nullptr);
    EXPECT_EQ(build_init_tasks(init_task_list, init_procedures), nullptr); // the record fits, its array does not
    arena_destroy();
}
