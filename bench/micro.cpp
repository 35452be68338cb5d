// The game's steps one at a time: a world tick, the game-over test, a reset,
// and each draw function into a software renderer on a surface. Every draw
// function runs next to "bare", a replay of the very SDL calls it made, so the
// pair's ratio is what the game's own code adds. Each result also carries the
// heap allocations (malloc level) per iteration.
//
// Last, one copy of the background, the bird and a pipe body as the game
// draws them, from a texture in the format the game's PNGs load in, and from
// one converted to ARGB8888 first: whether the texture format costs on every
// copy.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/media.h"
#include "bench/alloc_count.h"
#include "bench/frames.h"
#include "game/bird.h"
#include "game/collision.h"
#include "game/pipes.h"
#include "game/score.h"
#include "game/state.h"

namespace {

Media gMedia;
bench::Canvas gCanvas;

// A field in mid-game: two pairs in the window, a two-digit score, the bird
// falling and tilted.
GameState midGame() {
    GameState state{};
    std::srand(7);
    resetGame(state);
    for (int i = 0; i < kPipePairCount; ++i) {
        placePipePair(state.pipes[i], 200 + 350 * i);
    }
    state.score = 42;
    state.birdY = 380;
    state.birdVelocity = 21.0f;
    return state;
}

void countAllocations(benchmark::State& state, std::uint64_t before) {
    state.counters["allocs"] =
        benchmark::Counter(static_cast<double>(bench::allocationsSoFar() - before),
                           benchmark::Counter::kAvgIterations);
}

void worldTick(benchmark::State& state) {
    GameState game = midGame();
    const std::uint64_t before = bench::allocationsSoFar();
    for (auto _ : state) {
        advanceBird(game);
        scrollPipes(game);
        awardPassingPoint(game, gMedia.dingSound);
        if (game.birdY > kWindowHeight) {
            jump(game);  // keeps the bird in the field, as a player does
        }
        benchmark::DoNotOptimize(game);
    }
    countAllocations(state, before);
}

void gameOverTest(benchmark::State& state) {
    GameState game = midGame();
    const std::uint64_t before = bench::allocationsSoFar();
    for (auto _ : state) {
        benchmark::DoNotOptimize(game);
        benchmark::DoNotOptimize(birdHitsObstacle(game));
    }
    countAllocations(state, before);
}

void reset(benchmark::State& state) {
    GameState game = midGame();
    const std::uint64_t before = bench::allocationsSoFar();
    for (auto _ : state) {
        resetGame(game);
        benchmark::DoNotOptimize(game);
    }
    countAllocations(state, before);
}

using Draw = std::function<void(const GameState&)>;

const std::map<std::string, Draw>& draws() {
    static const std::map<std::string, Draw> kDraws = {
        {"drawPipes",
         [](const GameState& s) {
             drawPipes(gCanvas.renderer, s, gMedia.pipeBodyTexture, gMedia.pipeHeadTexture);
         }},
        {"drawScore",
         [](const GameState& s) {
             drawScore(gCanvas.renderer, s.score, gMedia.scoreSheetTexture);
         }},
        {"drawBird", [](const GameState& s) { drawBird(gCanvas.renderer, s, gMedia.birdTexture); }},
    };
    return kDraws;
}

void drawGame(benchmark::State& state, const Draw& draw) {
    const GameState game = midGame();
    const std::uint64_t before = bench::allocationsSoFar();
    for (auto _ : state) {
        draw(game);
        SDL_RenderFlush(gCanvas.renderer);
    }
    countAllocations(state, before);
}

void drawBare(benchmark::State& state, const Draw& draw) {
    const GameState game = midGame();
    std::vector<bench::DrawCall> calls;
    calls.reserve(64);
    {
        bench::CallRecorder recorder(calls);
        draw(game);
    }
    SDL_RenderFlush(gCanvas.renderer);
    const std::uint64_t before = bench::allocationsSoFar();
    for (auto _ : state) {
        bench::replay(calls, 0, calls.size());
        SDL_RenderFlush(gCanvas.renderer);
    }
    countAllocations(state, before);
}

struct FormatCase {
    const char* name;
    const char* path;
    SDL_Rect destination;  // w == 0: the whole window
    double angle;
    SDL_RendererFlip flip;
};

constexpr FormatCase kFormatCases[] = {
    {"background", "Images/Background.png", {0, 0, 0, 0}, 0.0, SDL_FLIP_NONE},
    {"bird", "Images/Bird.png", {kBirdX, 380, 50, 50}, 7.0, SDL_FLIP_NONE},
    {"pipeBody", "Images/Pipe_Body.png", {200, 0, kPipeWidth, 370}, 0.0, SDL_FLIP_VERTICAL},
};

void copyInFormat(benchmark::State& state, const FormatCase& copy, bool convert) {
    SDL_Surface* loaded = bench::loadGameImage(copy.path);
    SDL_Surface* surface =
        convert ? SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0) : loaded;
    SDL_Texture* texture = SDL_CreateTextureFromSurface(gCanvas.renderer, surface);
    const SDL_Rect* destination = copy.destination.w != 0 ? &copy.destination : nullptr;
    const std::uint64_t before = bench::allocationsSoFar();
    for (auto _ : state) {
        SDL_RenderCopyEx(gCanvas.renderer, texture, nullptr, destination, copy.angle, nullptr,
                         copy.flip);
        SDL_RenderFlush(gCanvas.renderer);
    }
    countAllocations(state, before);
    SDL_DestroyTexture(texture);
    if (surface != loaded) {
        SDL_FreeSurface(surface);
    }
    SDL_FreeSurface(loaded);
}

// The console output, plus tables of the ratios of median CPU times (less
// disturbed than wall time by other processes on a busy machine): game/bare
// for the draw functions, as loaded/ARGB8888 for the texture formats.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                medians_[run.run_name.function_name] = run.GetAdjustedCPUTime();
            }
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        if (medians_.empty()) {
            return;
        }
        std::printf(
            "\n| draw function | game CPU ns | bare CPU ns | game/bare |\n"
            "|---|---:|---:|---:|\n");
        for (const auto& [name, draw] : draws()) {
            printRatio(name, name + "/game", name + "/bare");
        }
        std::printf(
            "\n| one copy of | as loaded CPU ns | ARGB8888 CPU ns | as loaded/ARGB8888 |\n"
            "|---|---:|---:|---:|\n");
        for (const FormatCase& copy : kFormatCases) {
            const std::string name = std::string("copy/") + copy.name;
            printRatio(copy.name, name + "/as-loaded", name + "/ARGB8888");
        }
        std::printf("\n");
    }

private:
    void printRatio(const std::string& label, const std::string& first, const std::string& second) {
        const double a = medians_[first];
        const double b = medians_[second];
        if (a > 0.0 && b > 0.0) {
            std::printf("| %s | %.0f | %.0f | %.3f |\n", label.c_str(), a, b, a / b);
        }
    }

    std::map<std::string, double> medians_;
};

}  // namespace

int main(int argc, char* argv[]) {
    benchmark::Initialize(&argc, argv);
    if (!bench::startSdl()) {
        return EXIT_FAILURE;
    }
    gCanvas = bench::makeCanvas();
    if (gCanvas.renderer == nullptr) {
        std::fprintf(stderr, "cannot make a software renderer: %s\n", SDL_GetError());
        return EXIT_FAILURE;
    }
    gMedia.renderer = gCanvas.renderer;
    bench::loadGameMedia(gMedia);

    benchmark::RegisterBenchmark("worldTick", worldTick);
    benchmark::RegisterBenchmark("birdHitsObstacle", gameOverTest);
    benchmark::RegisterBenchmark("resetGame", reset);
    for (const auto& [name, draw] : draws()) {
        benchmark::RegisterBenchmark((name + "/game").c_str(), drawGame, draw);
        benchmark::RegisterBenchmark((name + "/bare").c_str(), drawBare, draw);
    }
    for (const FormatCase& copy : kFormatCases) {
        const std::string name = std::string("copy/") + copy.name;
        benchmark::RegisterBenchmark((name + "/as-loaded").c_str(), copyInFormat, copy, false);
        benchmark::RegisterBenchmark((name + "/ARGB8888").c_str(), copyInFormat, copy, true);
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    destroyCanvas(gCanvas);
    SDL_Quit();
    return EXIT_SUCCESS;
}
