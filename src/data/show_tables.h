// The show's stored tables: the scene timeline and the init-task list, as
// unsigned 32-bit words. A procedure is stored as its index in the lists of
// show_procedures.h, so the tables are the same words in any build.
#pragma once

#include "data/show_procedures.h"

#include <cstdint>

// Where the show ends: the music position (order × 64 + row) of the
// end-of-show entry. Every check of the show's end uses these; the e2e scripts
// read them from this file (tests/e2e/show_end.py).
constexpr uint32_t kShowEndOrder = 10;
constexpr uint32_t kShowEndRow = 16;
constexpr uint32_t kShowEndKey = kShowEndOrder * 64 + kShowEndRow;

// Entry count N, then per entry: start_key (order × 64 + row), handler_count,
// that many scene indices, curve_count, that many curve indices. The
// end-of-show entry is only its start_key and a handler_count of 0.
extern const uint32_t* const timeline_table;

// Task count, then that many init-task indices in run order.
extern const uint32_t* const init_task_list;
