// The start-up every platform shares: everything between the process's own
// first steps and the first pass of the main loop.
#pragma once

#include "app/media.h"
#include "game/state.h"

// Seeds the pipe gaps, starts SDL, opens the 800 x 800 window titled
// "Zephrin" with its renderer (on a screen too small for it, a smaller
// square; in a window of any size the 800 x 800 picture is scaled into the
// largest centred square), loads the media, resets the game and starts its
// tick clock. False, with one line on stderr, when there is nothing to
// show the game in (no display, no window, no renderer).
bool startGame(GameState& state, Media& media);
