#include "app/console.h"

#ifdef _WIN32
#include <windows.h>
#endif

void releaseOwnConsole(const ConsoleCalls& calls) {
    void* window = calls.getConsoleWindow();
    if (window == nullptr) {
        return;  // no console at all
    }
    // Room for two: all it takes to tell "ours alone" from "shared".
    unsigned long ids[2] = {};
    if (calls.getConsoleProcessList(ids, 2) != 1) {
        return;  // shared with a shell, or unknown (0 is a failure)
    }
    calls.hideWindow(window);
    calls.freeConsole();
}

void releaseOwnConsole() {
#ifdef _WIN32
    static_assert(sizeof(DWORD) == sizeof(unsigned long), "DWORD is an unsigned long");
    const ConsoleCalls windows{
        [] { return static_cast<void*>(GetConsoleWindow()); },
        [](unsigned long* ids, unsigned long capacity) {
            return static_cast<unsigned long>(GetConsoleProcessList(ids, capacity));
        },
        [](void* window) {
            return static_cast<int>(ShowWindow(static_cast<HWND>(window), SW_HIDE));
        },
        [] { return static_cast<int>(FreeConsole()); },
    };
    releaseOwnConsole(windows);
#endif
}
