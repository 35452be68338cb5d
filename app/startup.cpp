#include "app/startup.h"

#include <SDL.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>

#include "app/main_loop.h"
#include "app/window_size.h"

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

// A laptop's 1366 x 768 screen, or a desktop scaled to 125 % and more,
// cannot show the 800 x 800 window whole: its bottom rows, where the bird
// falls out of the game, would be off the screen. There the window is a
// smaller square. On Windows the game leaves DPI scaling to the system, so
// the usable area and the window size are both counted in the desktop's
// scaled pixels and the window keeps the size players know. A web page
// scrolls, so the browser's canvas stays as designed.
std::optional<SDL_Rect> shrunkWindow() {
#ifdef __EMSCRIPTEN__
    return std::nullopt;
#else
    SDL_Rect usable{};
    if (SDL_GetDisplayUsableBounds(0, &usable) != 0) {
        return std::nullopt;
    }
    return shrunkClientArea(usable);
#endif
}

SDL_Window* openWindow(const std::optional<SDL_Rect>& shrunk) {
    if (!shrunk) {
        return SDL_CreateWindow("Zephrin", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                kWindowWidth, kWindowHeight, SDL_WINDOW_SHOWN);
    }
    // Scaling down by a fraction: blend neighbouring pixels rather than drop
    // whole rows and columns of the pictures.
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
    return SDL_CreateWindow("Zephrin", shrunk->x, shrunk->y, shrunk->w, shrunk->h,
                            SDL_WINDOW_SHOWN);
}

bool onWayland() {
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver != nullptr && std::strcmp(driver, "wayland") == 0;
}

// SDL decides how a Wayland window gets its title bar twice. When it starts,
// it takes libdecor to draw one wherever the compositor offers no way to draw
// it for the window (GNOME, weston); that stays. When it shows the window, a
// compositor that offers that way may still answer that the window draws its
// own (cage, the kiosk compositor): SDL 2.26 then changes the window into a
// libdecor one but never shows it again, and the game plays on behind a
// black screen. Refused libdecor from here on, the window stays shown as it
// is, without a title bar, as a kiosk wants it. A player's own
// SDL_VIDEO_WAYLAND_ALLOW_LIBDECOR still decides.
void keepTheWaylandWindowShown() {
    SDL_SetHint(SDL_HINT_VIDEO_WAYLAND_ALLOW_LIBDECOR, "0");
}

// A tiling Wayland compositor floats a window whose least and greatest sizes
// are both its size, as X11 window managers do with the size hints SDL sets
// there, instead of stretching it over a tile.
void declareFixedSize(SDL_Window* window, int width, int height) {
    SDL_SetWindowMinimumSize(window, width, height);
    SDL_SetWindowMaximumSize(window, width, height);
}

bool giveUp(const char* what) {
    reportFailure(what);
    return false;
}

}  // namespace

bool startGame(GameState& state, Media& media) {
    std::srand(static_cast<unsigned>(std::time(nullptr)));

    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        return giveUp("cannot start SDL");
    }
    if (fellBackToInvisibleVideo()) {
        SDL_SetError("no display found (SDL chose the '%s' video driver); is DISPLAY set?",
                     SDL_GetCurrentVideoDriver());
        return giveUp("cannot open the window");
    }

    if (onWayland()) {
        keepTheWaylandWindowShown();
    }
    const std::optional<SDL_Rect> shrunk = shrunkWindow();
    media.window = openWindow(shrunk);
    if (media.window == nullptr) {
        return giveUp("cannot open the window");
    }
    if (onWayland()) {
        declareFixedSize(media.window, shrunk ? shrunk->w : kWindowWidth,
                         shrunk ? shrunk->h : kWindowHeight);
    }
    media.renderer = createRenderer(media.window);
    if (media.renderer == nullptr) {
        return giveUp("cannot create a renderer");
    }
    // Every draw call keeps its 800 x 800 window pixels, whatever size the
    // window has: one the game shrank, one a tiling window manager or a kiosk
    // made another size, at once or later. The renderer scales the picture
    // into the largest centred square and clears the rest black.
    SDL_RenderSetLogicalSize(media.renderer, kWindowWidth, kWindowHeight);
    loadMedia(media);

    resetGame(state);
    state.lastTickMs = static_cast<std::int32_t>(readClockMs());
    return true;
}
