// Placeholder until the player is built.
#include "player/player.h"
