// Runs the real game binary and the bare SDL program with first_frame_shim
// preloaded, alternating them, and reports side by side:
//
//   zephrin_startup first-frame RUNS GAME BARE SHIM   exec to first presented frame
//   zephrin_startup memory SECONDS GAME BARE SHIM     peak RSS after SECONDS of play
//
// Both run in the current directory with the display of the environment and,
// unless SDL_AUDIODRIVER says otherwise, SDL's dummy audio driver.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/launch.h"
#include "bench/stats.h"

namespace {

using bench::runUnderShim;

int firstFrame(int runs, const std::string& game, const std::string& bare,
               const std::string& shim) {
    std::vector<double> gameMs;
    std::vector<double> bareMs;
    for (int i = 0; i < runs; ++i) {
        for (int which = 0; which < 2; ++which) {
            // ABBA order, so neither program always runs first
            const bool isGame = (which == 0) == (i % 2 == 0);
            long long started = 0;
            const long long presented =
                runUnderShim(isGame ? game : bare, nullptr, shim, "first-frame", &started);
            if (presented < 0) {
                std::fprintf(stderr, "%s presented no frame\n", (isGame ? game : bare).c_str());
                return EXIT_FAILURE;
            }
            (isGame ? gameMs : bareMs).push_back(static_cast<double>(presented - started) / 1e6);
        }
    }
    const bench::Summary g = bench::summarize(gameMs);
    const bench::Summary b = bench::summarize(bareMs);
    std::printf("Exec to first presented frame, %d runs each, alternating\n\n", runs);
    std::printf("| program | median ms | max ms |\n|---|---:|---:|\n");
    std::printf("| game | %.1f | %.1f |\n| bare SDL program | %.1f | %.1f |\n", g.median, g.max,
                b.median, b.max);
    const double ratio = g.median / b.median;
    std::printf("\ngame/bare start-up: **%.2f** (goal <= 1.2: %s)\n\n", ratio,
                ratio <= 1.2 ? "met" : "NOT met");
    return EXIT_SUCCESS;
}

int memory(int seconds, const std::string& game, const std::string& bare, const std::string& shim) {
    const std::string mode = "play:" + std::to_string(seconds * 1000);
    long long started = 0;
    const long long gameKb = runUnderShim(game, nullptr, shim, mode, &started);
    const long long bareKb = runUnderShim(bare, "loop", shim, mode, &started);
    if (gameKb < 0 || bareKb < 0) {
        std::fprintf(stderr, "no peak RSS reported\n");
        return EXIT_FAILURE;
    }
    std::printf("Peak RSS after %d s of play\n\n| program | peak RSS MiB |\n|---|---:|\n", seconds);
    std::printf("| game | %.1f |\n| bare SDL program | %.1f |\n", gameKb / 1024.0, bareKb / 1024.0);
    std::printf("\ngame - bare: **%.1f MiB** (game/bare %.2f)\n\n", (gameKb - bareKb) / 1024.0,
                static_cast<double>(gameKb) / static_cast<double>(bareKb));
    return EXIT_SUCCESS;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s first-frame RUNS|memory SECONDS GAME BARE SHIM\n", argv[0]);
        return EXIT_FAILURE;
    }
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    const std::string mode = argv[1];
    const int amount = std::atoi(argv[2]);
    if (mode == "first-frame") {
        return firstFrame(amount, argv[3], argv[4], argv[5]);
    }
    if (mode == "memory") {
        return memory(amount, argv[3], argv[4], argv[5]);
    }
    std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
    return EXIT_FAILURE;
}
