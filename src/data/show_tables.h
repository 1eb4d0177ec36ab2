// The show's stored tables: the scene timeline and the init-task list, as
// unsigned 32-bit words. A procedure is stored as its index in the show's
// procedure tables (show/timeline.cpp, show/init_tasks.cpp), which hold them
// in the order of these enumerations.
#pragma once

#include <cstdint>

enum SceneProcedure : uint32_t {
    kDrawBlockScene,
    kDrawSpinningBlocks,
    kDrawNoiseFan,
    kDrawBlackNoiseOverlay,
    kDrawWhiteNoiseOverlay,
    kDrawLineStorm,
    kDrawDarkBars,
    kDrawCrossedStripes,
    kDrawRandomStormOverlay,
    kDrawRandomNoiseOverlay,
    kDrawFadeOut,
    kDrawFadeIn,
    kDrawBeatWords,
    kDrawMessageSpam,
    kDrawWordCascade,
    kDrawClosingScreen,
    kSceneProcedureCount
};

enum InitProcedure : uint32_t {
    kPrepareCurves,
    kInitBlockFont,
    kInitBlockScene,
    kInitNoiseTextures,
    kInitProcedureCount
};

// Entry count N, then per entry: start_key (order × 64 + row), handler_count,
// that many SceneProcedure indices, curve_count, that many curve indices.
// The end-of-show entry is only its start_key and a handler_count of 0.
extern const uint32_t timeline_table[];

// Task count, then that many InitProcedure indices in run order.
extern const uint32_t init_task_list[];
