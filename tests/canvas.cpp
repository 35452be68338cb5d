#include "tests/canvas.h"

#include <vector>

namespace testing_support {

namespace {

SDL_Texture* textureFromPixels(SDL_Renderer* renderer, int w, int h,
                               std::vector<std::uint32_t>& pixels) {
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), w, h, 32, w * 4,
                                                              SDL_PIXELFORMAT_ARGB8888);
    SDL_Texture* texture = SDL_CreateTextureFromSurface(renderer, surface);
    SDL_FreeSurface(surface);
    return texture;
}

}  // namespace

void useHeadlessDrivers() {
    SDL_setenv("SDL_VIDEODRIVER", "dummy", 1);
    SDL_setenv("SDL_AUDIODRIVER", "dummy", 1);
}

Canvas makeCanvas() {
    Canvas canvas;
    canvas.surface = SDL_CreateRGBSurfaceWithFormat(0, 800, 800, 32, SDL_PIXELFORMAT_ARGB8888);
    canvas.renderer = SDL_CreateSoftwareRenderer(canvas.surface);
    return canvas;
}

void destroyCanvas(Canvas& canvas) {
    SDL_DestroyRenderer(canvas.renderer);
    SDL_FreeSurface(canvas.surface);
    canvas = {};
}

void paint(Canvas& canvas, std::uint32_t argb) {
    SDL_FillRect(canvas.surface, nullptr, argb);
}

std::uint32_t pixelAt(const Canvas& canvas, int x, int y) {
    const auto* row =
        static_cast<const std::uint8_t*>(canvas.surface->pixels) + y * canvas.surface->pitch;
    return reinterpret_cast<const std::uint32_t*>(row)[x];
}

SDL_Texture* makeBandedTexture(SDL_Renderer* renderer, int w, int h,
                               std::initializer_list<std::uint32_t> bandColours) {
    std::vector<std::uint32_t> pixels(static_cast<size_t>(w * h));
    const int bands = static_cast<int>(bandColours.size());
    for (int y = 0; y < h; ++y) {
        const std::uint32_t colour = bandColours.begin()[y * bands / h];
        for (int x = 0; x < w; ++x) {
            pixels[static_cast<size_t>(y * w + x)] = colour;
        }
    }
    return textureFromPixels(renderer, w, h, pixels);
}

SDL_Texture* makeColumnTexture(SDL_Renderer* renderer, int w, int h,
                               std::initializer_list<std::uint32_t> bandColours) {
    std::vector<std::uint32_t> pixels(static_cast<size_t>(w * h));
    const int bands = static_cast<int>(bandColours.size());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            pixels[static_cast<size_t>(y * w + x)] = bandColours.begin()[x * bands / w];
        }
    }
    return textureFromPixels(renderer, w, h, pixels);
}

}  // namespace testing_support
