// A software renderer drawing into an 800 x 800 surface, so tests can read
// back exactly what a frame shows, and textures made of plain colour bands.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <initializer_list>

namespace testing_support {

constexpr std::uint32_t kBlack = 0xFF000000;
constexpr std::uint32_t kRed = 0xFFFF0000;
constexpr std::uint32_t kGreen = 0xFF00FF00;
constexpr std::uint32_t kBlue = 0xFF0000FF;
constexpr std::uint32_t kYellow = 0xFFFFFF00;
constexpr std::uint32_t kWhite = 0xFFFFFFFF;
constexpr std::uint32_t kGrey = 0xFF808080;

struct Canvas {
    SDL_Surface* surface = nullptr;
    SDL_Renderer* renderer = nullptr;
};

// Tests never open a real display or sound device.
void useHeadlessDrivers();

Canvas makeCanvas();
void destroyCanvas(Canvas& canvas);

// Fills the whole surface, bypassing the renderer: shows what a pass left alone.
void paint(Canvas& canvas, std::uint32_t argb);

std::uint32_t pixelAt(const Canvas& canvas, int x, int y);

// A w x h texture split into equal horizontal bands, top to bottom.
SDL_Texture* makeBandedTexture(SDL_Renderer* renderer, int w, int h,
                               std::initializer_list<std::uint32_t> bandColours);

// A w x h texture split into equal vertical bands, left to right.
SDL_Texture* makeColumnTexture(SDL_Renderer* renderer, int w, int h,
                               std::initializer_list<std::uint32_t> bandColours);

}  // namespace testing_support
