#include "app/media.h"

#include <SDL.h>
#include <SDL_image.h>
#include <SDL_mixer.h>

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

// The decoders under SDL_image and SDL_mixer (libpng, mpg123) print their own
// complaints about a broken file on stderr. The game's one line for the file
// already gives SDL's reason, so stderr is shut while a file is decoded.
class StderrSilenced {
public:
    StderrSilenced() {
        std::fflush(stderr);
        saved_ = dup(fileno(stderr));
#ifdef _WIN32
        std::FILE* sink = std::fopen("NUL", "w");
#else
        std::FILE* sink = std::fopen("/dev/null", "w");
#endif
        if (sink != nullptr) {
            dup2(fileno(sink), fileno(stderr));
            std::fclose(sink);
        }
    }
    ~StderrSilenced() {
        std::fflush(stderr);
        if (saved_ >= 0) {
            dup2(saved_, fileno(stderr));
            close(saved_);
        }
    }
    StderrSilenced(const StderrSilenced&) = delete;
    StderrSilenced& operator=(const StderrSilenced&) = delete;

private:
    int saved_ = -1;
};

constexpr int kMixerFrequencyHz = 22050;
constexpr int kMixerChannels = 2;
constexpr int kMixerChunkSamples = 4096;
constexpr int kLoopForever = -1;

struct ImageSlot {
    const char* path;
    SDL_Texture* Media::*texture;
};

// Loading order is fixed: every image first, then one texture of each.
constexpr ImageSlot kImages[] = {
    {"Images/Bird.png", &Media::birdTexture},
    {"Images/Pipe_Body.png", &Media::pipeBodyTexture},
    {"Images/Pipe_Head.png", &Media::pipeHeadTexture},
    {"Images/Background.png", &Media::backgroundTexture},
    {"Images/ScoreSheet.png", &Media::scoreSheetTexture},
};
constexpr int kImageCount = sizeof(kImages) / sizeof(kImages[0]);

void reportFileFailure(const char* path) {
    std::fprintf(stderr, "zephrin: cannot load %s: %s\n", path, SDL_GetError());
}

void loadImages(Media& media) {
    SDL_Surface* surfaces[kImageCount] = {};
    for (int i = 0; i < kImageCount; ++i) {
        {
            const StderrSilenced quiet;
            surfaces[i] = IMG_Load(kImages[i].path);
        }
        if (surfaces[i] == nullptr) {
            reportFileFailure(kImages[i].path);
        }
    }
    // The surfaces are kept until the process ends, like every other medium.
    for (int i = 0; i < kImageCount; ++i) {
        if (surfaces[i] == nullptr) {
            continue;
        }
        SDL_Texture* texture = SDL_CreateTextureFromSurface(media.renderer, surfaces[i]);
        if (texture == nullptr) {
            reportFileFailure(kImages[i].path);
        }
        media.*kImages[i].texture = texture;
    }
}

void loadSounds(Media& media) {
    if (Mix_OpenAudio(kMixerFrequencyHz, AUDIO_S16LSB, kMixerChannels, kMixerChunkSamples) != 0) {
        reportFailure("cannot open audio, playing silent");
        return;  // nothing would be heard, and every load would fail for the same reason
    }
    const char* musicPath = "Sounds/BackgroundMusic.mp3";
    {
        const StderrSilenced quiet;
        media.backgroundMusic = Mix_LoadMUS(musicPath);
    }
    if (media.backgroundMusic == nullptr) {
        reportFileFailure(musicPath);
    } else if (Mix_PlayMusic(media.backgroundMusic, kLoopForever) != 0) {
        reportFailure("cannot play the music");
    }

    const char* dingPath = "Sounds/Ding.wav";
    SDL_RWops* dingFile = SDL_RWFromFile(dingPath, "rb");
    media.dingSound = dingFile != nullptr ? Mix_LoadWAV_RW(dingFile, 1) : nullptr;
    if (media.dingSound == nullptr) {
        reportFileFailure(dingPath);
    }
}

}  // namespace

void reportFailure(const char* what) {
    std::fprintf(stderr, "zephrin: %s: %s\n", what, SDL_GetError());
}

void loadMedia(Media& media) {
    loadImages(media);
    loadSounds(media);
}
