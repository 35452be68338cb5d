#include "game/score.h"

#include <SDL_mixer.h>
#include <SDL_render.h>

#include "game/pipes.h"

namespace {

constexpr int kDingEvery = 10;
constexpr int kGlyphCellWidth = 50;
constexpr int kGlyphCellHeight = 49;
constexpr int kDigitWidth = 40;
constexpr int kDigitHeight = 50;
constexpr int kDigitTop = 150;

// A pipe reaches the bird in the one tick its left edge stands within a
// scroll step left of the bird's left edge.
bool reachesBird(const SDL_Rect& rect) {
    return rect.x < kBirdX && rect.x + kPipeStep >= kBirdX;
}

bool anyPipeReachesBird(const GameState& state) {
    for (const PipePair& pair : state.pipes) {
        if (reachesBird(pair.top) || reachesBird(pair.bottom)) {
            return true;
        }
    }
    return false;
}

int countDigits(int score) {
    int digits = 0;
    for (int rest = score; rest > 0; rest /= 10) {
        ++digits;
    }
    return digits;
}

}  // namespace

void awardPassingPoint(GameState& state, Mix_Chunk* dingSound) {
    if (!anyPipeReachesBird(state)) {
        return;
    }
    state.score += 1;
    if (state.score % kDingEvery == 0) {
        Mix_PlayChannelTimed(-1, dingSound, 0, -1);
    }
}

void drawScore(SDL_Renderer* renderer, int score, SDL_Texture* scoreSheetTexture) {
    const int digits = countDigits(score);
    int x = (kDigitWidth * digits + kWindowWidth) / 2 - kDigitWidth;
    for (int rest = score; rest > 0; rest /= 10) {
        const int digit = rest % 10;
        const SDL_Rect glyph{kGlyphCellWidth * digit, 0, kGlyphCellWidth, kGlyphCellHeight};
        const SDL_Rect destination{x, kDigitTop, kDigitWidth, kDigitHeight};
        SDL_RenderCopyEx(renderer, scoreSheetTexture, &glyph, &destination, 0.0, nullptr,
                         SDL_FLIP_NONE);
        x -= kDigitWidth;
    }
}
