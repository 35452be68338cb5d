// The console window that Windows gives a console program.
#pragma once

// The Windows calls that releasing the console makes, passed in so that the
// decision can be tested anywhere. Windows' own types become their plain
// equivalents: a window handle is a pointer, a DWORD an unsigned long.
struct ConsoleCalls {
    void* (*getConsoleWindow)();
    // How many processes share the console; writes up to `capacity` of their ids.
    unsigned long (*getConsoleProcessList)(unsigned long* ids, unsigned long capacity);
    int (*hideWindow)(void* window);
    int (*freeConsole)();
};

// A console that is the game's alone (the game was double-clicked) is hidden
// and then let go, so that a terminal that ignores the hiding, as Windows
// Terminal does, closes its window too. A console shared with another
// process (a shell the game was started from) belongs to the player and is
// left alone, as is one whose sharing cannot be told.
void releaseOwnConsole(const ConsoleCalls& calls);

// With Windows' own calls; elsewhere there is no such console and this does nothing.
void releaseOwnConsole();
