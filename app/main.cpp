// The desktop program: the shared start-up, then the loop until the window closes.
#include <SDL.h>

#include <cstdlib>

#include "app/console.h"
#include "app/main_loop.h"
#include "app/media.h"
#include "app/standard_streams.h"
#include "app/startup.h"
#include "game/state.h"

int main(int /*argc*/, char* /*argv*/[]) {
    openClosedStandardStreams();
    releaseOwnConsole();
    Media media;
    static GameState state;
    if (!startGame(state, media)) {
        return EXIT_FAILURE;
    }
    return runMainLoop(state, media);
}
