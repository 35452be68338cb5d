// Preloaded into the game (or the bare program) by zephrin_startup. Two jobs,
// chosen by the environment; either way the result goes to the file
// descriptor in ZEPHRIN_SHIM_FD and the process ends at once.
//
//   ZEPHRIN_SHIM_MODE=first-frame  after the first SDL_RenderPresent returns:
//                                  the CLOCK_MONOTONIC time in nanoseconds
//   ZEPHRIN_SHIM_MODE=play:MS      plays for MS milliseconds (space every
//                                  460 ms, r every 3 s, checked at every
//                                  SDL_PollEvent), then the peak RSS in kB
#include <SDL.h>
#include <dlfcn.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

long long nowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

void finish(long long value) {
    const char* fd = std::getenv("ZEPHRIN_SHIM_FD");
    char line[32];
    const int length = std::snprintf(line, sizeof line, "%lld\n", value);
    if (fd != nullptr && write(std::atoi(fd), line, static_cast<std::size_t>(length)) < 0) {
        _exit(2);
    }
    _exit(0);
}

long long peakRssKb() {
    FILE* status = std::fopen("/proc/self/status", "r");
    long long kb = -1;
    char line[256];
    while (status != nullptr && std::fgets(line, sizeof line, status) != nullptr) {
        if (std::strncmp(line, "VmHWM:", 6) == 0) {
            kb = std::atoll(line + 6);
        }
    }
    if (status != nullptr) {
        std::fclose(status);
    }
    return kb;
}

const char* mode() {
    const char* value = std::getenv("ZEPHRIN_SHIM_MODE");
    return value != nullptr ? value : "";
}

template <typename Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

void press(SDL_Keycode key) {
    SDL_Event event;
    std::memset(&event, 0, sizeof event);
    event.type = SDL_KEYDOWN;
    event.key.state = SDL_PRESSED;
    event.key.keysym.sym = key;
    SDL_PushEvent(&event);
}

}  // namespace

extern "C" {

void SDL_RenderPresent(SDL_Renderer* renderer) {
    static const auto real = next<void (*)(SDL_Renderer*)>("SDL_RenderPresent");
    real(renderer);
    if (std::strcmp(mode(), "first-frame") == 0) {
        finish(nowNs());
    }
}

int SDL_PollEvent(SDL_Event* event) {
    static const auto real = next<int (*)(SDL_Event*)>("SDL_PollEvent");
    if (std::strncmp(mode(), "play:", 5) == 0) {
        static const long long start = nowNs();
        static long long nextSpace = start;
        static long long nextRestart = start + 3000000000LL;
        const long long now = nowNs();
        if (now - start >= std::atoll(mode() + 5) * 1000000LL) {
            finish(peakRssKb());
        }
        if (now >= nextSpace) {
            press(SDLK_SPACE);
            nextSpace += 460000000LL;
        }
        if (now >= nextRestart) {
            press(SDLK_r);
            nextRestart += 3000000000LL;
        }
    }
    return real(event);
}

}  // extern "C"
