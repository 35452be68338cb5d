#include "game/bird.h"

#include <SDL_render.h>

#include <cfloat>

// Each step of the motion rounds to double as it goes; a floating-point unit
// that keeps wider intermediates (the x87's) flies the bird elsewhere. The
// build also forbids fusing a step's multiply and add (cmake/ExactMath.cmake).
static_assert(FLT_EVAL_METHOD == 0, "build with SSE2 arithmetic: -msse2 -mfpmath=sse");
// Nor may it compute fast: -ffast-math or -Ofast multiplies by 0.33333334f
// for the tilt's division by 3, and regroups or fuses the motion's steps;
// the build's own options, which come after them, take them back.
#if defined(__FAST_MATH__) || __FINITE_MATH_ONLY__
#error "fast math flies another bird: end the flags with -ffp-contract=off -fno-fast-math"
#endif

namespace {

// A tick is 0.4 of a velocity unit; the double nearest 0.4, not the float.
constexpr double kTickScale = 0.4;

}  // namespace

void jump(GameState& state) {
    state.birdVelocity = kJumpVelocity;
}

void advanceBird(GameState& state) {
    state.birdVelocity = static_cast<float>(static_cast<double>(state.gravity) * kTickScale +
                                            static_cast<double>(state.birdVelocity));
    state.birdY = static_cast<std::int32_t>(static_cast<double>(state.birdVelocity) * kTickScale +
                                            static_cast<double>(state.birdY));
}

double birdAngle(const GameState& state) {
    return static_cast<double>(state.birdVelocity / 3.0f);  // divided in float, then widened
}

void drawBird(SDL_Renderer* renderer, const GameState& state, SDL_Texture* birdTexture) {
    const SDL_Rect destination{kBirdX, state.birdY, state.birdSize, state.birdSize};
    SDL_RenderCopyEx(renderer, birdTexture, nullptr, &destination, birdAngle(state), nullptr,
                     SDL_FLIP_NONE);
}
