// The whole state of play: one copyable record, plus the playfield constants
// that every rule and every sprite shares.
#pragma once

#include <SDL_rect.h>

#include <cstdint>

constexpr int kWindowWidth = 800;
constexpr int kWindowHeight = 800;
constexpr int kBirdX = 300;  // the bird only ever moves vertically
constexpr int kPipeWidth = 50;
constexpr int kPipeGap = 120;
constexpr int kPipeHeadHeight = 30;
constexpr int kPipePairCount = 10;
constexpr std::uint32_t kTickThresholdMs = 30;  // a tick needs strictly more than this

// A pipe pair: `top` hangs from y = 0, `bottom` stands on y = 800. Both share
// their x, and the gap between them is always kPipeGap tall.
struct PipePair {
    SDL_Rect top;
    SDL_Rect bottom;
};

struct GameState {
    PipePair pipes[kPipePairCount];  // the order of every scan over the field
    std::int32_t birdY;              // top edge of the bird, y grows downward
    float birdVelocity;              // negative is upward
    float gravity;
    std::int32_t birdSize;
    std::int32_t score;
    bool alive;
    std::int32_t lastTickMs;  // clock reading of the last world tick
};

// Gives a pair at column x a fresh random gap: one rand() call.
void placePipePair(PipePair& pair, int x);

// Lays the ten pairs out from x = 1000, 350 apart, each with its own gap.
void resetPipes(GameState& state);

// Starts a new game; leaves lastTickMs alone so the tick clock keeps running.
void resetGame(GameState& state);
