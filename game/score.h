// Points, the ding, and the digits near the top of the window.
#pragma once

#include "game/state.h"

struct SDL_Renderer;
struct SDL_Texture;
struct Mix_Chunk;

// One point for the first pipe rectangle whose left edge stands from 290 to
// 299; a ding on every tenth point.
void awardPassingPoint(GameState& state, Mix_Chunk* dingSound);

// The score centred on x = 400, digits 40 x 50 cut from 50-wide cells of the
// sheet, least significant first. Nothing at all for a score of 0.
void drawScore(SDL_Renderer* renderer, int score, SDL_Texture* scoreSheetTexture);
