#include "game/state.h"

#include <cstdlib>

namespace {

constexpr int kFirstPipeX = 1000;
constexpr int kPipeSpacing = 350;
constexpr int kGapPositions = 400;  // the gap's upper edge lies from 200 to 599
constexpr int kTopPipeMinHeight = 200;

}  // namespace

void placePipePair(PipePair& pair, int x) {
    const int r = std::rand() % kGapPositions;
    pair.top = {x, 0, kPipeWidth, r + kTopPipeMinHeight};
    pair.bottom = {x, r + kTopPipeMinHeight + kPipeGap, kPipeWidth,
                   kWindowHeight - kTopPipeMinHeight - kPipeGap - r};
}

void resetPipes(GameState& state) {
    for (int i = 0; i < kPipePairCount; ++i) {
        placePipePair(state.pipes[i], kFirstPipeX + kPipeSpacing * i);
    }
}

void resetGame(GameState& state) {
    resetPipes(state);  // draws the ten random gaps before anything else changes
    state.birdSize = 50;
    state.birdY = 400;
    state.birdVelocity = -70.0f;
    state.gravity = 15.0f;
    state.alive = true;
    state.score = 0;
}
