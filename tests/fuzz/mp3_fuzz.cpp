// The music as the game loads it: its tags at either end left out, then
// SDL_mixer's MP3 loader (mpg123) on an open audio device (SDL's dummy
// driver) given only the audio between them, here from memory.
#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/sound_header.h"
#include "tests/fuzz/support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    openAudioAsTheGameDoes();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ByteSpan audio = audioBetweenTags(readerOf(data, size), size);
    SDL_ClearError();
    Mix_Music* music = Mix_LoadMUSType_RW(
        SDL_RWFromConstMem(data + audio.begin, static_cast<int>(audio.end - audio.begin)), MUS_MP3,
        1);
    if (music == nullptr) {
        noteFailure();
        return 0;
    }
    // What the loader learnt of the stream: its length in tenths of seconds.
    const double seconds = std::clamp(Mix_MusicDuration(music), 0.0, 1e6);
    noteOutcome("loaded " + std::to_string(magnitude(static_cast<std::size_t>(seconds * 10))));
    Mix_FreeMusic(music);
    return 0;
}
