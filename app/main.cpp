// The desktop program: the shared start-up, then the loop until the window closes.
#include <SDL.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdlib>

#include "app/main_loop.h"
#include "app/media.h"
#include "app/startup.h"
#include "game/state.h"

int main(int /*argc*/, char* /*argv*/[]) {
#ifdef _WIN32
    ShowWindow(GetConsoleWindow(), SW_HIDE);
#endif
    Media media;
    static GameState state;
    if (!startGame(state, media)) {
        return EXIT_FAILURE;
    }
    return runMainLoop(state, media);
}
