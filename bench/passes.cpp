// The real main-loop pass, run on a real window, next to a bare loop that makes
// the same SDL calls with the same textures and no game code.
//
//   zephrin_passes rate SECONDS      passes per second and pass times, side by side
//   zephrin_passes cadence SECONDS   the intervals between world ticks
//   zephrin_passes allocs PASSES     heap allocations per pass, side by side
//   zephrin_passes formats SECONDS   the game's passes next to the same calls
//                                    made with ARGB8888 textures
//
// The video driver comes from the environment (dummy when there is no DISPLAY);
// ZEPHRIN_RENDERER=software|default picks the renderer (software by default;
// "default" is the game's own choice: accelerated, else software).
#include <SDL.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "app/main_loop.h"
#include "app/media.h"
#include "bench/alloc_count.h"
#include "bench/frames.h"
#include "bench/stats.h"
#include "game/state.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kBlockPasses = 10;      // passes per half of an ABAB round
constexpr std::size_t kMaxCallsPerPass = 64;  // clear, 1 + 4 x 10 + 10 + 1 copies, present

volatile std::uint32_t gClockSink;  // the bare loop's clock reading, kept

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Session {
    Media media;
    GameState state{};
    std::string renderer;
    std::string driver;
};

bool openSession(Session& session) {
    if (!bench::startSdl()) {
        return false;
    }
    session.media.window = bench::openGameWindow();
    if (session.media.window == nullptr) {
        SDL_Log("cannot open the window: %s", SDL_GetError());
        return false;
    }
    const char* choice = SDL_getenv("ZEPHRIN_RENDERER");
    const bool software = choice == nullptr || std::strcmp(choice, "default") != 0;
    if (software) {
        session.media.renderer =
            SDL_CreateRenderer(session.media.window, -1, SDL_RENDERER_SOFTWARE);
    } else {
        session.media.renderer =
            SDL_CreateRenderer(session.media.window, -1, SDL_RENDERER_ACCELERATED);
        if (session.media.renderer == nullptr) {
            session.media.renderer =
                SDL_CreateRenderer(session.media.window, -1, SDL_RENDERER_SOFTWARE);
        }
    }
    if (session.media.renderer == nullptr) {
        SDL_Log("cannot create a renderer: %s", SDL_GetError());
        return false;
    }
    SDL_RendererInfo info;
    SDL_GetRendererInfo(session.media.renderer, &info);
    session.renderer = info.name;
    session.driver = SDL_GetCurrentVideoDriver();
    bench::loadGameMedia(session.media);
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    resetGame(session.state);
    session.state.lastTickMs = static_cast<std::int32_t>(readClockMs());
    return true;
}

// Allocations made by the game's own code in runPass: all it allocated but
// for what the SDL calls it made allocated.
std::uint64_t gGameOwnAllocations = 0;

// One game pass as a player would have it: a key when the autopilot wants one,
// then the real pass on the real clock. Returns the key pressed.
SDL_Keycode gamePass(Session& session) {
    const SDL_Keycode key = bench::steer(session.state);
    if (key != SDLK_UNKNOWN) {
        bench::pressKey(key);
    }
    const std::uint64_t before = bench::allocationsSoFar();
    const std::uint64_t beforeInSdl = bench::allocationsInsideSdl();
    runPass(session.state, session.media, readClockMs);
    gGameOwnAllocations +=
        (bench::allocationsSoFar() - before) - (bench::allocationsInsideSdl() - beforeInSdl);
    return key;
}

// The same SDL calls as a recorded game pass: the key, the event drain, the
// clock reading, then the recorded clear, copies and present.
void barePass(SDL_Keycode key, const std::vector<bench::DrawCall>& calls, std::size_t begin,
              std::size_t end) {
    if (key != SDLK_UNKNOWN) {
        bench::pressKey(key);
    }
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) {
    }
    gClockSink = SDL_GetTicks();
    bench::replay(calls, begin, end);
}

// What runSideBySide saw of the two loops.
struct SideBySide {
    std::vector<double> gameMs;
    std::vector<double> bareMs;
    std::vector<double> roundRatios;  // bare block time / game block time, per round
    std::uint64_t gameAllocations = 0;
    std::uint64_t bareAllocations = 0;
    std::size_t gameCalls = 0;
    std::size_t bareCalls = 0;
    int restarts = 0;
};

// ABAB rounds, each a block of game passes, recorded, then the same block
// replayed by the bare loop; until maxPasses game passes, or when that is 0,
// until `seconds` have passed.
// `swap`, when given, replaces textures in the bare loop's calls.
SideBySide runSideBySide(Session& session, double seconds, std::size_t maxPasses,
                         const std::map<SDL_Texture*, SDL_Texture*>* swap = nullptr) {
    SideBySide result;
    std::vector<bench::DrawCall> calls;
    calls.reserve(kBlockPasses * kMaxCallsPerPass);
    std::vector<std::size_t> passEnds(kBlockPasses);
    std::vector<SDL_Keycode> keys(kBlockPasses);
    const std::size_t reserve = maxPasses != 0 ? maxPasses : 200000;
    result.gameMs.reserve(reserve);
    result.bareMs.reserve(reserve);
    const Clock::time_point start = Clock::now();
    while (maxPasses != 0 ? result.gameMs.size() < maxPasses
                          : millisecondsSince(start) < seconds * 1000.0) {
        calls.clear();
        const std::size_t firstPass = result.gameMs.size();
        const std::uint64_t gameBefore = bench::allocationsSoFar();
        {
            bench::CallRecorder recorder(calls);
            for (std::size_t i = 0; i < kBlockPasses; ++i) {
                const Clock::time_point passStart = Clock::now();
                keys[i] = gamePass(session);
                result.gameMs.push_back(millisecondsSince(passStart));
                passEnds[i] = calls.size();
                result.restarts += keys[i] == SDLK_r ? 1 : 0;
            }
        }
        result.gameAllocations += bench::allocationsSoFar() - gameBefore;
        result.gameCalls += calls.size();
        for (bench::DrawCall& call : calls) {
            if (swap != nullptr && swap->count(call.texture) != 0) {
                call.texture = swap->at(call.texture);
            }
        }

        const std::uint64_t bareBefore = bench::allocationsSoFar();
        std::size_t begin = 0;
        for (std::size_t i = 0; i < kBlockPasses; ++i) {
            const Clock::time_point passStart = Clock::now();
            barePass(keys[i], calls, begin, passEnds[i]);
            result.bareMs.push_back(millisecondsSince(passStart));
            begin = passEnds[i];
        }
        result.bareAllocations += bench::allocationsSoFar() - bareBefore;
        result.bareCalls += begin;
        double gameBlock = 0.0;
        double bareBlock = 0.0;
        for (std::size_t i = firstPass; i < result.gameMs.size(); ++i) {
            gameBlock += result.gameMs[i];
            bareBlock += result.bareMs[i];
        }
        result.roundRatios.push_back(bareBlock / gameBlock);
    }
    return result;
}

void printTimes(const char* name, const bench::Summary& s) {
    std::printf("| %s | %zu | %.0f | %.3f | %.3f | %.3f |\n", name, s.count,
                1000.0 * static_cast<double>(s.count) / s.total, s.median, s.p99, s.max);
}

int rate(Session& session, double seconds) {
    runSideBySide(session, 0.5, 0);  // warm-up: caches, lazily made SDL state
    const SideBySide run = runSideBySide(session, seconds, 0);
    const bench::Summary game = bench::summarize(run.gameMs);
    const bench::Summary bare = bench::summarize(run.bareMs);
    std::printf("Pass rate, %s renderer, %s video driver, %.0f s, ABAB blocks of %zu passes\n\n",
                session.renderer.c_str(), session.driver.c_str(), seconds, kBlockPasses);
    std::printf("| loop | passes | passes/s | median ms | p99 ms | max ms |\n");
    std::printf("|---|---:|---:|---:|---:|---:|\n");
    printTimes("game (runPass)", game);
    printTimes("bare SDL calls", bare);
    // Another process taking the core for a while hits one loop, not both: the
    // median over the rounds of each round's ratio is what the game itself costs.
    const double ratio = bench::percentile(run.roundRatios, 50.0);
    std::printf(
        "\ngame/bare pass rate: **%.3f**, median of %zu ABAB rounds (goal >= 0.95: %s); "
        "over the whole run %.3f; median pass times %.3f\n\n",
        ratio, run.roundRatios.size(), ratio >= 0.95 ? "met" : "NOT met", bare.total / game.total,
        bare.median / game.median);
    std::printf("Same SDL calls in both loops: %zu and %zu; restarts by the autopilot: %d\n\n",
                run.gameCalls, run.bareCalls, run.restarts);
    return run.gameCalls == run.bareCalls ? EXIT_SUCCESS : EXIT_FAILURE;
}

int formats(Session& session, double seconds) {
    const Media argb = bench::withTexturesIn(session.media, SDL_PIXELFORMAT_ARGB8888);
    const std::map<SDL_Texture*, SDL_Texture*> swap = {
        {session.media.birdTexture, argb.birdTexture},
        {session.media.pipeBodyTexture, argb.pipeBodyTexture},
        {session.media.pipeHeadTexture, argb.pipeHeadTexture},
        {session.media.backgroundTexture, argb.backgroundTexture},
        {session.media.scoreSheetTexture, argb.scoreSheetTexture},
    };
    runSideBySide(session, 0.5, 0, &swap);  // warm-up
    const SideBySide run = runSideBySide(session, seconds, 0, &swap);
    std::printf(
        "Texture formats, %s renderer, %s video driver, %.0f s: the game's passes "
        "(textures as the PNGs load) next to the same calls with ARGB8888 textures\n\n",
        session.renderer.c_str(), session.driver.c_str(), seconds);
    std::printf("| loop | passes | passes/s | median ms | p99 ms | max ms |\n");
    std::printf("|---|---:|---:|---:|---:|---:|\n");
    printTimes("game, textures as loaded", bench::summarize(run.gameMs));
    printTimes("same calls, ARGB8888 textures", bench::summarize(run.bareMs));
    std::printf("\nas loaded/ARGB8888 pass rate: **%.3f**, median of %zu ABAB rounds\n\n",
                bench::percentile(run.roundRatios, 50.0), run.roundRatios.size());
    return EXIT_SUCCESS;
}

int allocations(Session& session, std::size_t passes) {
    runSideBySide(session, 0.0, passes);  // warm-up: SDL's pools and caches fill up
    gGameOwnAllocations = 0;
    const SideBySide run = runSideBySide(session, 0.0, passes);
    const std::size_t count = run.gameMs.size();
    std::printf("Heap allocations over %zu passes, %s renderer (malloc level, main thread)\n\n",
                count, session.renderer.c_str());
    std::printf("| loop | allocations | per pass |\n|---|---:|---:|\n");
    std::printf("| game (runPass) | %llu | %.2f |\n",
                static_cast<unsigned long long>(run.gameAllocations),
                static_cast<double>(run.gameAllocations) / static_cast<double>(count));
    std::printf("| bare SDL calls | %llu | %.2f |\n",
                static_cast<unsigned long long>(run.bareAllocations),
                static_cast<double>(run.bareAllocations) / static_cast<double>(count));
    std::printf(
        "\nAllocations in runPass outside the SDL and SDL_mixer calls it makes (the "
        "game's own code: events, game-over test, tick, draw functions): **%llu**\n\n",
        static_cast<unsigned long long>(gGameOwnAllocations));
    return gGameOwnAllocations == 0 && run.gameCalls == run.bareCalls ? EXIT_SUCCESS : EXIT_FAILURE;
}

int cadence(Session& session, double seconds) {
    std::vector<double> intervals;
    intervals.reserve(static_cast<std::size_t>(seconds * 40.0) + 16);
    std::size_t passes = 0;
    std::int32_t lastTick = session.state.lastTickMs;
    const Clock::time_point start = Clock::now();
    while (millisecondsSince(start) < seconds * 1000.0) {
        gamePass(session);
        ++passes;
        if (session.state.lastTickMs != lastTick) {
            intervals.push_back(static_cast<double>(
                static_cast<std::uint32_t>(session.state.lastTickMs - lastTick)));
            lastTick = session.state.lastTickMs;
        }
    }
    const bench::Summary s = bench::summarize(intervals);
    const double ideal = static_cast<double>(kTickThresholdMs + 1);
    std::printf("| %s (%s) | %.0f | %zu | %zu | %.0f (+%.0f) | %.0f (+%.0f) | %.0f (+%.0f) |\n",
                session.renderer.c_str(), session.driver.c_str(), seconds, passes, s.count,
                s.median, s.median - ideal, s.p99, s.p99 - ideal, s.max, s.max - ideal);
    return EXIT_SUCCESS;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s rate|cadence|formats SECONDS | allocs PASSES\n", argv[0]);
        return EXIT_FAILURE;
    }
    const std::string mode = argv[1];
    const double amount = std::atof(argv[2]);
    Session session;
    if (!openSession(session)) {
        return EXIT_FAILURE;
    }
    int status = EXIT_FAILURE;
    if (mode == "rate") {
        status = rate(session, amount);
    } else if (mode == "cadence") {
        status = cadence(session, amount);
    } else if (mode == "formats") {
        status = formats(session, amount);
    } else if (mode == "allocs") {
        status = allocations(session, static_cast<std::size_t>(amount));
    } else {
        std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
    }
    std::fflush(stdout);
    SDL_Quit();
    return status;
}
