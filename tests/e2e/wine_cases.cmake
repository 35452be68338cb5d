# The window tests' cases that a Windows build also plays, as GoogleTest
# filters for e2e_test: the 64-bit build under wine64, and the 32-bit build
# under 32-bit Wine inside the qemu-i386 emulator, many times slower.
#
# Each run gives e2e_test, in the Wine session's environment (WINEPREFIX):
#   ZEPHRIN_E2E_GAME     "<wine> <zephrin.exe>", Wine by its full path: a case
#                        with a screen of its own restarts the session with the
#                        wineserver in the same directory;
#   ZEPHRIN_E2E_DISPLAY  the session's X server, 1280 x 1024, which every case
#                        shares: Wine keeps its desktop on the display it met
#                        first;
# and the NAME=VALUE items of ZEPHRIN_E2E_WINE_ENVIRONMENT(_EMULATED):
#   ZEPHRIN_E2E_SLOWDOWN how many times longer each step of the game may take;
#   SDL_RENDER_DRIVER    Direct3D 11: Wine's Direct3D 9, which SDL would pick
#                        first, now and then crashes in its own threads while
#                        the process ends, after the game has returned 0;
#   ZEPHRIN_E2E_ICON     the .ico the build put into zephrin.exe (in the
#                        CMAKE_BINARY_DIR of the Windows build that includes
#                        this file), which its window must show.
# The icon case and Windows/* (started with a console of its own or a
# shell's, it lets go of its own and quits) are the Windows build's alone.
# The 64-bit run takes about five minutes on two busy cores.
#
# Left to the Linux build, as they cannot hold under Wine:
#   *NamedPipe*  a named pipe has no place among Windows' files;
#   *Sigterm*    Windows has no SIGTERM: Wine ends the process on it at once
#                (SIGINT arrives as the console's Ctrl+C, and is played);
#   *Flood*      it times the game's handling of 10,000 keys, and Wine alone
#                takes over ten seconds to hand them on;
#   *Closed      the Linux build puts the null device where its stdout or
#                stderr was closed; under Wine the process' descriptors are
#                Wine's, and Windows' standard handles are another matter.
set(ZEPHRIN_E2E_WINE_CASES "*-*NamedPipe*:*Sigterm*:*Flood*:*Closed")
set(ZEPHRIN_E2E_WINE_ENVIRONMENT
    ZEPHRIN_E2E_SLOWDOWN=3 SDL_RENDER_DRIVER=direct3d11
    "ZEPHRIN_E2E_ICON=${CMAKE_BINARY_DIR}/zephrin.ico")

# The emulated build: a window named Zephrin, centred, 800 x 800, with its
# icon; the first frames and the pipes moving in; the music; a close request
# ending it with status 0. A screen of its own is left out: restarting the
# Wine session takes minutes there.
set(ZEPHRIN_E2E_WINE_CASES_EMULATED
    "Play.TheWindowIsNamedZephrinCentredAndFixedAt800By800"
    ":Play.TheFirstFramesShowTheSkyAndTheBirdThenPipesComeInFromTheRight"
    ":Play.TheMusicPlaysWhileTheGameIsOverAndAfterARestart"
    ":Play.TheWindowCarriesTheBirdOfItsIconFile"
    ":Play/Quitting.EndsTheProcessWithStatusZeroWithinASecond/CloseButtonWhilePlaying")
string(CONCAT ZEPHRIN_E2E_WINE_CASES_EMULATED ${ZEPHRIN_E2E_WINE_CASES_EMULATED})
set(ZEPHRIN_E2E_WINE_ENVIRONMENT_EMULATED
    ZEPHRIN_E2E_SLOWDOWN=60 SDL_RENDER_DRIVER=direct3d11
    "ZEPHRIN_E2E_ICON=${CMAKE_BINARY_DIR}/zephrin.ico")
