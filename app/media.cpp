#include "app/media.h"

#include <SDL.h>
#include <SDL_image.h>
#include <SDL_mixer.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "app/image_header.h"
#include "app/media_file.h"
#include "app/sound_header.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
constexpr const char* kNullDevice = "NUL";
#else
constexpr const char* kNullDevice = "/dev/null";
#endif

// The decoders under SDL_image and SDL_mixer (libpng, mpg123) print their own
// complaints about a broken file on stderr. The game's one line for the file
// already gives SDL's reason, so stderr is shut while a file is decoded.
template <typename Decode>
auto withStderrMuted(Decode decode) {
    std::fflush(stderr);
    const int saved = dup(fileno(stderr));
    if (std::FILE* sink = std::fopen(kNullDevice, "w")) {
        dup2(fileno(sink), fileno(stderr));
        std::fclose(sink);
    }
    auto result = decode();
    std::fflush(stderr);
    if (saved >= 0) {
        dup2(saved, fileno(stderr));
        close(saved);
    }
    return result;
}

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

// False, with the file's one line, for anything that must not be opened.
bool mayOpen(const char* path) {
    const std::string problem = whyNotARegularFile(path);
    if (problem.empty()) {
        return true;
    }
    SDL_SetError("%s", problem.c_str());
    reportFileFailure(path);
    return false;
}

// Why opening a media file just failed, errno having been cleared before.
std::string whyUnreadable() {
    return errno != 0 ? std::strerror(errno) : "it is no longer a regular file";
}

// Sets SDL's error to `why` the file at `path` must not be read, found by
// `check`; true when it may be read.
bool passes(const char* path,
            const std::function<std::string(const ReadAt& read, std::uint64_t size)>& check) {
    errno = 0;
    std::string why;
    if (!readRegularFile(
            path, [&](const ReadAt& read, std::uint64_t size) { why = check(read, size); })) {
        why = whyUnreadable();
    }
    if (!why.empty()) {
        SDL_SetError("%s", why.c_str());
        return false;
    }
    return true;
}

// Why the image in `read` must not be decoded, or empty when it may: the
// size in its header alone decides first, since the decoder would make room
// for whatever that claims; then the file must hold every chunk it starts.
std::string whyImageMustNotBeDecoded(const ReadAt& read, std::uint64_t fileSize,
                                     TextureLimit limit) {
    unsigned char header[kPngSizeBytes];
    const std::optional<ImageSize> size = readPngSize(header, read(0, header, sizeof header));
    if (!size) {
        return "not a PNG image";
    }
    const std::string claims = "its header claims " + std::to_string(size->width) + " x " +
                               std::to_string(size->height) + " pixels, more than ";
    switch (judgeImageSize(*size, limit.width, limit.height)) {
        case SizeVerdict::kFits:
            return whyPngIsCutShort(read, fileSize);
        case SizeVerdict::kLargerThanATexture:
            return claims + "the largest texture (" + std::to_string(limit.width) + " x " +
                   std::to_string(limit.height) + ")";
        case SizeVerdict::kTooManyPixels:
            return claims + "the " + std::to_string(kMaxImagePixels) +
                   " pixels the game decodes from one image";
    }
    return {};
}

// The header and the chunks are read through one opening of the file.
bool mayDecodeImage(const char* path, TextureLimit limit) {
    if (!mayOpen(path)) {
        return false;
    }
    const auto check = [limit](const ReadAt& read, std::uint64_t fileSize) {
        return whyImageMustNotBeDecoded(read, fileSize, limit);
    };
    if (!passes(path, check)) {
        reportFileFailure(path);
        return false;
    }
    return true;
}

void loadImages(Media& media) {
    const TextureLimit limit = largestTexture(media.renderer);
    SDL_Surface* surfaces[kImageCount] = {};
    for (int i = 0; i < kImageCount; ++i) {
        if (!mayDecodeImage(kImages[i].path, limit)) {
            continue;
        }
        surfaces[i] = withStderrMuted([&] { return IMG_Load(kImages[i].path); });
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

bool mayLoadMusic(const char* path) {
    if (!mayOpen(path)) {
        return false;
    }
    if (!passes(path, whyId3TagIsUnsafe)) {
        reportFileFailure(path);
        return false;
    }
    return true;
}

bool mayLoadDing(const char* path) {
    if (!mayOpen(path)) {
        return false;
    }
    unsigned char signature[kWavSignatureBytes];
    errno = 0;
    const long got = readFileStart(path, signature, sizeof signature);
    if (got < 0 || !startsAWav(signature, static_cast<std::size_t>(got))) {
        SDL_SetError("%s", got < 0 ? whyUnreadable().c_str() : "not a WAV sound");
        reportFileFailure(path);
        return false;
    }
    return true;
}

// The file is closed here rather than by the mixer: given data that no
// decoder of its takes, SDL_mixer 2.6 returns without closing it.
Mix_Chunk* loadChunk(const char* path) {
    SDL_RWops* file = SDL_RWFromFile(path, "rb");
    if (file == nullptr) {
        return nullptr;
    }
    Mix_Chunk* chunk = Mix_LoadWAV_RW(file, 0);
    SDL_RWclose(file);
    return chunk;
}

void loadSounds(Media& media) {
    if (Mix_OpenAudio(kMixerFrequencyHz, AUDIO_S16LSB, kMixerChannels, kMixerChunkSamples) != 0) {
        reportFailure("cannot open audio, playing silent");
        return;  // nothing would be heard, and every load would fail for the same reason
    }
    const char* musicPath = "Sounds/BackgroundMusic.mp3";
    if (mayLoadMusic(musicPath)) {
        media.backgroundMusic = withStderrMuted([&] { return Mix_LoadMUS(musicPath); });
        if (media.backgroundMusic == nullptr) {
            reportFileFailure(musicPath);
        } else if (Mix_PlayMusic(media.backgroundMusic, kLoopForever) != 0) {
            reportFailure("cannot play the music");
        }
    }

    const char* dingPath = "Sounds/Ding.wav";
    if (mayLoadDing(dingPath)) {
        media.dingSound = loadChunk(dingPath);
        if (media.dingSound == nullptr) {
            reportFileFailure(dingPath);
        }
    }
}

}  // namespace

void reportFailure(const char* what) {
    std::fprintf(stderr, "zephrin: %s: %s\n", what, SDL_GetError());
}

TextureLimit largestTexture(SDL_Renderer* renderer) {
    TextureLimit limit;
    SDL_RendererInfo info{};
    if (renderer != nullptr && SDL_GetRendererInfo(renderer, &info) == 0) {
        if (info.max_texture_width > 0) {
            limit.width = static_cast<std::uint32_t>(info.max_texture_width);
        }
        if (info.max_texture_height > 0) {
            limit.height = static_cast<std::uint32_t>(info.max_texture_height);
        }
    }
    return limit;
}

void loadMedia(Media& media) {
    loadImages(media);
    loadSounds(media);
}
