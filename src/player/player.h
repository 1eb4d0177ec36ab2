// The module player's public procedures (placeholder until the player is built).
#pragma once
