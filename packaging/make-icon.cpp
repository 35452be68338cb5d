// Scales an image onto a transparent square, centred and keeping its aspect:
//   zephrin-make-icon <in.png> <size> <out.png>
// Nearest-neighbour scaling, so the same input always gives the same icon.
#define SDL_MAIN_HANDLED
#include <SDL.h>
#include <SDL_image.h>

#include <cstdio>
#include <cstdlib>

namespace {

int fail(const char* what, const char* path) {
    std::fprintf(stderr, "zephrin-make-icon: %s %s: %s\n", what, path, SDL_GetError());
    return EXIT_FAILURE;
}

}  // namespace

int main(int argc, char* argv[]) {
    const int size = argc == 4 ? std::atoi(argv[2]) : 0;
    if (size <= 0) {
        std::fprintf(stderr, "usage: zephrin-make-icon <in.png> <size> <out.png>\n");
        return EXIT_FAILURE;
    }
    SDL_Surface* loaded = IMG_Load(argv[1]);
    if (loaded == nullptr) {
        return fail("cannot load", argv[1]);
    }
    SDL_Surface* image = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0);
    SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormat(0, size, size, 32, SDL_PIXELFORMAT_ARGB8888);
    if (image == nullptr || icon == nullptr) {
        return fail("cannot convert", argv[1]);
    }
    // Copy the pixels with their alpha instead of blending onto the empty square.
    SDL_SetSurfaceBlendMode(image, SDL_BLENDMODE_NONE);
    SDL_FillRect(icon, nullptr, SDL_MapRGBA(icon->format, 0, 0, 0, 0));

    SDL_Rect target{0, 0, size, size};
    if (image->w > image->h) {
        target.h = SDL_max(1, image->h * size / image->w);
        target.y = (size - target.h) / 2;
    } else if (image->h > image->w) {
        target.w = SDL_max(1, image->w * size / image->h);
        target.x = (size - target.w) / 2;
    }
    if (SDL_BlitScaled(image, nullptr, icon, &target) != 0) {
        return fail("cannot scale", argv[1]);
    }
    if (IMG_SavePNG(icon, argv[3]) != 0) {
        return fail("cannot write", argv[3]);
    }
    SDL_FreeSurface(icon);
    SDL_FreeSurface(image);
    SDL_FreeSurface(loaded);
    return EXIT_SUCCESS;
}
