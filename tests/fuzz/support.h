// What the fuzz targets share: outcomes as coverage, memory as a file, and
// the game's audio settings.
//
// libFuzzer learns from the coverage of instrumented code, and the system's
// SDL libraries are not instrumented: on its own it would see every input
// end the same way and keep none of the ones that reach deeper. So each
// distinct outcome of a load (SDL's error message, or what was decoded)
// lights a counter of its own in the section libFuzzer reads as extra
// coverage, and an input that reaches a new outcome is kept.
#pragma once

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "app/read_at.h"

inline std::uint8_t outcomeCounters[8192] __attribute__((section("__libfuzzer_extra_counters")));

inline void noteOutcome(const std::string& outcome) {
    outcomeCounters[std::hash<std::string>{}(outcome) % sizeof outcomeCounters] = 1;
}

// The reason SDL gives for a failed load; called after clearing SDL's error.
inline void noteFailure() {
    noteOutcome(std::string("failed: ") + SDL_GetError());
}

// A size in powers of two, so that a thousand sizes are not a thousand outcomes.
inline int magnitude(std::size_t value) {
    int bits = 0;
    for (; value != 0; value >>= 1) {
        ++bits;
    }
    return bits;
}

// A reader of `size` bytes at `data`, as the game's checks read a file.
inline ReadAt readerOf(const std::uint8_t* data, std::size_t size) {
    return [data, size](std::uint64_t offset, unsigned char* buffer, std::size_t count) {
        const std::size_t got = offset < size ? std::min<std::size_t>(count, size - offset) : 0;
        std::memcpy(buffer, data + std::min<std::uint64_t>(offset, size), got);
        return got;
    };
}

// The game's audio settings on SDL's dummy driver, so that every sound is
// converted as in the game.
inline void openAudioAsTheGameDoes() {
    SDL_setenv("SDL_AUDIODRIVER", "dummy", 1);
    if (SDL_Init(SDL_INIT_AUDIO) != 0 || Mix_OpenAudio(22050, AUDIO_S16LSB, 2, 4096) != 0) {
        std::abort();
    }
}
