// The shipped timeline and init-task list.
#include "data/show_tables.h"

// Positions in the comments are order/row.
const uint32_t timeline_table[] = {
    27,
    0, 1, kDrawBlockScene, 0,                                                       // 0/0
    128, 3, kDrawNoiseFan, kDrawBeatWords, kDrawBlackNoiseOverlay, 0,              // 2/0
    137, 1, kDrawBlockScene, 0,                                                     // 2/9
    160, 2, kDrawNoiseFan, kDrawMessageSpam, 0,                                     // 2/32
    161, 1, kDrawBlockScene, 0,                                                     // 2/33
    166, 4, kDrawLineStorm, kDrawDarkBars, kDrawMessageSpam, kDrawWhiteNoiseOverlay, 0, // 2/38
    169, 1, kDrawBlockScene, 0,                                                     // 2/41
    174, 2, kDrawBlockScene, kDrawDarkBars, 0,                                      // 2/46
    175, 1, kDrawBlockScene, 0,                                                     // 2/47
    180, 4, kDrawCrossedStripes, kDrawMessageSpam, kDrawDarkBars, kDrawBlackNoiseOverlay, 0, // 2/52
    184, 1, kDrawBlockScene, 0,                                                     // 2/56
    256, 3, kDrawNoiseFan, kDrawBeatWords, kDrawBlackNoiseOverlay, 0,              // 4/0
    265, 1, kDrawBlockScene, 0,                                                     // 4/9
    288, 2, kDrawNoiseFan, kDrawMessageSpam, 0,                                     // 4/32
    289, 1, kDrawBlockScene, 0,                                                     // 4/33
    294, 4, kDrawLineStorm, kDrawDarkBars, kDrawMessageSpam, kDrawWhiteNoiseOverlay, 0, // 4/38
    297, 1, kDrawBlockScene, 0,                                                     // 4/41
    302, 2, kDrawNoiseFan, kDrawMessageSpam, 0,                                     // 4/46
    303, 1, kDrawBlockScene, 0,                                                     // 4/47
    308, 4, kDrawCrossedStripes, kDrawMessageSpam, kDrawDarkBars, kDrawBlackNoiseOverlay, 0, // 4/52
    312, 1, kDrawBlockScene, 0,                                                     // 4/56
    320, 5, kDrawSpinningBlocks, kDrawWordCascade, kDrawBeatWords, kDrawRandomStormOverlay,
        kDrawRandomNoiseOverlay, 0,                                                 // 5/0
    448, 1, kDrawBlockScene, 0,                                                     // 7/0
    528, 2, kDrawBlockScene, kDrawFadeOut, 0,                                       // 8/16
    560, 2, kDrawClosingScreen, kDrawFadeIn, 0,                                     // 8/48
    640, 2, kDrawClosingScreen, kDrawFadeOut, 0,                                    // 10/0
    656, 0,                                                                         // 10/16: end of show
};

const uint32_t init_task_list[] = {
    4, kPrepareCurves, kInitBlockFont, kInitBlockScene, kInitNoiseTextures,
};
