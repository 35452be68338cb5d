// Everything the game shows and plays, loaded once at start-up and kept until
// the process ends.
#pragma once

#include <SDL_mixer.h>
#include <SDL_render.h>
#include <SDL_video.h>

#include <cstdint>

struct Media {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* birdTexture = nullptr;
    SDL_Texture* pipeBodyTexture = nullptr;
    SDL_Texture* pipeHeadTexture = nullptr;
    SDL_Texture* backgroundTexture = nullptr;
    SDL_Texture* scoreSheetTexture = nullptr;
    Mix_Music* backgroundMusic = nullptr;
    Mix_Chunk* dingSound = nullptr;
};

// Loads the five images into textures for media.renderer, opens the audio
// device, starts the looping music and loads the ding, all from paths relative
// to the working directory. Whatever fails to load stays null, with one line
// on stderr naming it, and the game runs on without it.
void loadMedia(Media& media);

// All the media together may hold this much memory: the pictures (each
// decoded surface, its texture and the buffer that converts one into the
// other, 12 bytes a pixel), the ding decoded and converted. The largest
// picture the game decodes, 4096 x 4096, takes 192 MiB of it, and leaves
// room for a ding of half a minute. With the rest of the game, about 110 MB,
// that stays under 300 MB whatever the files are. A file that would take
// the media past it is refused before it is decoded.
constexpr std::uint64_t kMediaBudgetBytes = std::uint64_t{216} << 20;

// The largest texture a renderer takes, each side on its own.
struct TextureLimit {
    // Where SDL reports no limit, none of its renderers takes more.
    static constexpr std::uint32_t kAssumedSide = 16384;
    std::uint32_t width = kAssumedSide;
    std::uint32_t height = kAssumedSide;
};
TextureLimit largestTexture(SDL_Renderer* renderer);

// The one kind of line the game prints: "zephrin: <what>: <SDL's reason>".
void reportFailure(const char* what);
