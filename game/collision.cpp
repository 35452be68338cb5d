#include "game/collision.h"

namespace {

// The bird's collision shape is four points inside its drawn square, a little
// forgiving at the beak, the tail and the feathers on top.
constexpr int kHitLeftX = kBirdX + 10;
constexpr int kHitRightX = kBirdX + 40;
constexpr int kHitTopOffset = 12;
constexpr int kHitBottomOffset = 27;

bool contains(const SDL_Rect& rect, int px, std::int64_t py) {
    return rect.x <= px && px <= rect.x + rect.w && rect.y <= py &&
           py <= static_cast<std::int64_t>(rect.y) + rect.h;
}

bool touches(const SDL_Rect& rect, std::int64_t birdY) {
    const std::int64_t upper = birdY + kHitTopOffset;
    const std::int64_t lower = birdY + kHitBottomOffset;
    return contains(rect, kHitLeftX, upper) || contains(rect, kHitRightX, upper) ||
           contains(rect, kHitLeftX, lower) || contains(rect, kHitRightX, lower);
}

}  // namespace

bool birdHitsObstacle(const GameState& state) {
    for (const PipePair& pair : state.pipes) {
        if (touches(pair.top, state.birdY) || touches(pair.bottom, state.birdY)) {
            return true;
        }
    }
    return state.birdY > kWindowHeight;
}
