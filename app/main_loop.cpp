#include "app/main_loop.h"

#include <SDL.h>

#include "game/bird.h"
#include "game/collision.h"
#include "game/pipes.h"
#include "game/score.h"

namespace {

// False when the player asked to quit.
bool handleEvents(GameState& state) {
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) {
        if (event.type == SDL_QUIT) {
            return false;
        }
        if (event.type != SDL_KEYDOWN) {
            continue;
        }
        // By key code, so the key that types a space or an r, whatever the layout.
        // Key repeats count as presses.
        if (event.key.keysym.sym == SDLK_SPACE) {
            jump(state);
        } else if (event.key.keysym.sym == SDLK_r) {
            resetGame(state);
        }
    }
    return true;
}

void tickWorld(GameState& state, const Media& media) {
    advanceBird(state);
    scrollPipes(state);
    awardPassingPoint(state, media.dingSound);
}

void drawBackground(SDL_Renderer* renderer, SDL_Texture* backgroundTexture) {
    SDL_RenderCopyEx(renderer, backgroundTexture, nullptr, nullptr, 0.0, nullptr, SDL_FLIP_NONE);
}

}  // namespace

void drawFrame(const GameState& state, const Media& media) {
    drawBackground(media.renderer, media.backgroundTexture);
    drawPipes(media.renderer, state, media.pipeBodyTexture, media.pipeHeadTexture);
    drawScore(media.renderer, state.score, media.scoreSheetTexture);
    drawBird(media.renderer, state, media.birdTexture);
}

std::uint32_t readClockMs() {
    return SDL_GetTicks();
}

bool tickIsDue(std::uint32_t nowMs, std::int32_t lastTickMs) {
    return nowMs - static_cast<std::uint32_t>(lastTickMs) > kTickThresholdMs;
}

std::uint32_t msUntilTickDue(std::uint32_t nowMs, std::int32_t lastTickMs) {
    const std::uint32_t elapsedMs = nowMs - static_cast<std::uint32_t>(lastTickMs);
    return elapsedMs > kTickThresholdMs ? 0 : kTickThresholdMs + 1 - elapsedMs;
}

bool runPass(GameState& state, const Media& media, ClockReader readClock) {
    if (!handleEvents(state)) {
        return false;
    }
    if (birdHitsObstacle(state)) {
        state.alive = false;
    }
    if (!state.alive) {
        return true;  // the last frame stays on screen until a restart
    }
    SDL_RenderClear(media.renderer);
    const std::uint32_t nowMs = readClock();
    if (tickIsDue(nowMs, state.lastTickMs)) {
        tickWorld(state, media);
        state.lastTickMs = static_cast<std::int32_t>(nowMs);
    }
    drawFrame(state, media);
    SDL_RenderPresent(media.renderer);
    return true;
}

int runMainLoop(GameState& state, const Media& media) {
    while (runPass(state, media, readClockMs)) {
    }
    return 0;
}
