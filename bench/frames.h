// What the pass benchmarks share: the game's own media on a chosen renderer,
// a recorder of the drawing calls the game makes, their replay by a bare loop
// with no game code, and an autopilot that keeps a game going.
//
// Executables using this link with -Wl,--wrap for every SDL call a pass makes
// (SDL_PollEvent, SDL_GetTicks, SDL_RenderClear, SDL_RenderCopyEx,
// SDL_RenderPresent, Mix_PlayChannelTimed): each such call, the game's and
// the bare loop's alike, goes through the same recording and counting.
#pragma once

#include <SDL.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/media.h"
#include "game/state.h"

namespace bench {

struct DrawCall {
    enum Kind { kClear, kCopy, kPresent };
    Kind kind = kClear;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    bool hasSource = false;
    bool hasDestination = false;
    SDL_Rect source{};
    SDL_Rect destination{};
    double angle = 0.0;
    SDL_RendererFlip flip = SDL_FLIP_NONE;
};

// Records every clear, copy and present made while it exists into `calls`,
// which should have room reserved so that recording never allocates.
class CallRecorder {
public:
    explicit CallRecorder(std::vector<DrawCall>& calls);
    ~CallRecorder();
    CallRecorder(const CallRecorder&) = delete;
    CallRecorder& operator=(const CallRecorder&) = delete;
};

// Heap allocations made so far inside those SDL calls on the main thread;
// what a pass allocates beyond them is its own code's doing.
std::uint64_t allocationsInsideSdl();

// Makes calls[begin, end) again, in order, with the same arguments.
void replay(const std::vector<DrawCall>& calls, std::size_t begin, std::size_t end);

// SDL with the video driver from the environment (dummy when none is set),
// and the dummy audio driver, so the game's music plays into nothing.
bool startSdl();

// The game's window: same title, place, size and flags as the game's.
SDL_Window* openGameWindow();

// Loads the game's media with the game's own loadMedia (media.renderer must
// be set); any image missing from Images/ is replaced by a made-up texture of
// the real image's size, in the format the PNG loader produces.
void loadGameMedia(Media& media);

// The game's image at `path` (say "Images/Bird.png") as the game loads it,
// or a made-up one of the real image's size when the file is absent.
SDL_Surface* loadGameImage(const char* path);

// The same media with the five textures made from the images converted to
// `format` first.
Media withTexturesIn(const Media& media, Uint32 format);

// A software renderer drawing into an 800 x 800 surface, as the tests use.
struct Canvas {
    SDL_Surface* surface = nullptr;
    SDL_Renderer* renderer = nullptr;
};
Canvas makeCanvas();
void destroyCanvas(Canvas& canvas);

// A key a player would press now to stay between the pipes: SDLK_r once the
// game is over, SDLK_SPACE when the bird sinks too close to the next gap's
// lower edge, SDLK_UNKNOWN for no key.
SDL_Keycode steer(const GameState& state);

// Queues a key press, as SDL does for a real key.
void pressKey(SDL_Keycode key);

}  // namespace bench
