// The ding as the game loads it: only a file that starts as a WAV, and whose
// decoded and converted size, known from its headers, is within the media's
// budget, then SDL_mixer's Mix_LoadWAV_RW on an open audio device (SDL's
// dummy driver), here from memory. As in the game, the reader is closed
// here, not by the mixer.
#include <SDL.h>
#include <SDL_mixer.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "app/media.h"
#include "app/sound_header.h"
#include "tests/fuzz/support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    openAudioAsTheGameDoes();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!startsAWav(data, size)) {
        return 0;  // the game does not load it
    }
    const std::optional<std::uint64_t> bytes =
        wavBytesInMemory(readerOf(data, size), size, MixerFormat{22050, 2});
    if (!bytes || *bytes > kMediaBudgetBytes) {
        return 0;  // nor this
    }
    SDL_RWops* file = SDL_RWFromConstMem(data, static_cast<int>(size));
    if (file == nullptr) {
        std::abort();
    }
    SDL_ClearError();
    Mix_Chunk* chunk = Mix_LoadWAV_RW(file, 0);
    SDL_RWclose(file);
    if (chunk == nullptr) {
        noteFailure();
        return 0;
    }
    noteOutcome("decoded " + std::to_string(magnitude(chunk->alen)));
    Mix_FreeChunk(chunk);
    return 0;
}
