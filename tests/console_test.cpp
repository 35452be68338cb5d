// What the game does with its console on Windows, with fake Windows calls:
// a double-clicked game must not leave an empty terminal behind, and a game
// started from a shell must never hide or detach that shell's window.
#include <gtest/gtest.h>

#include <string>

#include "app/console.h"

namespace {

int gConsoleWindow = 0;  // its address stands for the window handle
bool gHasConsole = true;
unsigned long gSharingProcesses = 1;
std::string gCalls;  // what was done to the console, in order

ConsoleCalls fakeWindows() {
    return {
        [] { return gHasConsole ? static_cast<void*>(&gConsoleWindow) : nullptr; },
        [](unsigned long* ids, unsigned long capacity) {
            for (unsigned long i = 0; i < gSharingProcesses && i < capacity; ++i) {
                ids[i] = 100 + i;
            }
            return gSharingProcesses;
        },
        [](void* window) {
            gCalls += window == &gConsoleWindow ? "hide;" : "hide-wrong-window;";
            return 1;
        },
        [] {
            gCalls += "free;";
            return 1;
        },
    };
}

struct Start {
    const char* how;
    bool hasConsole;
    unsigned long sharingProcesses;  // what GetConsoleProcessList reports
    const char* expectedCalls;
};

class Console : public ::testing::TestWithParam<Start> {};

TEST_P(Console, IsReleasedOnlyWhenItIsTheGamesAlone) {
    const Start& start = GetParam();
    gHasConsole = start.hasConsole;
    gSharingProcesses = start.sharingProcesses;
    gCalls.clear();
    releaseOwnConsole(fakeWindows());
    EXPECT_EQ(gCalls, start.expectedCalls);
}

INSTANTIATE_TEST_SUITE_P(Starts, Console,
                         ::testing::Values(Start{"DoubleClicked", true, 1, "hide;free;"},
                                           Start{"FromAShell", true, 2, ""},
                                           Start{"FromAShellInsideAnotherProgram", true, 3, ""},
                                           Start{"SharingCannotBeTold", true, 0, ""},
                                           Start{"WithoutAConsole", false, 1, ""}),
                         [](const ::testing::TestParamInfo<Start>& info) {
                             return std::string(info.param.how);
                         });

}  // namespace
