// The bare loop is only a fair yardstick if it makes exactly the game's calls:
// a replay must draw the very same pixels.
#include <SDL.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/main_loop.h"
#include "bench/alloc_count.h"
#include "bench/frames.h"
#include "game/bird.h"
#include "game/pipes.h"
#include "game/score.h"

namespace {

class Frames : public ::testing::Test {
protected:
    void SetUp() override {
        SDL_setenv("SDL_VIDEODRIVER", "dummy", 1);
        ASSERT_TRUE(bench::startSdl());
        canvas_ = bench::makeCanvas();
        ASSERT_NE(canvas_.renderer, nullptr) << SDL_GetError();
        media_.renderer = canvas_.renderer;
        bench::loadGameMedia(media_);
        std::srand(3);
        resetGame(state_);
        for (int i = 0; i < kPipePairCount; ++i) {
            placePipePair(state_.pipes[i], 50 + 350 * i);  // three pairs in the window
        }
        state_.score = 907;
        state_.birdVelocity = 24.0f;
        state_.lastTickMs = static_cast<std::int32_t>(readClockMs());
    }
    void TearDown() override {
        bench::destroyCanvas(canvas_);
        SDL_Quit();
    }

    std::vector<Uint8> pixels() const {
        const auto* bytes = static_cast<const Uint8*>(canvas_.surface->pixels);
        return {bytes, bytes + canvas_.surface->pitch * canvas_.surface->h};
    }
    void blank() {
        SDL_FillRect(canvas_.surface, nullptr, 0);
    }

    bench::Canvas canvas_;
    Media media_;
    GameState state_{};
};

TEST_F(Frames, AReplayDrawsWhatTheGameDrew) {
    std::vector<bench::DrawCall> calls;
    blank();
    {
        bench::CallRecorder recorder(calls);
        drawPipes(canvas_.renderer, state_, media_.pipeBodyTexture, media_.pipeHeadTexture);
        drawScore(canvas_.renderer, state_.score, media_.scoreSheetTexture);
        drawBird(canvas_.renderer, state_, media_.birdTexture);
    }
    SDL_RenderFlush(canvas_.renderer);
    const std::vector<Uint8> drawn = pixels();
    ASSERT_EQ(calls.size(), 3u * 4u + 3u + 1u);  // three pairs, three digits, the bird
    EXPECT_EQ(calls[0].flip, SDL_FLIP_VERTICAL);
    EXPECT_EQ(calls.back().angle, 8.0);

    blank();
    bench::replay(calls, 0, calls.size());
    SDL_RenderFlush(canvas_.renderer);
    EXPECT_TRUE(pixels() == drawn);
}

TEST_F(Frames, AWholePassIsRecordedClearToPresent) {
    std::vector<bench::DrawCall> calls;
    {
        bench::CallRecorder recorder(calls);
        ASSERT_TRUE(runPass(state_, media_, readClockMs));
    }
    ASSERT_EQ(calls.size(), 1u + 1u + 12u + 3u + 1u + 1u);
    EXPECT_EQ(calls.front().kind, bench::DrawCall::kClear);
    EXPECT_EQ(calls[1].texture, media_.backgroundTexture);
    EXPECT_FALSE(calls[1].hasSource);
    EXPECT_FALSE(calls[1].hasDestination);
    EXPECT_EQ(calls.back().kind, bench::DrawCall::kPresent);

    calls.clear();
    drawBird(canvas_.renderer, state_, media_.birdTexture);
    EXPECT_TRUE(calls.empty()) << "nothing is recorded once the recorder is gone";
}

TEST_F(Frames, WhatSdlAllocatesIsToldApartFromTheRest) {
    const std::uint64_t before = bench::allocationsSoFar();
    const std::uint64_t beforeInSdl = bench::allocationsInsideSdl();
    drawBird(canvas_.renderer, state_, media_.birdTexture);  // SDL rotates through new surfaces
    SDL_RenderFlush(canvas_.renderer);
    const std::uint64_t inSdl = bench::allocationsInsideSdl() - beforeInSdl;
    EXPECT_GT(inSdl, 0u);
    EXPECT_EQ(bench::allocationsSoFar() - before, inSdl);

    const std::uint64_t beforeOurs = bench::allocationsInsideSdl();
    std::vector<int> ours(100);  // not an SDL call
    EXPECT_EQ(bench::allocationsInsideSdl(), beforeOurs);
    (void)ours;
}

TEST_F(Frames, MadeUpArtHasTheRealImagesSizes) {
    // From a directory without Images/, as while the art is being made.
    const std::filesystem::path previous = std::filesystem::current_path();
    std::string empty = (std::filesystem::temp_directory_path() / "zephrin-bench-XXXXXX").string();
    ASSERT_NE(mkdtemp(empty.data()), nullptr);
    std::filesystem::current_path(empty);
    SDL_Surface* background = bench::loadGameImage("Images/Background.png");
    Media media;
    media.renderer = canvas_.renderer;
    bench::loadGameMedia(media);
    std::filesystem::current_path(previous);
    std::filesystem::remove(empty);

    ASSERT_NE(background, nullptr);
    EXPECT_EQ(background->w, 800);
    EXPECT_EQ(background->h, 800);
    EXPECT_EQ(background->format->format, static_cast<Uint32>(SDL_PIXELFORMAT_ABGR8888));
    SDL_FreeSurface(background);
    const struct {
        SDL_Texture* texture;
        int w;
        int h;
    } expected[] = {{media.backgroundTexture, 800, 800},
                    {media.pipeBodyTexture, 50, 8},
                    {media.pipeHeadTexture, 50, 30},
                    {media.scoreSheetTexture, 500, 50},
                    {media.birdTexture, 64, 64}};
    for (const auto& e : expected) {
        int w = 0;
        int h = 0;
        ASSERT_EQ(SDL_QueryTexture(e.texture, nullptr, nullptr, &w, &h), 0) << SDL_GetError();
        EXPECT_EQ(w, e.w);
        EXPECT_EQ(h, e.h);
    }
}

TEST_F(Frames, ConvertedTexturesKeepTheirSizes) {
    const Media argb = bench::withTexturesIn(media_, SDL_PIXELFORMAT_ARGB8888);
    SDL_Texture* const pairs[][2] = {{media_.birdTexture, argb.birdTexture},
                                     {media_.backgroundTexture, argb.backgroundTexture},
                                     {media_.scoreSheetTexture, argb.scoreSheetTexture}};
    for (const auto& pair : pairs) {
        Uint32 format = 0;
        int w[2] = {};
        int h[2] = {};
        SDL_QueryTexture(pair[0], nullptr, nullptr, &w[0], &h[0]);
        ASSERT_EQ(SDL_QueryTexture(pair[1], &format, nullptr, &w[1], &h[1]), 0);
        EXPECT_EQ(format, static_cast<Uint32>(SDL_PIXELFORMAT_ARGB8888));
        EXPECT_NE(pair[0], pair[1]);
        EXPECT_EQ(w[0], w[1]);
        EXPECT_EQ(h[0], h[1]);
    }
}

TEST_F(Frames, TheAutopilotFlapsNearTheGapFloorAndRestartsAfterAFall) {
    // Pair 0 ends just short of the bird's hit points; pair 1 comes next, then pair 2.
    state_.pipes[0].top.x = state_.pipes[0].bottom.x = kBirdX + 10 - kPipeWidth - 1;
    const int floor = state_.pipes[1].bottom.y;
    state_.birdY = floor - 60;
    EXPECT_EQ(bench::steer(state_), SDLK_UNKNOWN);
    state_.birdY = floor - 39;
    EXPECT_EQ(bench::steer(state_), SDLK_SPACE);
    state_.alive = false;
    EXPECT_EQ(bench::steer(state_), SDLK_r);
}

}  // namespace
