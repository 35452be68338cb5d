// The loop that runs the game from start-up until the window is closed.
#pragma once

#include <cstdint>

#include "app/media.h"
#include "game/state.h"

// Where a pass reads the time: milliseconds of wall time, wrapping at 2^32.
using ClockReader = std::uint32_t (*)();

// The game's clock: milliseconds since SDL started.
std::uint32_t readClockMs();

// True when more than the tick threshold has passed since lastTickMs; stays
// right across the wrap of the 32-bit millisecond counter.
bool tickIsDue(std::uint32_t nowMs, std::int32_t lastTickMs);

// Milliseconds from nowMs until tickIsDue turns true; 0 once it is. A loop
// that waits between passes wakes then, so that its ticks keep to 31 ms.
std::uint32_t msUntilTickDue(std::uint32_t nowMs, std::int32_t lastTickMs);

// Draws the picture of the state: the background, the pipes, the score and
// the bird, in that order, without clearing or presenting.
void drawFrame(const GameState& state, const Media& media);

// One pass: drain the events, test for game over, and while the game runs,
// clear, tick the world when due, draw and present. False once a quit event
// arrives; the events queued behind it stay unhandled.
bool runPass(GameState& state, const Media& media, ClockReader readClock);

// Runs passes without pause until the window is closed; then returns 0.
int runMainLoop(GameState& state, const Media& media);
