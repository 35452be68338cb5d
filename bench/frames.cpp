#include "bench/frames.h"

#include <SDL_image.h>
#include <SDL_mixer.h>

#include <cstdlib>
#include <cstring>

#include "bench/alloc_count.h"

extern "C" {
int __real_SDL_RenderClear(SDL_Renderer* renderer);
int __real_SDL_RenderCopyEx(SDL_Renderer* renderer, SDL_Texture* texture, const SDL_Rect* source,
                            const SDL_Rect* destination, double angle, const SDL_Point* centre,
                            SDL_RendererFlip flip);
void __real_SDL_RenderPresent(SDL_Renderer* renderer);
int __real_SDL_PollEvent(SDL_Event* event);
Uint32 __real_SDL_GetTicks(void);
int __real_Mix_PlayChannelTimed(int channel, Mix_Chunk* chunk, int loops, int ticks);
}

namespace {

std::vector<bench::DrawCall>* gRecording = nullptr;
std::uint64_t gAllocationsInsideSdl = 0;

// Runs one SDL call, adding what it allocates to gAllocationsInsideSdl.
template <typename Call>
auto counted(Call call) {
    const std::uint64_t before = bench::allocationsSoFar();
    struct Tally {
        std::uint64_t before;
        ~Tally() {
            gAllocationsInsideSdl += bench::allocationsSoFar() - before;
        }
    } tally{before};
    return call();
}

void note(const bench::DrawCall& call) {
    if (gRecording != nullptr) {
        gRecording->push_back(call);
    }
}

struct ImageSize {
    const char* path;
    SDL_Texture* Media::*texture;
    int width;
    int height;
};

// The sizes of the real images, for when the art is not there.
constexpr ImageSize kImageSizes[] = {
    {"Images/Bird.png", &Media::birdTexture, 64, 64},
    {"Images/Pipe_Body.png", &Media::pipeBodyTexture, 50, 8},
    {"Images/Pipe_Head.png", &Media::pipeHeadTexture, 50, 30},
    {"Images/Background.png", &Media::backgroundTexture, 800, 800},
    {"Images/ScoreSheet.png", &Media::scoreSheetTexture, 500, 50},
};

SDL_Surface* madeUpImage(int width, int height) {
    // RGBA bytes with some translucent pixels, like the artwork's PNGs.
    SDL_Surface* surface =
        SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ABGR8888);
    if (surface == nullptr) {
        return nullptr;
    }
    for (int y = 0; y < height; ++y) {
        auto* row =
            reinterpret_cast<Uint32*>(static_cast<Uint8*>(surface->pixels) + y * surface->pitch);
        for (int x = 0; x < width; ++x) {
            const Uint32 alpha = (x + y) % 7 == 0 ? 0x80u : 0xFFu;
            row[x] = (alpha << 24) | static_cast<Uint32>((x * 5) & 0xFF) << 8 |
                     static_cast<Uint32>((y * 3) & 0xFF);
        }
    }
    return surface;
}

}  // namespace

extern "C" {

int __wrap_SDL_RenderClear(SDL_Renderer* renderer) {
    bench::DrawCall call;
    call.kind = bench::DrawCall::kClear;
    call.renderer = renderer;
    note(call);
    return counted([&] { return __real_SDL_RenderClear(renderer); });
}

int __wrap_SDL_RenderCopyEx(SDL_Renderer* renderer, SDL_Texture* texture, const SDL_Rect* source,
                            const SDL_Rect* destination, double angle, const SDL_Point* centre,
                            SDL_RendererFlip flip) {
    if (gRecording != nullptr) {
        bench::DrawCall call;
        call.kind = bench::DrawCall::kCopy;
        call.renderer = renderer;
        call.texture = texture;
        call.hasSource = source != nullptr;
        call.hasDestination = destination != nullptr;
        call.source = source != nullptr ? *source : SDL_Rect{};
        call.destination = destination != nullptr ? *destination : SDL_Rect{};
        call.angle = angle;
        call.flip = flip;
        note(call);  // the game never passes a centre
    }
    return counted([&] {
        return __real_SDL_RenderCopyEx(renderer, texture, source, destination, angle, centre, flip);
    });
}

void __wrap_SDL_RenderPresent(SDL_Renderer* renderer) {
    bench::DrawCall call;
    call.kind = bench::DrawCall::kPresent;
    call.renderer = renderer;
    note(call);
    counted([&] { __real_SDL_RenderPresent(renderer); });
}

int __wrap_SDL_PollEvent(SDL_Event* event) {
    return counted([&] { return __real_SDL_PollEvent(event); });
}

Uint32 __wrap_SDL_GetTicks(void) {
    return counted([&] { return __real_SDL_GetTicks(); });
}

int __wrap_Mix_PlayChannelTimed(int channel, Mix_Chunk* chunk, int loops, int ticks) {
    return counted([&] { return __real_Mix_PlayChannelTimed(channel, chunk, loops, ticks); });
}

}  // extern "C"

namespace bench {

CallRecorder::CallRecorder(std::vector<DrawCall>& calls) {
    gRecording = &calls;
}

CallRecorder::~CallRecorder() {
    gRecording = nullptr;
}

std::uint64_t allocationsInsideSdl() {
    return gAllocationsInsideSdl;
}

void replay(const std::vector<DrawCall>& calls, std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) {
        const DrawCall& call = calls[i];
        switch (call.kind) {
            case DrawCall::kClear:
                SDL_RenderClear(call.renderer);
                break;
            case DrawCall::kCopy:
                SDL_RenderCopyEx(call.renderer, call.texture,
                                 call.hasSource ? &call.source : nullptr,
                                 call.hasDestination ? &call.destination : nullptr, call.angle,
                                 nullptr, call.flip);
                break;
            case DrawCall::kPresent:
                SDL_RenderPresent(call.renderer);
                break;
        }
    }
}

bool startSdl() {
    if (SDL_getenv("SDL_VIDEODRIVER") == nullptr && SDL_getenv("DISPLAY") == nullptr) {
        SDL_setenv("SDL_VIDEODRIVER", "dummy", 1);
    }
    SDL_setenv("SDL_AUDIODRIVER", "dummy", 1);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        SDL_Log("cannot start SDL: %s", SDL_GetError());
        return false;
    }
    return true;
}

SDL_Window* openGameWindow() {
    return SDL_CreateWindow("Zephrin", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, kWindowWidth,
                            kWindowHeight, SDL_WINDOW_SHOWN);
}

void loadGameMedia(Media& media) {
    loadMedia(media);
    for (const ImageSize& image : kImageSizes) {
        if (media.*image.texture == nullptr) {
            SDL_Surface* surface = madeUpImage(image.width, image.height);
            media.*image.texture = SDL_CreateTextureFromSurface(media.renderer, surface);
            SDL_FreeSurface(surface);
        }
    }
}

Media withTexturesIn(const Media& media, Uint32 format) {
    Media converted = media;
    for (const ImageSize& image : kImageSizes) {
        SDL_Surface* loaded = loadGameImage(image.path);
        SDL_Surface* surface = SDL_ConvertSurfaceFormat(loaded, format, 0);
        converted.*image.texture = SDL_CreateTextureFromSurface(media.renderer, surface);
        SDL_FreeSurface(surface);
        SDL_FreeSurface(loaded);
    }
    return converted;
}

SDL_Surface* loadGameImage(const char* path) {
    SDL_Surface* surface = IMG_Load(path);
    for (const ImageSize& image : kImageSizes) {
        if (surface == nullptr && std::strcmp(image.path, path) == 0) {
            surface = madeUpImage(image.width, image.height);
        }
    }
    return surface;
}

Canvas makeCanvas() {
    Canvas canvas;
    canvas.surface =
        SDL_CreateRGBSurfaceWithFormat(0, kWindowWidth, kWindowHeight, 32, SDL_PIXELFORMAT_RGB888);
    canvas.renderer =
        canvas.surface != nullptr ? SDL_CreateSoftwareRenderer(canvas.surface) : nullptr;
    return canvas;
}

void destroyCanvas(Canvas& canvas) {
    SDL_DestroyRenderer(canvas.renderer);
    SDL_FreeSurface(canvas.surface);
    canvas = {};
}

SDL_Keycode steer(const GameState& state) {
    if (!state.alive) {
        return SDLK_r;
    }
    // The pair nearest ahead of (or over) the bird's hit points.
    const PipePair* next = nullptr;
    for (const PipePair& pair : state.pipes) {
        if (pair.bottom.x + pair.bottom.w >= kBirdX + 10 &&
            (next == nullptr || pair.bottom.x < next->bottom.x)) {
            next = &pair;
        }
    }
    const int floor = next != nullptr ? next->bottom.y : kWindowHeight;
    return state.birdY + 27 >= floor - 12 ? SDLK_SPACE : SDLK_UNKNOWN;
}

void pressKey(SDL_Keycode key) {
    SDL_Event event;
    std::memset(&event, 0, sizeof event);
    event.type = SDL_KEYDOWN;
    event.key.state = SDL_PRESSED;
    event.key.keysym.sym = key;
    SDL_PushEvent(&event);
}

}  // namespace bench
