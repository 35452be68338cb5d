// The bird: the one thing the player steers.
#pragma once

#include "game/state.h"

struct SDL_Renderer;
struct SDL_Texture;

constexpr float kJumpVelocity = -45.0f;

// Sets the upward velocity; works whether or not the game is over.
void jump(GameState& state);

// One tick of flight: gravity into the velocity, then the velocity into the
// position, in double precision, truncated toward zero. No clamping anywhere.
void advanceBird(GameState& state);

// The bird's angle in degrees: it tilts with its velocity, clockwise when falling.
double birdAngle(const GameState& state);

void drawBird(SDL_Renderer* renderer, const GameState& state, SDL_Texture* birdTexture);
