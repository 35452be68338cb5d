// What each sprite group puts on screen, read back from a software renderer.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdint>

#include "game/bird.h"
#include "game/pipes.h"
#include "game/score.h"
#include "game/state.h"
#include "tests/canvas.h"

namespace {

using namespace testing_support;

class Drawing : public ::testing::Test {
protected:
    void SetUp() override {
        useHeadlessDrivers();
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        canvas_ = makeCanvas();
        ASSERT_NE(canvas_.renderer, nullptr) << SDL_GetError();
        paint(canvas_, kBlack);
    }
    void TearDown() override {
        destroyCanvas(canvas_);
        SDL_Quit();
    }

    GameState stateWithPairsAt(std::initializer_list<int> xs, int r) {
        GameState state{};
        resetGame(state);
        int i = 0;
        for (PipePair& pair : state.pipes) {
            const int x = i < static_cast<int>(xs.size()) ? xs.begin()[i] : 5000 + 350 * i;
            pair.top = {x, 0, 50, r + 200};
            pair.bottom = {x, r + 320, 50, 480 - r};
            ++i;
        }
        return state;
    }

    std::uint32_t at(int x, int y) const {
        return pixelAt(canvas_, x, y);
    }

    Canvas canvas_;
};

TEST_F(Drawing, BirdIsA50SquareAtColumn300) {
    SDL_Texture* bird = makeColumnTexture(canvas_.renderer, 50, 50, {kWhite, kRed});
    GameState state{};
    resetGame(state);
    state.birdVelocity = 0.0f;  // level, no tilt
    state.birdY = 123;
    drawBird(canvas_.renderer, state, bird);
    EXPECT_EQ(at(300, 123), kWhite);
    EXPECT_EQ(at(349, 172), kRed);
    EXPECT_EQ(at(299, 140), kBlack);
    EXPECT_EQ(at(350, 140), kBlack);
    EXPECT_EQ(at(320, 122), kBlack);
    EXPECT_EQ(at(320, 173), kBlack);
}

TEST_F(Drawing, FallingBirdTurnsClockwiseRisingBirdCounterClockwise) {
    // The left half of the image is white, the right half red. A quarter turn
    // clockwise brings the left half to the top; counter-clockwise, to the bottom.
    SDL_Texture* bird = makeColumnTexture(canvas_.renderer, 50, 50, {kWhite, kRed});
    struct Case {
        float velocity;
        std::uint32_t upper;
        std::uint32_t lower;
    };
    for (const Case& c : {Case{270.0f, kWhite, kRed}, Case{-270.0f, kRed, kWhite}}) {
        paint(canvas_, kBlack);
        GameState state{};
        resetGame(state);
        state.birdVelocity = c.velocity;
        drawBird(canvas_.renderer, state, bird);
        EXPECT_EQ(at(325, 410), c.upper) << "velocity " << c.velocity;
        EXPECT_EQ(at(325, 440), c.lower) << "velocity " << c.velocity;
    }
}

TEST_F(Drawing, PipesHaveHeadsAtTheGapAndTheTopPipeIsUpsideDown) {
    SDL_Texture* body = makeBandedTexture(canvas_.renderer, 50, 4, {kRed, kBlue});
    SDL_Texture* head = makeBandedTexture(canvas_.renderer, 50, 4, {kGreen, kYellow});
    const int r = 100;  // top pipe 0..299, gap 300..419, bottom pipe 420..799
    const GameState state = stateWithPairsAt({400}, r);
    drawPipes(canvas_.renderer, state, body, head);

    struct Row {
        int y;
        std::uint32_t colour;
    };
    const Row rows[] = {
        {0, kBlue},     {134, kBlue},    // top body, flipped: blue half first
        {135, kRed},    {269, kRed},     //
        {270, kYellow}, {284, kYellow},  // top head, flipped
        {285, kGreen},  {299, kGreen},   //
        {300, kBlack},  {419, kBlack},   // the gap
        {420, kGreen},  {434, kGreen},   // bottom head as it is
        {435, kYellow}, {449, kYellow},  //
        {450, kRed},    {624, kRed},     // bottom body stretched over 350 rows
        {625, kBlue},   {799, kBlue},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(at(425, row.y), row.colour) << "row " << row.y;
    }
    EXPECT_EQ(at(400, 500), kRed);
    EXPECT_EQ(at(449, 500), kRed);
    EXPECT_EQ(at(399, 500), kBlack);
    EXPECT_EQ(at(450, 500), kBlack);
}

TEST_F(Drawing, OnlyPairsLeftOfTheRightEdgeAreDrawn) {
    SDL_Texture* body = makeBandedTexture(canvas_.renderer, 50, 2, {kRed, kRed});
    SDL_Texture* head = makeBandedTexture(canvas_.renderer, 50, 2, {kGreen, kGreen});
    const GameState state = stateWithPairsAt({10, 790, 800}, 0);
    drawPipes(canvas_.renderer, state, body, head);
    EXPECT_EQ(at(10, 700), kRed);
    EXPECT_EQ(at(59, 700), kRed);
    EXPECT_EQ(at(60, 700), kBlack);
    EXPECT_EQ(at(790, 700), kRed) << "a pair at 790 is drawn and clipped";
    EXPECT_EQ(at(799, 700), kRed);
}

TEST_F(Drawing, PairsAtOrPast800DrawNothing) {
    SDL_Texture* body = makeBandedTexture(canvas_.renderer, 50, 2, {kRed, kRed});
    SDL_Texture* head = makeBandedTexture(canvas_.renderer, 50, 2, {kGreen, kGreen});
    const GameState state = stateWithPairsAt({800, 1000, 4150}, 0);
    drawPipes(canvas_.renderer, state, body, head);
    for (int x = 0; x < 800; x += 7) {
        for (int y = 0; y < 800; y += 7) {
            ASSERT_EQ(at(x, y), kBlack) << x << "," << y;
        }
    }
}

class ScoreDrawing : public Drawing {
protected:
    // Ten cells, 50 wide, each of its own grey level; row 49 of every cell is
    // pure green and must never be shown, since glyphs are 49 rows tall.
    void SetUp() override {
        Drawing::SetUp();
        SDL_Surface* sheet =
            SDL_CreateRGBSurfaceWithFormat(0, 500, 50, 32, SDL_PIXELFORMAT_ARGB8888);
        for (int d = 0; d < 10; ++d) {
            const SDL_Rect cell{50 * d, 0, 50, 49};
            SDL_FillRect(sheet, &cell, digitColour(d));
        }
        const SDL_Rect lastRow{0, 49, 500, 1};
        SDL_FillRect(sheet, &lastRow, kGreen);
        sheet_ = SDL_CreateTextureFromSurface(canvas_.renderer, sheet);
        SDL_FreeSurface(sheet);
    }

    static std::uint32_t digitColour(int d) {
        const std::uint32_t level = 20u + 20u * static_cast<std::uint32_t>(d);
        return 0xFF000000u | (level << 16) | (level << 8) | 0x10u;
    }

    SDL_Texture* sheet_ = nullptr;
};

TEST_F(ScoreDrawing, DigitsAreCentredOn400LeastSignificantRightmost) {
    struct Case {
        int score;
        const char* digits;  // as shown, left to right
        int left;            // left edge of the leftmost glyph
    };
    const Case cases[] = {{7, "7", 380}, {10, "10", 360}, {125, "125", 340}, {2026, "2026", 320}};
    for (const Case& c : cases) {
        paint(canvas_, kBlack);
        drawScore(canvas_.renderer, c.score, sheet_);
        const int count = static_cast<int>(std::char_traits<char>::length(c.digits));
        for (int i = 0; i < count; ++i) {
            const int x = c.left + 40 * i;
            const std::uint32_t expected = digitColour(c.digits[i] - '0');
            EXPECT_EQ(at(x, 150), expected) << c.score << " digit " << i;
            EXPECT_EQ(at(x + 39, 199), expected) << c.score << " digit " << i;
        }
        EXPECT_EQ(at(c.left - 1, 175), kBlack) << c.score;
        EXPECT_EQ(at(c.left + 40 * count, 175), kBlack) << c.score;
        EXPECT_EQ(at(c.left, 149), kBlack) << c.score;
        EXPECT_EQ(at(c.left, 200), kBlack) << c.score;
    }
}

TEST_F(ScoreDrawing, ZeroDrawsNothing) {
    drawScore(canvas_.renderer, 0, sheet_);
    for (int x = 0; x < 800; x += 5) {
        for (int y = 100; y < 250; y += 5) {
            ASSERT_EQ(at(x, y), kBlack) << x << "," << y;
        }
    }
}

}  // namespace
