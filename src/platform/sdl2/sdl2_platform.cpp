// SDL2 backend (placeholder until the skeleton is built).
#include "platform/platform.h"
