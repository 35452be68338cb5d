// The rules of play, with the game's exact numbers.
#include <SDL.h>
#include <SDL_mixer.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "game/bird.h"
#include "game/collision.h"
#include "game/pipes.h"
#include "game/score.h"
#include "game/state.h"
#include "tests/canvas.h"

namespace {

GameState freshGame(unsigned seed = 1) {
    std::srand(seed);
    GameState state{};
    state.lastTickMs = 1234;
    resetGame(state);
    return state;
}

// The gaps the next `count` rand() calls will give, without disturbing them.
std::vector<int> upcomingGaps(unsigned seed, int count) {
    std::srand(seed);
    std::vector<int> gaps;
    for (int i = 0; i < count; ++i) {
        gaps.push_back(std::rand() % 400);
    }
    return gaps;
}

void expectGapRule(const PipePair& pair, int r) {
    EXPECT_EQ(pair.top.x, pair.bottom.x);
    EXPECT_EQ(pair.top.y, 0);
    EXPECT_EQ(pair.top.w, 50);
    EXPECT_EQ(pair.bottom.w, 50);
    EXPECT_EQ(pair.top.h, r + 200);
    EXPECT_EQ(pair.bottom.y, r + 320);
    EXPECT_EQ(pair.bottom.h, 480 - r);
}

// Every pipe far off to the right, so only the floor can end the game.
void clearField(GameState& state) {
    for (int i = 0; i < kPipePairCount; ++i) {
        placePipePair(state.pipes[i], 5000 + 350 * i);
    }
}

// One pipe pair at column x with its gap's upper edge at r + 200.
void placeOnlyPair(GameState& state, int x, int r) {
    clearField(state);
    state.pipes[0].top = {x, 0, 50, r + 200};
    state.pipes[0].bottom = {x, r + 320, 50, 480 - r};
}

TEST(ResetGame, StartsEveryGameTheSameWayButForTheGaps) {
    const GameState state = freshGame();
    EXPECT_EQ(state.birdY, 400);
    EXPECT_EQ(state.birdVelocity, -70.0f);
    EXPECT_EQ(state.gravity, 15.0f);
    EXPECT_EQ(state.birdSize, 50);
    EXPECT_EQ(state.score, 0);
    EXPECT_TRUE(state.alive);
    EXPECT_EQ(state.lastTickMs, 1234) << "a reset must not move the tick clock";
}

TEST(ResetGame, LaysOutTenPairsFrom1000WithOneRandomGapEach) {
    for (unsigned seed : {1u, 7u, 20261208u}) {
        const std::vector<int> gaps = upcomingGaps(seed, kPipePairCount);
        const GameState state = freshGame(seed);
        for (int i = 0; i < kPipePairCount; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(state.pipes[i].top.x, 1000 + 350 * i);
            expectGapRule(state.pipes[i], gaps[static_cast<size_t>(i)]);
        }
        // Exactly ten rand() calls: the next one is the eleventh of the sequence.
        const std::vector<int> eleven = upcomingGaps(seed, kPipePairCount + 1);
        std::srand(seed);
        GameState again{};
        resetGame(again);
        EXPECT_EQ(std::rand() % 400, eleven.back());
    }
}

TEST(ResetGame, GapAlwaysSpans120PixelsAndBottomPipeReachesTheFloor) {
    for (unsigned seed = 0; seed < 200; ++seed) {
        const GameState state = freshGame(seed);
        for (const PipePair& pair : state.pipes) {
            const int r = pair.top.h - 200;
            ASSERT_GE(r, 0);
            ASSERT_LE(r, 399);
            ASSERT_EQ(pair.bottom.y - pair.top.h, 120);
            ASSERT_EQ(pair.bottom.y + pair.bottom.h, 800);
        }
    }
}

TEST(ResetGame, RestartMidFlightStartsOver) {
    GameState state = freshGame();
    for (int i = 0; i < 80; ++i) {
        advanceBird(state);
        scrollPipes(state);
        awardPassingPoint(state, nullptr);
    }
    state.alive = false;
    resetGame(state);
    EXPECT_EQ(state.pipes[0].top.x, 1000);
    EXPECT_EQ(state.pipes[9].top.x, 4150);
    EXPECT_EQ(state.score, 0);
    EXPECT_EQ(state.birdY, 400);
    EXPECT_TRUE(state.alive);
}

TEST(BirdFlight, RisesThenFallsOutOfTheWindowWithoutInput) {
    GameState state = freshGame();
    const int expected[] = {374, 350, 329, 310, 294, 280, 268, 259, 252, 248, 246, 246};
    for (int tick = 0; tick < 12; ++tick) {
        advanceBird(state);
        EXPECT_EQ(state.birdY, expected[tick]) << "after tick " << tick + 1;
    }
    EXPECT_EQ(state.birdVelocity, 2.0f);
    for (int tick = 13; tick <= 33; ++tick) {
        advanceBird(state);
        EXPECT_LE(state.birdY, tick < 33 ? 800 : 809) << "after tick " << tick;
    }
    EXPECT_EQ(state.birdVelocity, 128.0f);
    EXPECT_EQ(state.birdY, 809);
}

TEST(BirdFlight, JumpSetsVelocityAndTheNextTickMovesUp15Point6Truncated) {
    struct Case {
        int birdYBefore;
        int birdYAfter;
    };
    const Case cases[] = {
        {400, 384},  // 384.4
        {5, -10},    // -10.6 truncates toward zero, not down to -11
        {-100, -115},
        {20, 4},  // 4.4
    };
    for (const Case& c : cases) {
        GameState state = freshGame();
        state.birdY = c.birdYBefore;
        jump(state);
        EXPECT_EQ(state.birdVelocity, -45.0f);
        EXPECT_EQ(state.birdY, c.birdYBefore) << "a jump does not move the bird by itself";
        advanceBird(state);
        EXPECT_EQ(state.birdVelocity, -39.0f);
        EXPECT_EQ(state.birdY, c.birdYAfter) << "from " << c.birdYBefore;
    }
}

TEST(BirdFlight, AJumpClimbsForSevenTicks) {
    GameState state = freshGame();
    jump(state);
    for (int tick = 1; tick <= 7; ++tick) {
        const int before = state.birdY;
        advanceBird(state);
        EXPECT_LT(state.birdVelocity, 0.0f);
        EXPECT_LT(state.birdY, before);
    }
    advanceBird(state);
    EXPECT_EQ(state.birdVelocity, 3.0f);
}

TEST(BirdFlight, JumpWorksWhileTheGameIsOverButMovesNothing) {
    GameState state = freshGame();
    state.alive = false;
    jump(state);
    EXPECT_EQ(state.birdVelocity, -45.0f);
    EXPECT_EQ(state.birdY, 400);
    resetGame(state);
    EXPECT_EQ(state.birdVelocity, -70.0f);
}

TEST(BirdFlight, TiltFollowsVelocity) {
    struct Case {
        float velocity;
        double angle;
    };
    const Case cases[] = {
        {-70.0f, static_cast<double>(-70.0f / 3.0f)},  // about -23.3, divided in float
        {-45.0f, -15.0},
        {0.0f, 0.0},
        {270.0f, 90.0},
    };
    for (const Case& c : cases) {
        GameState state = freshGame();
        state.birdVelocity = c.velocity;
        EXPECT_EQ(birdAngle(state), c.angle) << "velocity " << c.velocity;
    }
    GameState state = freshGame();
    EXPECT_NEAR(birdAngle(state), -23.333, 0.001);
    EXPECT_NE(birdAngle(state), -70.0 / 3.0) << "the division is in single precision";
}

TEST(PipeScrolling, FirstPairEntersTheWindowAfter21Ticks) {
    GameState state = freshGame();
    for (int tick = 1; tick <= 21; ++tick) {
        scrollPipes(state);
    }
    EXPECT_EQ(state.pipes[0].top.x, 790);
    EXPECT_EQ(state.pipes[0].bottom.x, 790);
    EXPECT_EQ(state.pipes[9].top.x, 3940);
}

TEST(PipeScrolling, PairThatReachesTheLeftEdgeComesBackAt3500WithANewGap) {
    const unsigned seed = 99;
    const std::vector<int> gaps = upcomingGaps(seed, kPipePairCount + 2);
    GameState state = freshGame(seed);
    for (int tick = 1; tick <= 99; ++tick) {
        scrollPipes(state);
    }
    EXPECT_EQ(state.pipes[0].top.x, 10) << "the last column at which a pair is drawn";
    scrollPipes(state);
    EXPECT_EQ(state.pipes[0].top.x, 3500);
    EXPECT_EQ(state.pipes[9].top.x, 3150);
    expectGapRule(state.pipes[0], gaps[10]);
    for (int tick = 1; tick <= 35; ++tick) {
        scrollPipes(state);
    }
    EXPECT_EQ(state.pipes[1].top.x, 3500);
    expectGapRule(state.pipes[1], gaps[11]);
    EXPECT_EQ(state.pipes[0].top.x, 3150) << "recycled pairs keep their place in the array";
}

TEST(PipeScrolling, KeepsEveryInvariantOverALongGame) {
    GameState state = freshGame(3);
    for (int tick = 0; tick < 10000; ++tick) {
        scrollPipes(state);
        for (const PipePair& pair : state.pipes) {
            ASSERT_EQ(pair.top.x, pair.bottom.x);
            ASSERT_EQ(pair.top.x % 10, 0);
            ASSERT_GT(pair.top.x, 0);
            ASSERT_LE(pair.top.x, 4150);
            ASSERT_EQ(pair.bottom.y - pair.top.h, 120);
            ASSERT_EQ(pair.bottom.y + pair.bottom.h, 800);
        }
    }
}

TEST(Collision, FloorEndsTheGameOnlyBelow800) {
    GameState state = freshGame();
    clearField(state);
    for (int y : {-5000, 0, 400, 789, 800}) {
        state.birdY = y;
        EXPECT_FALSE(birdHitsObstacle(state)) << "birdY " << y;
    }
    for (int y : {801, 809, 5000}) {
        state.birdY = y;
        EXPECT_TRUE(birdHitsObstacle(state)) << "birdY " << y;
    }
}

TEST(Collision, PipeTouchesTheBirdFromColumn260To340) {
    struct Case {
        int pipeX;
        bool hit;
    };
    const Case cases[] = {{250, false}, {259, false}, {260, true}, {300, true},
                          {340, true},  {341, false}, {350, false}};
    for (const Case& c : cases) {
        GameState state = freshGame();
        placeOnlyPair(state, c.pipeX, 0);  // gap 200 to 320; bird at 400 is below it
        state.birdY = 400;
        EXPECT_EQ(birdHitsObstacle(state), c.hit) << "pipe at x " << c.pipeX;
    }
}

TEST(Collision, BirdLevelWithAPairPassesOnlyInsideTheGapBelowTheFloorOrAboveTheWindow) {
    const int r = 150;
    struct Case {
        int birdY;
        bool hit;
    };
    const Case cases[] = {
        {r + 188, true}, {r + 189, false}, {r + 250, false}, {r + 292, false},
        {r + 293, true}, {788, true},      {789, false},     {800, false},
        {-13, true},     {-27, true},      {-28, false},     {-1000, false},
    };
    for (int x : {260, 300, 340}) {
        for (const Case& c : cases) {
            GameState state = freshGame();
            placeOnlyPair(state, x, r);
            state.birdY = c.birdY;
            EXPECT_EQ(birdHitsObstacle(state), c.hit) << "birdY " << c.birdY << ", pipe x " << x;
        }
    }
}

TEST(Collision, ScansEveryPairEvenOffScreenOnes) {
    GameState state = freshGame();
    clearField(state);
    state.pipes[7].top = {300, 0, 50, 700};  // any pair in the array counts
    state.pipes[7].bottom = {300, 820, 50, 0};
    state.birdY = 400;
    EXPECT_TRUE(birdHitsObstacle(state));
}

TEST(Scoring, APairScoresWhenItsLeftEdgeReaches290) {
    struct Case {
        int pipeX;
        int points;
    };
    const Case cases[] = {{310, 0}, {300, 0}, {290, 1}, {280, 0}, {10, 0}};
    for (const Case& c : cases) {
        GameState state = freshGame();
        placeOnlyPair(state, c.pipeX, 0);
        awardPassingPoint(state, nullptr);
        EXPECT_EQ(state.score, c.points) << "pipe at x " << c.pipeX;
    }
}

TEST(Scoring, FirstPointComesInThe71stTick) {
    GameState state = freshGame();
    for (int tick = 1; tick <= 70; ++tick) {
        scrollPipes(state);
        awardPassingPoint(state, nullptr);
        ASSERT_EQ(state.score, 0) << "tick " << tick;
    }
    scrollPipes(state);
    awardPassingPoint(state, nullptr);
    EXPECT_EQ(state.score, 1);
}

TEST(Scoring, EachPairGivesOnePointPerTrip) {
    GameState state = freshGame(5);
    for (int tick = 1; tick <= 71 + 35 * 29; ++tick) {
        scrollPipes(state);
        awardPassingPoint(state, nullptr);
    }
    EXPECT_EQ(state.score, 30);
}

TEST(Scoring, AtMostOnePointPerTick) {
    GameState state = freshGame();
    placeOnlyPair(state, 290, 0);
    state.pipes[1] = state.pipes[0];
    awardPassingPoint(state, nullptr);
    EXPECT_EQ(state.score, 1);
}

class Ding : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::useHeadlessDrivers();
        ASSERT_EQ(SDL_Init(SDL_INIT_AUDIO), 0) << SDL_GetError();
        ASSERT_EQ(Mix_OpenAudio(22050, AUDIO_S16LSB, 2, 4096), 0) << Mix_GetError();
        silence_.assign(22050 * 4, 0);  // a second of silence: long enough to be caught playing
        ding_ = Mix_QuickLoad_RAW(silence_.data(), static_cast<Uint32>(silence_.size()));
        ASSERT_NE(ding_, nullptr);
    }
    void TearDown() override {
        Mix_HaltChannel(-1);
        Mix_FreeChunk(ding_);
        Mix_CloseAudio();
        SDL_Quit();
    }

    // The score after one point scored from `scoreBefore`, and whether it rang.
    bool dingsAfterPointFrom(int scoreBefore) {
        Mix_HaltChannel(-1);
        GameState state = freshGame();
        placeOnlyPair(state, 290, 0);
        state.score = scoreBefore;
        awardPassingPoint(state, ding_);
        EXPECT_EQ(state.score, scoreBefore + 1);
        return Mix_Playing(-1) > 0;
    }

    std::vector<Uint8> silence_;
    Mix_Chunk* ding_ = nullptr;
};

TEST_F(Ding, RingsOnEveryTenthPointOnly) {
    for (int before : {9, 19, 29, 99, 999}) {
        EXPECT_TRUE(dingsAfterPointFrom(before)) << "point " << before + 1;
    }
    for (int before : {0, 1, 8, 10, 11, 15, 18, 20, 101}) {
        EXPECT_FALSE(dingsAfterPointFrom(before)) << "point " << before + 1;
    }
}

TEST_F(Ding, NoPassingPairNoSound) {
    GameState state = freshGame();
    placeOnlyPair(state, 300, 0);
    state.score = 9;
    awardPassingPoint(state, ding_);
    EXPECT_EQ(state.score, 9);
    EXPECT_EQ(Mix_Playing(-1), 0);
}

}  // namespace
