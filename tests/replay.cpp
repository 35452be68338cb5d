// Plays a fixed script of games through the real main loop and writes one
// line per world tick: the bird's position, its velocity and tilt to the
// last bit, the score, the pipes. Every build of the game (each compiler,
// machine and system it ships for) must write the very same lines, so the
// first line where two builds differ names the first tick where their
// arithmetic parts.
//
//   zephrin_replay <trace.txt>
//
// The pipes' gaps come from the script, not from rand(): each C library has
// a rand() of its own, and the comparison is about the arithmetic.
#define SDL_MAIN_HANDLED  // a plain console program everywhere, Windows included
#include <SDL.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "app/main_loop.h"
#include "app/media.h"
#include "game/bird.h"
#include "game/state.h"

namespace {

// The script's own random numbers: the same on every machine.
struct ScriptRandom {
    std::uint64_t state;
    std::uint32_t next() {
        state = state * 6364136223846793005u + 1442695040888963407u;
        return static_cast<std::uint32_t>(state >> 33);
    }
    int below(int n) {
        return static_cast<int>(next() % static_cast<std::uint32_t>(n));
    }
};

// How a scripted player plays: how closely it follows the gap, how often it
// slips, and how many ticks its game lasts before it presses r.
struct Player {
    int aimJitter;
    int slipPercent;
    int climbPercent;  // in every other stretch of 150 ticks, flaps for the sake of it
    int ticks;
};

constexpr Player kPlayers[] = {
    {4, 0, 0, 4000},    // steady: thousands of ticks through the gaps
    {30, 3, 0, 3000},   // sloppy: hits pipes, restarts
    {10, 1, 30, 2500},  // climber: over the top of the window and back
    {0, 100, 0, 800},   // never flaps: every fall to the floor
    {20, 2, 5, 3000},   // a bit of everything
    {8, 1, 2, 3500},    // steady again, another seed
};

std::uint32_t gClockMs = 0;
std::uint32_t scriptedClock() {
    return gClockMs;
}

void pushKey(SDL_Keycode key) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.state = SDL_PRESSED;
    event.key.keysym.sym = key;
    SDL_PushEvent(&event);
}

void dealGap(PipePair& pair, int r) {
    pair.top.h = r + 200;
    pair.bottom.y = r + 320;
    pair.bottom.h = 480 - r;
}

// Pairs laid out afresh by a restart, or recycled (they moved right), got
// their gaps from rand(); the script deals its own instead.
void replaceFreshGaps(GameState& state, bool restarted, const int (&previousX)[kPipePairCount],
                      ScriptRandom& random) {
    for (int i = 0; i < kPipePairCount; ++i) {
        if (restarted || state.pipes[i].top.x > previousX[i]) {
            dealGap(state.pipes[i], random.below(400));
        }
    }
}

// The middle of the gap of the first pair the bird has not yet passed.
int gapMiddleAhead(const GameState& state) {
    int nearestX = 1 << 30;
    int middle = 400;
    for (const PipePair& pair : state.pipes) {
        if (pair.top.x + pair.top.w >= kBirdX && pair.top.x < nearestX) {
            nearestX = pair.top.x;
            middle = pair.top.h + kPipeGap / 2;
        }
    }
    return middle;
}

bool wantsToFlap(const GameState& state, const Player& player, int tick, ScriptRandom& random) {
    if (random.below(100) < player.slipPercent) {
        return false;
    }
    if ((tick / 150) % 2 == 1 && random.below(100) < player.climbPercent) {
        return true;
    }
    const int aim =
        gapMiddleAhead(state) - 25 + random.below(2 * player.aimJitter + 1) - player.aimJitter;
    return state.birdY > aim && state.birdVelocity > -10.0f;
}

std::uint32_t pipesHash(const GameState& state) {
    std::uint32_t hash = 2166136261u;
    for (const PipePair& pair : state.pipes) {
        for (const SDL_Rect* rect : {&pair.top, &pair.bottom}) {
            for (const int value : {rect->x, rect->y, rect->w, rect->h}) {
                hash = (hash ^ static_cast<std::uint32_t>(value)) * 16777619u;
            }
        }
    }
    return hash;
}

void writeTick(std::FILE* out, int game, int tick, const GameState& state) {
    std::uint32_t velocityBits = 0;
    std::memcpy(&velocityBits, &state.birdVelocity, sizeof velocityBits);
    const double angle = birdAngle(state);
    std::uint64_t angleBits = 0;
    std::memcpy(&angleBits, &angle, sizeof angleBits);
    std::fprintf(out,
                 "game %d tick %d y %d v %08" PRIx32 " angle %016" PRIx64 " score %d %s %08" PRIx32
                 "\n",
                 game, tick, state.birdY, velocityBits, angleBits, state.score,
                 state.alive ? "alive" : "over", pipesHash(state));
}

// One game: passes at scripted times until the player's ticks are played,
// restarting after every crash.
void playGame(std::FILE* out, int game, const Player& player, GameState& state,
              const Media& media) {
    ScriptRandom random{0x5EEDu + static_cast<std::uint64_t>(game) * 7919u};
    int previousX[kPipePairCount] = {};
    bool restart = true;
    int tick = 0;
    int passesOver = 0;
    while (tick < player.ticks) {
        // Mostly a tick's worth of time, sometimes too little, now and then a stall.
        const int roll = random.below(100);
        gClockMs += roll < 70   ? 31
                    : roll < 90 ? static_cast<std::uint32_t>(random.below(31))
                                : 31 + static_cast<std::uint32_t>(random.below(60));
        if (!state.alive && ++passesOver > 20) {
            restart = true;
            passesOver = 0;
        }
        if (restart) {
            pushKey(SDLK_r);
        } else if (state.alive && wantsToFlap(state, player, tick, random)) {
            pushKey(SDLK_SPACE);
        }
        const std::int32_t lastTick = state.lastTickMs;
        const bool wasAlive = state.alive;
        runPass(state, media, scriptedClock);
        replaceFreshGaps(state, restart, previousX, random);
        restart = false;
        for (int i = 0; i < kPipePairCount; ++i) {
            previousX[i] = state.pipes[i].top.x;
        }
        if (state.lastTickMs != lastTick) {
            writeTick(out, game, ++tick, state);
        }
        if (wasAlive && !state.alive) {
            std::fprintf(out, "game %d tick %d over\n", game, tick);
        }
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zephrin_replay <trace.txt>\n");
        return 2;
    }
    SDL_SetMainReady();
    if (SDL_Init(SDL_INIT_EVENTS) != 0) {
        std::fprintf(stderr, "zephrin_replay: %s\n", SDL_GetError());
        return 1;
    }
    std::FILE* out = std::fopen(argv[1], "wb");  // the same bytes on every system
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    // No window and no media: the passes draw nothing, the rules run as in play.
    const Media media{};
    static GameState state{};
    // Starts a minute before the millisecond counter wraps, which it then crosses.
    gClockMs = 0xFFFFFFFFu - 60000u;
    state.lastTickMs = static_cast<std::int32_t>(gClockMs);
    resetGame(state);
    int game = 0;
    for (const Player& player : kPlayers) {
        playGame(out, ++game, player, state, media);
    }
    const bool written = std::fclose(out) == 0;
    SDL_Quit();
    return written ? 0 : 1;
}
