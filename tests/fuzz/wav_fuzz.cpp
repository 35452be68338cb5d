// The ding as the game loads it: only a file that starts as a WAV, and whose
// decoded and converted size, known from its headers, is within the media's
// budget, told the size of the sound it holds, then SDL_mixer's Mix_LoadWAV_RW on an open audio
// device (SDL's dummy driver), here from memory. As in the game, the reader is closed here, not by
// the mixer.
#include <SDL.h>
#include <SDL_mixer.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

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
    const std::optional<WavSound> sound = measureWav(readerOf(data, size), size, {22050, 2});
    if (!sound || sound->bytesInMemory > kMediaBudgetBytes) {
        return 0;  // nor this
    }
    // As in the game, the mixer is told the size of the sound the input holds.
    std::vector<std::uint8_t> told(data, data + size);
    for (std::size_t i = 0; i < 4; ++i) {
        told[sound->dataSizeAt + i] = static_cast<std::uint8_t>(sound->dataBytesHeld >> (8 * i));
    }
    SDL_RWops* file = SDL_RWFromConstMem(told.data(), static_cast<int>(size));
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
