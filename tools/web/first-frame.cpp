// Draws the picture a new game shows first, before its first world tick,
// with the game's own drawing and media, into an image file: the web page
// shows it while the program loads and until the player starts.
//   zephrin-first-frame <out.jpg|out.png>
// Run in the folder that holds Images/ and Sounds/, as the game is.
#define SDL_MAIN_HANDLED
#include <SDL.h>
#include <SDL_image.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/main_loop.h"
#include "app/media.h"
#include "game/state.h"

namespace {

constexpr int kJpegQuality = 85;

bool endsWith(const char* text, const char* end) {
    const std::size_t length = std::strlen(text);
    const std::size_t endLength = std::strlen(end);
    return length >= endLength && std::strcmp(text + length - endLength, end) == 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zephrin-first-frame <out.jpg|out.png>\n");
        return EXIT_FAILURE;
    }
    // The music is opened and started as in the game, on a device that plays nothing.
    SDL_SetHint(SDL_HINT_AUDIODRIVER, "dummy");
    if (SDL_Init(SDL_INIT_AUDIO) != 0) {
        reportFailure("cannot start SDL");
        return EXIT_FAILURE;
    }
    SDL_Surface* frame = SDL_CreateRGBSurfaceWithFormat(0, kWindowWidth, kWindowHeight, 32,
                                                        SDL_PIXELFORMAT_ARGB8888);
    Media media;
    media.renderer = frame != nullptr ? SDL_CreateSoftwareRenderer(frame) : nullptr;
    if (media.renderer == nullptr) {
        reportFailure("cannot create a renderer");
        return EXIT_FAILURE;
    }
    loadMedia(media);
    GameState state;
    resetGame(state);
    SDL_RenderClear(media.renderer);
    drawFrame(state, media);
    SDL_RenderPresent(media.renderer);

    const char* out = argv[1];
    const bool jpeg = endsWith(out, ".jpg");
    if ((jpeg ? IMG_SaveJPG(frame, out, kJpegQuality) : IMG_SavePNG(frame, out)) != 0) {
        reportFailure("cannot write the picture");
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}
