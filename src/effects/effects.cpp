// The procedure tables, laid out by the lists of data/show_procedures.h.
#include "effects/effects.h"

#include "show/curves.h"

#define SHOW_PROCEDURE(procedure, ...) procedure,
const SceneHandler scene_procedures[kSceneCount] = {SHOW_SCENES(SHOW_PROCEDURE)};
const InitTask init_procedures[kInitTaskCount] = {SHOW_INIT_TASKS(SHOW_PROCEDURE)};
#undef SHOW_PROCEDURE
