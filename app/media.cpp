#include "app/media.h"

#include <SDL.h>
#include <SDL_image.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
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

constexpr std::uint32_t kMixerFrequencyHz = 22050;
constexpr std::uint32_t kMixerChannels = 2;
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

// Refuses the file at `path`: its one line, with `why` as the reason.
void refuse(const char* path, const std::string& why) {
    SDL_SetError("%s", why.c_str());
    reportFileFailure(path);
}

struct MediaBudget {
    std::uint64_t left = kMediaBudgetBytes;
};

// Takes `bytes` from the budget; false, with the reason in `why`, when they
// are not left.
bool spend(MediaBudget& budget, std::uint64_t bytes, std::string& why) {
    if (bytes > budget.left) {
        constexpr std::uint64_t kMiB = 1 << 20;
        why = "it needs " + std::to_string((bytes + kMiB - 1) / kMiB) +
              " MiB of memory, and only " + std::to_string(budget.left / kMiB) + " MiB of the " +
              std::to_string(kMediaBudgetBytes / kMiB) + " MiB the media may take are left";
        return false;
    }
    budget.left -= bytes;
    return true;
}

// The media file at `path`, opened once; nothing, after its one line, when
// it cannot be.
std::optional<MediaFile> openOnce(const char* path) {
    std::string why;
    std::optional<MediaFile> file = openMediaFile(path, why);
    if (!file) {
        refuse(path, why);
    }
    return file;
}

// Four bytes of a file that a reader gives as another number, little-endian.
struct Rewritten {
    bool any = false;
    std::uint64_t at = 0;
    std::uint32_t value = 0;
};

// An SDL reader of bytes [span.begin, span.end) of `file`, which it owns and
// closes: the decoders read through the opening that the checks read through.
SDL_RWops* readerOfSpan(const MediaFile& file, ByteSpan span, Rewritten rewritten = {}) {
    struct View {
        MediaFile file;
        ByteSpan span;
        Rewritten rewritten;
        std::uint64_t at;  // relative to span.begin
    };
    SDL_RWops* rw = SDL_AllocRW();
    if (rw == nullptr) {
        MediaFile unused = file;
        closeMediaFile(unused);
        return nullptr;
    }
    rw->type = SDL_RWOPS_UNKNOWN;
    rw->hidden.unknown.data1 = new View{file, span, rewritten, 0};
    rw->size = [](SDL_RWops* context) -> Sint64 {
        const View* v = static_cast<View*>(context->hidden.unknown.data1);
        return static_cast<Sint64>(v->span.end - v->span.begin);
    };
    rw->seek = [](SDL_RWops* context, Sint64 offset, int whence) -> Sint64 {
        View* v = static_cast<View*>(context->hidden.unknown.data1);
        const Sint64 size = static_cast<Sint64>(v->span.end - v->span.begin);
        const Sint64 from = whence == RW_SEEK_SET   ? 0
                            : whence == RW_SEEK_CUR ? static_cast<Sint64>(v->at)
                                                    : size;
        if (offset < -from || offset > std::numeric_limits<Sint64>::max() - from) {
            return SDL_SetError("cannot seek to there");
        }
        v->at = static_cast<std::uint64_t>(from + offset);
        return from + offset;
    };
    rw->read = [](SDL_RWops* context, void* buffer, std::size_t size, std::size_t count) {
        View* v = static_cast<View*>(context->hidden.unknown.data1);
        const std::uint64_t length = v->span.end - v->span.begin;
        if (size == 0 || v->at >= length) {
            return std::size_t{0};
        }
        const std::uint64_t wanted = std::min<std::uint64_t>(count, (length - v->at) / size);
        const std::uint64_t from = v->span.begin + v->at;
        auto* bytes = static_cast<unsigned char*>(buffer);
        const std::size_t got =
            readMediaFile(v->file, from, bytes, static_cast<std::size_t>(wanted * size));
        for (std::uint64_t i = 0; v->rewritten.any && i < 4; ++i) {
            const std::uint64_t at = v->rewritten.at + i;
            if (at >= from && at < from + got) {
                bytes[at - from] = static_cast<unsigned char>(v->rewritten.value >> (8 * i));
            }
        }
        v->at += got;
        return got / size;
    };
    rw->write = [](SDL_RWops*, const void*, std::size_t, std::size_t) {
        SDL_SetError("a media file is only read");
        return std::size_t{0};
    };
    rw->close = [](SDL_RWops* context) {
        View* v = static_cast<View*>(context->hidden.unknown.data1);
        closeMediaFile(v->file);
        delete v;
        SDL_FreeRW(context);
        return 0;
    };
    return rw;
}

SDL_RWops* readerOfWhole(const MediaFile& file) {
    return readerOfSpan(file, ByteSpan{0, file.size});
}

// A picture keeps its decoded surface and its texture, and making the
// texture converts the surface in a third buffer: four bytes a pixel each.
constexpr std::uint64_t kPictureBytesPerPixel = 3 * 4;

// Why the image in `read` must not be decoded, or empty when it may: the
// size in its header alone decides first, since the decoder would make room
// for whatever that claims; then the file must hold every chunk it starts,
// and no more image data than its size needs; last, the memory it takes
// must be left in the budget.
std::string whyImageMustNotBeDecoded(const ReadAt& read, std::uint64_t fileSize, TextureLimit limit,
                                     MediaBudget& budget) {
    unsigned char header[kPngLayoutBytes];
    const std::optional<PngLayout> layout = readPngLayout(header, read(0, header, sizeof header));
    if (!layout) {
        return "not a PNG image";
    }
    const ImageSize size = layout->size;
    const std::string claims = "its header claims " + std::to_string(size.width) + " x " +
                               std::to_string(size.height) + " pixels, more than ";
    switch (judgeImageSize(size, limit.width, limit.height)) {
        case SizeVerdict::kFits:
            break;
        case SizeVerdict::kLargerThanATexture:
            return claims + "the largest texture (" + std::to_string(limit.width) + " x " +
                   std::to_string(limit.height) + ")";
        case SizeVerdict::kTooManyPixels:
            return claims + "the " + std::to_string(kMaxImagePixels) +
                   " pixels the game decodes from one image";
    }
    std::string why = whyPngChunksAreUnsafe(read, fileSize, mostImageDataBytes(*layout));
    if (why.empty()) {
        spend(budget, std::uint64_t{size.width} * size.height * kPictureBytesPerPixel, why);
    }
    return why;
}

// The image at `path` decoded, or null after its one line.
SDL_Surface* loadImage(const char* path, TextureLimit limit, MediaBudget& budget) {
    std::optional<MediaFile> file = openOnce(path);
    if (!file) {
        return nullptr;
    }
    const std::string why = whyImageMustNotBeDecoded(readerOf(*file), file->size, limit, budget);
    if (!why.empty()) {
        closeMediaFile(*file);
        refuse(path, why);
        return nullptr;
    }
    SDL_RWops* reader = readerOfWhole(*file);
    SDL_Surface* surface =
        reader == nullptr ? nullptr : withStderrMuted([&] { return IMG_Load_RW(reader, 1); });
    if (surface == nullptr) {
        reportFileFailure(path);
    }
    return surface;
}

void loadImages(Media& media, MediaBudget& budget) {
    const TextureLimit limit = largestTexture(media.renderer);
    SDL_Surface* surfaces[kImageCount] = {};
    for (int i = 0; i < kImageCount; ++i) {
        surfaces[i] = loadImage(kImages[i].path, limit, budget);
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

// The music, its tags left out: the mixer streams it from its file for the
// whole run, and closes the file only if it cannot play it.
Mix_Music* loadMusic(const char* path) {
    std::optional<MediaFile> file = openOnce(path);
    if (!file) {
        return nullptr;
    }
    SDL_RWops* reader = readerOfSpan(*file, audioBetweenTags(readerOf(*file), file->size));
    Mix_Music* music =
        reader == nullptr ? nullptr
                          : withStderrMuted([&] { return Mix_LoadMUSType_RW(reader, MUS_MP3, 1); });
    if (music == nullptr) {
        reportFileFailure(path);
    }
    return music;
}

// The ding in `read` measured, when it may be decoded; else nothing, with
// the reason in `why`.
std::optional<WavSound> measureDing(const ReadAt& read, std::uint64_t fileSize, MediaBudget& budget,
                                    std::string& why) {
    unsigned char signature[kWavSignatureBytes];
    if (!startsAWav(signature, read(0, signature, sizeof signature))) {
        why = "not a WAV sound";
        return std::nullopt;
    }
    const std::optional<WavSound> sound =
        measureWav(read, fileSize, {kMixerFrequencyHz, kMixerChannels});
    if (!sound) {
        why = "no usable format chunk before its sound data";
        return std::nullopt;
    }
    return spend(budget, sound->bytesInMemory, why) ? sound : std::nullopt;
}

// The file is closed here rather than by the mixer: given data that no
// decoder of its takes, SDL_mixer 2.6 returns without closing it. The mixer
// is told the size of the sound the file holds, not the size its header
// claims: it would ask for all of that, up to 4 GiB.
Mix_Chunk* loadDing(const char* path, MediaBudget& budget) {
    std::optional<MediaFile> file = openOnce(path);
    if (!file) {
        return nullptr;
    }
    std::string why;
    const std::optional<WavSound> sound = measureDing(readerOf(*file), file->size, budget, why);
    if (!sound) {
        closeMediaFile(*file);
        refuse(path, why);
        return nullptr;
    }
    SDL_RWops* reader = readerOfSpan(*file, ByteSpan{0, file->size},
                                     Rewritten{true, sound->dataSizeAt, sound->dataBytesHeld});
    Mix_Chunk* chunk = nullptr;
    if (reader != nullptr) {
        chunk = Mix_LoadWAV_RW(reader, 0);
        SDL_RWclose(reader);
    }
    if (chunk == nullptr) {
        reportFileFailure(path);
    }
    return chunk;
}

void loadSounds(Media& media, MediaBudget& budget) {
    if (Mix_OpenAudio(kMixerFrequencyHz, AUDIO_S16LSB, kMixerChannels, kMixerChunkSamples) != 0) {
        reportFailure("cannot open audio, playing silent");
        return;  // nothing would be heard, and every load would fail for the same reason
    }
    const char* musicPath = "Sounds/BackgroundMusic.mp3";
    media.backgroundMusic = loadMusic(musicPath);
    if (media.backgroundMusic != nullptr &&
        Mix_PlayMusic(media.backgroundMusic, kLoopForever) != 0) {
        reportFailure("cannot play the music");
    }
    media.dingSound = loadDing("Sounds/Ding.wav", budget);
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
    MediaBudget budget;
    loadImages(media, budget);
    loadSounds(media, budget);
}
