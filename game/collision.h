// The game-over test.
#pragma once

#include "game/state.h"

// True when one of the bird's four collision points touches a pipe rectangle
// (edges included), or when the bird has dropped below the window.
bool birdHitsObstacle(const GameState& state);
