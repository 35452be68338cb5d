// The least an SDL program showing the game's window can do: open the same
// window with the same renderer and the same audio, then present. With
// "loop" it goes on clearing and presenting until it is stopped.
#include <SDL.h>
#include <SDL_mixer.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char* argv[]) {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        return EXIT_FAILURE;
    }
    SDL_Window* window = SDL_CreateWindow("Zephrin", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                          800, 800, SDL_WINDOW_SHOWN);
    if (window == nullptr) {
        return EXIT_FAILURE;
    }
    SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED);
    if (renderer == nullptr) {
        renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
    }
    if (renderer == nullptr) {
        return EXIT_FAILURE;
    }
    Mix_OpenAudio(22050, AUDIO_S16LSB, 2, 4096);
    const bool loop = argc > 1 && std::strcmp(argv[1], "loop") == 0;
    do {
        SDL_Event event;
        while (SDL_PollEvent(&event) != 0) {
            if (event.type == SDL_QUIT) {
                return EXIT_SUCCESS;
            }
        }
        SDL_RenderClear(renderer);
        SDL_RenderPresent(renderer);
    } while (loop);
    return EXIT_SUCCESS;
}
