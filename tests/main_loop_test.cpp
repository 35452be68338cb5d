// The main loop driven headless: scripted events and clock readings through
// the real pass, drawing into a software renderer.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "app/main_loop.h"
#include "app/media.h"
#include "game/bird.h"
#include "game/state.h"
#include "tests/canvas.h"

namespace {

using namespace testing_support;

std::uint32_t gClockMs = 0;
int gClockReads = 0;

std::uint32_t scriptedClock() {
    ++gClockReads;
    return gClockMs;
}

class MainLoop : public ::testing::Test {
protected:
    void SetUp() override {
        useHeadlessDrivers();
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        canvas_ = makeCanvas();
        ASSERT_NE(canvas_.renderer, nullptr) << SDL_GetError();
        media_.renderer = canvas_.renderer;
        media_.backgroundTexture = makeBandedTexture(canvas_.renderer, 8, 8, {kGrey});
        media_.birdTexture = makeBandedTexture(canvas_.renderer, 8, 8, {kYellow});
        media_.pipeBodyTexture = makeBandedTexture(canvas_.renderer, 8, 8, {kGreen});
        media_.pipeHeadTexture = makeBandedTexture(canvas_.renderer, 8, 8, {kGreen});
        media_.scoreSheetTexture = makeBandedTexture(canvas_.renderer, 500, 50, {kWhite});
        std::srand(42);
        resetGame(state_);
        gClockMs = 100000;
        gClockReads = 0;
        state_.lastTickMs = static_cast<std::int32_t>(gClockMs);
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    }
    void TearDown() override {
        destroyCanvas(canvas_);
        SDL_Quit();
    }

    static void pushKey(SDL_Keycode key, bool repeat = false) {
        SDL_Event event{};
        event.type = SDL_KEYDOWN;
        event.key.state = SDL_PRESSED;
        event.key.repeat = repeat ? 1 : 0;
        event.key.keysym.sym = key;
        ASSERT_EQ(SDL_PushEvent(&event), 1);
    }
    static void pushQuit() {
        SDL_Event event{};
        event.type = SDL_QUIT;
        ASSERT_EQ(SDL_PushEvent(&event), 1);
    }

    bool passAt(std::uint32_t clockMs) {
        gClockMs = clockMs;
        return runPass(state_, media_, scriptedClock);
    }

    // Runs passes 31 ms apart, each with a world tick, until the game ends.
    int ticksUntilGameOver(int limit) {
        for (int pass = 1; pass <= limit; ++pass) {
            passAt(gClockMs + 31);
            if (!state_.alive) {
                return pass;
            }
        }
        return -1;
    }

    // Bird far from every pipe, so only what the test does matters.
    void clearField() {
        for (int i = 0; i < kPipePairCount; ++i) {
            state_.pipes[i].top.x = state_.pipes[i].bottom.x = 2000 + 350 * i;
        }
    }

    Canvas canvas_;
    Media media_;
    GameState state_{};
};

TEST_F(MainLoop, WorldTicksOnlyWhenMoreThan30MsHavePassed) {
    struct Case {
        std::uint32_t last;
        std::uint32_t now;
        bool ticks;
    };
    const Case cases[] = {
        {1000, 1000, false},
        {1000, 1030, false},  // exactly 30: not yet
        {1000, 1031, true},
        {1000, 5000, true},
        {0xFFFFFFF0u, 0x0000000Eu, false},  // 30 across the counter's wrap
        {0xFFFFFFF0u, 0x0000000Fu, true},   // 31 across the wrap
        {0x7FFFFFF0u, 0x80000010u, true},   // past the largest signed reading
    };
    for (const Case& c : cases) {
        std::srand(42);
        resetGame(state_);
        state_.lastTickMs = static_cast<std::int32_t>(c.last);
        passAt(c.now);
        const bool ticked = state_.birdY != 400;
        EXPECT_EQ(ticked, c.ticks) << c.last << " -> " << c.now;
        EXPECT_EQ(state_.lastTickMs, static_cast<std::int32_t>(c.ticks ? c.now : c.last));
        EXPECT_EQ(state_.pipes[0].top.x, c.ticks ? 990 : 1000);
    }
}

// A loop that waits between passes (the web page's) wakes after
// msUntilTickDue: a pass that reads the clock then must tick, and one a
// millisecond sooner must not, or ticks would come early or late.
TEST_F(MainLoop, TheWaitUntilTheTickIsDueEndsWhenItIsDue) {
    struct Case {
        std::uint32_t last;
        std::uint32_t now;
        std::uint32_t waitMs;
    };
    const Case cases[] = {
        {1000, 1000, 31},
        {1000, 1016, 15},
        {1000, 1030, 1},
        {1000, 1031, 0},                 // due: no wait
        {1000, 9000, 0},                 // long overdue, as after a game over
        {0xFFFFFFF0u, 0x00000005u, 10},  // across the counter's wrap
        {0x7FFFFFF0u, 0x80000000u, 15},  // past the largest signed reading
    };
    for (const Case& c : cases) {
        const auto last = static_cast<std::int32_t>(c.last);
        EXPECT_EQ(msUntilTickDue(c.now, last), c.waitMs) << c.last << " -> " << c.now;
        EXPECT_TRUE(tickIsDue(c.now + c.waitMs, last)) << c.last << " -> " << c.now;
        if (c.waitMs > 0) {
            EXPECT_FALSE(tickIsDue(c.now + c.waitMs - 1, last)) << c.last << " -> " << c.now;
        }
    }
}

TEST_F(MainLoop, APassDrawsBackgroundPipesScoreAndBirdInThatOrder) {
    // A seven-digit score runs from x = 260 to 539, under the bird at 300..349
    // and over a pipe at 260..309.
    clearField();
    state_.pipes[0].top = {260, 0, 50, 100};
    state_.pipes[0].bottom = {260, 220, 50, 580};
    state_.score = 1000000;
    state_.birdY = 150;
    state_.birdVelocity = 0.0f;
    paint(canvas_, kRed);
    ASSERT_TRUE(passAt(gClockMs));
    EXPECT_EQ(pixelAt(canvas_, 10, 10), kGrey) << "background over the whole window";
    EXPECT_EQ(pixelAt(canvas_, 799, 799), kGrey);
    EXPECT_EQ(pixelAt(canvas_, 270, 50), kGreen) << "pipe over the background";
    EXPECT_EQ(pixelAt(canvas_, 270, 160), kWhite) << "score over the pipe";
    EXPECT_EQ(pixelAt(canvas_, 325, 175), kYellow) << "bird over the score";
}

TEST_F(MainLoop, TheTickRunsBeforeTheFrameIsDrawn) {
    clearField();
    state_.birdVelocity = -6.0f;  // the next tick brings it to 0: level, no tilt
    passAt(gClockMs + 31);
    EXPECT_EQ(state_.birdY, 400);
    jump(state_);
    paint(canvas_, kRed);
    passAt(gClockMs + 31);
    ASSERT_EQ(state_.birdY, 384);
    EXPECT_EQ(pixelAt(canvas_, 325, 384 + 25), kYellow) << "the frame shows the new position";
    EXPECT_EQ(pixelAt(canvas_, 325, 440), kGrey);
}

TEST_F(MainLoop, SpaceJumpsAndEveryKeyRepeatJumpsAgain) {
    pushKey(SDLK_SPACE);
    passAt(gClockMs);
    EXPECT_EQ(state_.birdVelocity, -45.0f);
    passAt(gClockMs + 31);
    EXPECT_EQ(state_.birdVelocity, -39.0f);
    pushKey(SDLK_SPACE, true);
    passAt(gClockMs);
    EXPECT_EQ(state_.birdVelocity, -45.0f);
}

TEST_F(MainLoop, OtherKeysAndEventsAreIgnored) {
    const GameState before = state_;
    pushKey(SDLK_a);
    pushKey(SDLK_RETURN);
    pushKey(SDLK_UP);
    SDL_Event motion{};
    motion.type = SDL_MOUSEMOTION;
    SDL_PushEvent(&motion);
    passAt(gClockMs);
    EXPECT_EQ(state_.birdVelocity, before.birdVelocity);
    EXPECT_EQ(state_.birdY, before.birdY);
    EXPECT_EQ(state_.pipes[0].top.h, before.pipes[0].top.h);
}

TEST_F(MainLoop, SpaceThenRInOnePassTheResetWins) {
    passAt(gClockMs + 31);
    pushKey(SDLK_SPACE);
    pushKey(SDLK_r);
    passAt(gClockMs);
    EXPECT_EQ(state_.birdVelocity, -70.0f);
    EXPECT_EQ(state_.birdY, 400);
    EXPECT_EQ(state_.pipes[0].top.x, 1000);
}

TEST_F(MainLoop, ABirdLeftAloneFallsOutAfter33TicksAndThePictureFreezes) {
    clearField();
    EXPECT_EQ(ticksUntilGameOver(100), 34) << "tick 33 takes it to 809, the next pass ends it";
    EXPECT_EQ(state_.birdY, 809);
    EXPECT_FALSE(state_.alive);

    const GameState atTheHit = state_;
    paint(canvas_, kRed);
    pushKey(SDLK_SPACE);
    for (int pass = 0; pass < 5; ++pass) {
        passAt(gClockMs + 1000);
    }
    EXPECT_EQ(pixelAt(canvas_, 400, 400), kRed) << "nothing is drawn while the game is over";
    EXPECT_EQ(state_.birdY, atTheHit.birdY);
    EXPECT_EQ(state_.pipes[0].top.x, atTheHit.pipes[0].top.x);
    EXPECT_EQ(state_.lastTickMs, atTheHit.lastTickMs) << "no tick while the game is over";
    EXPECT_EQ(state_.birdVelocity, -45.0f) << "space still sets the velocity";
}

TEST_F(MainLoop, RRestartsAndTheSamePassTicksDrawsAndPresents) {
    clearField();
    ticksUntilGameOver(100);
    ASSERT_FALSE(state_.alive);
    gClockMs += 5000;
    passAt(gClockMs);
    paint(canvas_, kRed);
    pushKey(SDLK_r);
    passAt(gClockMs);
    EXPECT_TRUE(state_.alive);
    EXPECT_EQ(state_.birdY, 374) << "the first tick of the new game ran in this pass";
    EXPECT_EQ(state_.pipes[0].top.x, 990);
    EXPECT_EQ(state_.lastTickMs, static_cast<std::int32_t>(gClockMs));
    EXPECT_EQ(pixelAt(canvas_, 400, 400), kGrey);
}

TEST_F(MainLoop, HittingAPipeFreezesTheFrameThatShowsTheHit) {
    clearField();
    state_.pipes[0].top = {300, 0, 50, 700};  // a wall right at the bird
    state_.pipes[0].bottom = {300, 820, 50, 0};
    paint(canvas_, kRed);
    EXPECT_TRUE(passAt(gClockMs + 31));
    EXPECT_FALSE(state_.alive);
    EXPECT_EQ(pixelAt(canvas_, 400, 400), kRed);
    EXPECT_EQ(gClockReads, 0) << "the clock is not even read once the game is over";
}

TEST_F(MainLoop, PointScoredInTheTickOfAHitIsKept) {
    clearField();
    state_.pipes[0].top = {300, 0, 50, 700};
    state_.pipes[0].bottom = {300, 820, 50, 0};
    state_.birdY = -2000;  // above the pipe while it reaches 290
    state_.birdVelocity = 0.0f;
    state_.gravity = 0.0f;
    passAt(gClockMs + 31);
    EXPECT_EQ(state_.score, 1);
    state_.birdY = 400;
    passAt(gClockMs);
    EXPECT_FALSE(state_.alive);
    EXPECT_EQ(state_.score, 1);
}

TEST_F(MainLoop, QuitEndsThePassAtOnceLeavingLaterEventsQueued) {
    pushQuit();
    pushKey(SDLK_SPACE);
    paint(canvas_, kRed);
    EXPECT_FALSE(passAt(gClockMs + 31));
    EXPECT_EQ(state_.birdVelocity, -70.0f);
    EXPECT_EQ(state_.birdY, 400);
    EXPECT_EQ(pixelAt(canvas_, 400, 400), kRed);
    SDL_Event next;
    ASSERT_EQ(SDL_PollEvent(&next), 1);
    EXPECT_EQ(next.type, SDL_KEYDOWN);
}

TEST_F(MainLoop, QuitWorksWhileTheGameIsOver) {
    state_.alive = false;
    pushQuit();
    EXPECT_FALSE(passAt(gClockMs));
}

TEST_F(MainLoop, RunMainLoopReturnsZeroOnQuit) {
    for (int i = 0; i < 3; ++i) {
        pushKey(SDLK_SPACE);
    }
    pushQuit();
    EXPECT_EQ(runMainLoop(state_, media_), 0);
    EXPECT_EQ(state_.birdVelocity, -45.0f);
}

TEST_F(MainLoop, AFloodOfKeysIsHandledInOrder) {
    for (int i = 0; i < 10000; ++i) {
        pushKey(i % 3 == 0 ? SDLK_r : (i % 3 == 1 ? SDLK_SPACE : SDLK_x));
    }
    pushKey(SDLK_SPACE);
    passAt(gClockMs);
    EXPECT_EQ(state_.birdVelocity, -45.0f) << "the last space came after the last r";
    SDL_Event leftover;
    EXPECT_EQ(SDL_PollEvent(&leftover), 0);
}

TEST_F(MainLoop, MissingMediaStillPlays) {
    Media bare;
    bare.renderer = canvas_.renderer;
    clearField();
    for (int pass = 0; pass < 40; ++pass) {
        gClockMs += 31;
        ASSERT_TRUE(runPass(state_, bare, scriptedClock));
    }
    EXPECT_FALSE(state_.alive);
    pushKey(SDLK_r);
    runPass(state_, bare, scriptedClock);
    EXPECT_TRUE(state_.alive);
}

}  // namespace
