// The game in a web page: the shared start-up, then the browser runs one pass
// of the loop at a time, since a page must hand control back between passes
// to draw, take keys and play sound. The page starts main() at the player's
// first tap, click or key, and sizes the canvas to the screen.
#include <SDL.h>
#include <emscripten.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "app/main_loop.h"
#include "app/media.h"
#include "app/startup.h"
#include "game/state.h"

namespace {

GameState gState;
Media gMedia;

// Passes are timed so that one lands just as each world tick falls due: a
// pass per display frame alone would tick every second frame, 33 ms at 60 Hz,
// and slow the game by 7 %. In between, a pass at least every display frame
// shows a jump's new tilt and a restart without waiting for the tick.
constexpr std::uint32_t kDisplayFrameMs = 16;
// The browser's timer wakes late by a millisecond or so, and rounds its wait
// down; so the loop asks to be woken this much before the tick is due and
// waits out the rest itself.
constexpr std::uint32_t kWakeEarlyMs = 2;
constexpr std::uint32_t kLongestWaitOutMs = kWakeEarlyMs + 1;

void scheduleNextPass() {
    if (!gState.alive) {
        // Nothing moves until a restart: look for keys once a display frame.
        emscripten_set_main_loop_timing(EM_TIMING_RAF, 1);
        return;
    }
    const std::uint32_t untilDueMs = msUntilTickDue(readClockMs(), gState.lastTickMs);
    const std::uint32_t waitMs =
        std::min(untilDueMs > kWakeEarlyMs ? untilDueMs - kWakeEarlyMs : 0, kDisplayFrameMs);
    emscripten_set_main_loop_timing(EM_TIMING_SETTIMEOUT, static_cast<int>(waitMs));
}

// Spins out the last few milliseconds before a tick falls due, so that it
// runs on time; a longer wait is left to the timer.
void waitOutTickDue() {
    const std::uint32_t untilDueMs = msUntilTickDue(readClockMs(), gState.lastTickMs);
    if (untilDueMs == 0 || untilDueMs > kLongestWaitOutMs) {
        return;
    }
    while (msUntilTickDue(readClockMs(), gState.lastTickMs) > 0) {
    }
}

// The clock readings of the latest world ticks, for the page's tests and
// benchmarks to read back; the game itself never looks at them.
constexpr std::uint32_t kKeptTicks = 1024;
std::uint32_t gTickCount = 0;
std::int32_t gTickReadings[kKeptTicks] = {};

void runOnePass() {
    waitOutTickDue();
    const std::int32_t lastTickBefore = gState.lastTickMs;
    if (!runPass(gState, gMedia, readClockMs)) {
        emscripten_cancel_main_loop();
        return;
    }
    if (gState.lastTickMs != lastTickBefore) {
        gTickReadings[gTickCount % kKeptTicks] = gState.lastTickMs;
        ++gTickCount;
    }
    scheduleNextPass();
}

// Redraws the picture at once after the drawing buffer changed size, which
// blanks it: a game that is over goes on showing its last frame. The state
// is drawn as it stands; nothing moves.
void drawAgain() {
    SDL_RenderClear(gMedia.renderer);
    drawFrame(gState, gMedia);
    SDL_RenderPresent(gMedia.renderer);
}

// A drawing buffer larger than this may be refused by the graphics driver.
constexpr int kLargestCanvasSide = 4096;

}  // namespace

extern "C" {

// The page sizes the canvas to the largest square the screen has room for
// and hands the game its side in device pixels. The drawing buffer gets that
// many pixels, and the renderer scales the game's 800 x 800 picture into it,
// so that the picture is drawn at the screen's own resolution instead of
// being stretched from 800 pixels by the browser.
EMSCRIPTEN_KEEPALIVE void zephrin_fit_canvas(int side) {
    if (gMedia.window == nullptr || gMedia.renderer == nullptr) {
        return;
    }
    side = std::clamp(side, 1, kLargestCanvasSide);
    int width = 0;
    int height = 0;
    SDL_GetWindowSize(gMedia.window, &width, &height);
    if (width == side && height == side) {
        return;
    }
    SDL_SetWindowSize(gMedia.window, side, side);
    drawAgain();
}

// How many world ticks have run since the start.
EMSCRIPTEN_KEEPALIVE std::uint32_t zephrin_tick_count() {
    return gTickCount;
}

// The clock reading of tick number `tick` (counted from 0), while it is among
// the latest 1024; -1 otherwise.
EMSCRIPTEN_KEEPALIVE std::int32_t zephrin_tick_reading(std::uint32_t tick) {
    const bool kept = tick < gTickCount && gTickCount - tick <= kKeptTicks;
    return kept ? gTickReadings[tick % kKeptTicks] : -1;
}

}  // extern "C"

int main() {
    if (!startGame(gState, gMedia)) {
        return EXIT_FAILURE;
    }
    // Returns at once; the page keeps the game running after main ends.
    emscripten_set_main_loop(runOnePass, 0, false);
    scheduleNextPass();
    return EXIT_SUCCESS;
}
