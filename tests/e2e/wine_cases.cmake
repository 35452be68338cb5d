# The window tests' cases that a Windows build also plays, started under Wine
# on one shared X server (ZEPHRIN_E2E_GAME, ZEPHRIN_E2E_DISPLAY): as GoogleTest
# filters, for the 64-bit build under wine64 and for the 32-bit build, which
# runs several times slower inside the qemu-i386 emulator. A named pipe has
# no place among Windows' files.
set(ZEPHRIN_E2E_WINE_CASES "Media/BadInputTest.*:Bounded/HostileTest.*-*NamedPipe*")
set(ZEPHRIN_E2E_WINE_CASES_EMULATED "")
