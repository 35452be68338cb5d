// The pipe field: ten pairs that scroll left and are recycled behind the last.
#pragma once

#include "game/state.h"

struct SDL_Renderer;
struct SDL_Texture;

constexpr int kPipeStep = 10;        // pixels per world tick
constexpr int kPipeRecycleX = 3500;  // where a pair that left on the left comes back

// Moves every pair 10 pixels left; a pair at x <= 0 goes back to 3500 with a
// new gap, keeping its place in the array.
void scrollPipes(GameState& state);

// Draws each pair whose left edge is inside the window: bodies stretched,
// heads at the gap ends, the top pipe upside down.
void drawPipes(SDL_Renderer* renderer, const GameState& state, SDL_Texture* pipeBodyTexture,
               SDL_Texture* pipeHeadTexture);
