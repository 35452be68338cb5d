#include "game/pipes.h"

#include <SDL_render.h>

void scrollPipes(GameState& state) {
    for (PipePair& pair : state.pipes) {
        pair.top.x -= kPipeStep;
        pair.bottom.x -= kPipeStep;
        if (pair.top.x <= 0) {
            placePipePair(pair, kPipeRecycleX);
        }
    }
}

namespace {

void drawSprite(SDL_Renderer* renderer, SDL_Texture* texture, const SDL_Rect& destination,
                SDL_RendererFlip flip) {
    SDL_RenderCopyEx(renderer, texture, nullptr, &destination, 0.0, nullptr, flip);
}

}  // namespace

void drawPipes(SDL_Renderer* renderer, const GameState& state, SDL_Texture* pipeBodyTexture,
               SDL_Texture* pipeHeadTexture) {
    for (const PipePair& pair : state.pipes) {
        if (pair.top.x >= kWindowWidth) {
            continue;  // wholly right of the window
        }
        const SDL_Rect& top = pair.top;
        const SDL_Rect& bottom = pair.bottom;
        drawSprite(renderer, pipeBodyTexture, {top.x, top.y, top.w, top.h - kPipeHeadHeight},
                   SDL_FLIP_VERTICAL);
        drawSprite(renderer, pipeHeadTexture,
                   {top.x, top.h - kPipeHeadHeight, top.w, kPipeHeadHeight}, SDL_FLIP_VERTICAL);
        drawSprite(renderer, pipeBodyTexture,
                   {bottom.x, bottom.y + kPipeHeadHeight, bottom.w, bottom.h - kPipeHeadHeight},
                   SDL_FLIP_NONE);
        drawSprite(renderer, pipeHeadTexture, {bottom.x, bottom.y, bottom.w, kPipeHeadHeight},
                   SDL_FLIP_NONE);
    }
}
