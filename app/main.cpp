// Start-up: the window, the renderer, the media, a fresh game, then the loop.
#include <SDL.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "app/console.h"
#include "app/main_loop.h"
#include "app/media.h"
#include "game/state.h"

namespace {

// SDL quietly falls back to a driver that shows nothing when it finds no
// display; a player would get an invisible game that cannot be closed.
bool fellBackToInvisibleVideo() {
    if (SDL_getenv("SDL_VIDEODRIVER") != nullptr) {
        return false;  // asked for on purpose, as the headless tests do
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver != nullptr &&
           (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
}

// Virtual machines and remote desktops may have no accelerated renderer; the
// software one still shows the game.
SDL_Renderer* createRenderer(SDL_Window* window) {
    SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED);
    if (renderer == nullptr) {
        renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
    }
    return renderer;
}

int giveUp(const char* what) {
    reportFailure(what);
    return EXIT_FAILURE;
}

}  // namespace

int main(int /*argc*/, char* /*argv*/[]) {
    releaseOwnConsole();
    std::srand(static_cast<unsigned>(std::time(nullptr)));

    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        return giveUp("cannot start SDL");
    }
    if (fellBackToInvisibleVideo()) {
        SDL_SetError("no display found (SDL chose the '%s' video driver); is DISPLAY set?",
                     SDL_GetCurrentVideoDriver());
        return giveUp("cannot open the window");
    }

    Media media;
    media.window = SDL_CreateWindow("Zephrin", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                    kWindowWidth, kWindowHeight, SDL_WINDOW_SHOWN);
    if (media.window == nullptr) {
        return giveUp("cannot open the window");
    }
    media.renderer = createRenderer(media.window);
    if (media.renderer == nullptr) {
        return giveUp("cannot create a renderer");
    }
    loadMedia(media);

    static GameState state;
    resetGame(state);
    state.lastTickMs = static_cast<std::int32_t>(readClockMs());
    return runMainLoop(state, media);
}
