// The real game in a real X window: a private Xvfb, the zephrin binary started
// in a scratch directory, keys through XTEST, screenshots through XGetImage.
// Every process started here is killed when its owner goes out of scope, and
// also when the test process itself dies.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct _XDisplay;  // Xlib's macros clash with GoogleTest: only the .cpp includes it

namespace e2e {

// A fresh directory under $TMPDIR, removed with all it holds.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const {
        return path_;
    }
    std::string operator/(const std::string& name) const {
        return path_ + "/" + name;
    }

private:
    std::string path_;
};

// An environment change for a child: a value, or std::nullopt to unset.
using EnvChange = std::pair<std::string, std::optional<std::string>>;

// A child process; killed and reaped on destruction if still running. It
// starts with stdin on the null device, stderr into stderrPath and, unless
// listed in closedDescriptors, stdout on the null device.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::string& workDir,
          const std::vector<EnvChange>& env, const std::string& stderrPath, int fd3 = -1,
          const std::vector<int>& closedDescriptors = {});
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // The wait status once the process ends within `seconds`, else nothing.
    std::optional<int> awaitExit(double seconds);
    void signal(int signo) const;
    // The most memory the process has held so far (VmHWM), in KiB; -1 once it
    // has ended.
    long peakMemoryKiB() const;
    // Where its descriptor `fd` leads ("/dev/null", "socket:[1234]"); empty
    // when that descriptor is closed.
    std::string descriptorTarget(int fd) const;
    // Where each of its open descriptors leads.
    std::vector<std::string> descriptorTargets() const;
    pid_t pid() const {
        return pid_;
    }

private:
    pid_t pid_ = -1;
};

// "exit N", "killed by signal N" or "still running", for test messages.
std::string describeExit(const std::optional<int>& waitStatus);

// What the game runs with: `display`, or none; no sound device unless asked.
std::vector<EnvChange> gameEnvironment(const std::optional<std::string>& display);

// The game the tests start: the zephrin binary of this build, or the command
// line that ZEPHRIN_E2E_GAME gives, such as Wine and a Windows build of the
// game. Such a game plays on the X server that ZEPHRIN_E2E_DISPLAY names,
// one for every test, since Wine keeps its desktop on the display it met
// first, and each of its steps may take ZEPHRIN_E2E_SLOWDOWN times longer.
std::vector<std::string> gameCommand();
bool gameIsEmulated();
// How many processes of this name run, in the Wine session of WINEPREFIX
// if that is set.
int processesNamed(const std::string& name);

// A picture of the game window, 800 x 800 pixels unless a small screen
// shrank it, as 0xRRGGBB.
struct Shot {
    std::vector<std::uint32_t> pixels;
    int width = 800;
    int height = 800;
    bool operator==(const Shot& other) const {
        return pixels == other.pixels;
    }
    bool operator!=(const Shot& other) const {
        return !(*this == other);
    }
    std::uint32_t at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

int differingPixels(const Shot& a, const Shot& b);

// Where one colour lies in a shot.
struct Blob {
    int count = 0;
    int minX = 1 << 30;
    int maxX = -1;
    int minY = 1 << 30;
    int maxY = -1;
    double centreX = 0;
    double centreY = 0;
};
Blob findColour(const Shot& shot, std::uint32_t rgb);

// A virtual screen of 1280 x 1024, or of the size given, on a display number
// the server picks itself; or the one ZEPHRIN_E2E_DISPLAY names, unless a
// size is given. Wine keeps its desktop on the display it met first, so a
// screen of its own restarts the wineserver beside the Wine of
// ZEPHRIN_E2E_GAME on it, and again on the shared display when it goes.
class XServer {
public:
    static constexpr int kScreenWidth = 1280;
    static constexpr int kScreenHeight = 1024;

    explicit XServer(int width = kScreenWidth, int height = kScreenHeight);
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    const std::string& name() const {
        return name_;
    }
    _XDisplay* display() const {
        return display_;
    }

private:
    void start(int width, int height);
    void restartWine(const std::string& display) const;

    ScratchDir logDir_;
    std::optional<Child> process_;
    std::string name_;
    _XDisplay* display_ = nullptr;
};

// What the X server knows of the game window.
struct WindowFacts {
    std::string title;
    int x = 0;  // client area, relative to the screen
    int y = 0;
    int width = 0;
    int height = 0;
    bool hasMinAndMaxSize = false;
    int minWidth = 0;
    int minHeight = 0;
    int maxWidth = 0;
    int maxHeight = 0;
};

// A square picture of `size` pixels as 0xAARRGGBB, top row first.
struct Icon {
    int size = 0;
    std::vector<std::uint32_t> argb;
};

// The zephrin binary running in `workDir` on `x`, stderr captured.
class Game {
public:
    Game(const XServer& x, const std::string& workDir, std::vector<EnvChange> env = {},
         const std::vector<int>& closedDescriptors = {},
         const std::vector<std::string>& command = gameCommand());

    // Waits up to five seconds for the mapped "Zephrin" window; false if none.
    bool awaitWindow();
    // The game's mapped window, waiting for it as awaitWindow does; 0 if none.
    unsigned long window() const;
    WindowFacts facts() const;
    // The square icons the window publishes (_NET_WM_ICON).
    std::vector<Icon> icons() const;

    Shot shoot() const;
    void press(const char* keyName, int times = 1) const;
    // Presses and releases each key in turn, all sent in one go.
    void pressAll(const std::vector<const char*>& keyNames) const;
    // What a window manager sends when the player clicks the close button.
    void requestClose() const;

    Child& process() {
        return *process_;
    }
    // The game's stderr, line by line.
    std::vector<std::string> errorLines() const;

private:
    const XServer& x_;
    std::string stderrPath_;
    std::optional<Child> process_;
    mutable unsigned long window_ = 0;
};

// Sanitizers slow the game and the X server's other clients down several
// times; the time limits the tests check are for the game as players run it.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
constexpr double kSlowdown = kSanitized ? 4 : 1;
// How much longer than the game as players run it this game may take.
double slowdown();
// The part of that an emulator adds: ZEPHRIN_E2E_SLOWDOWN, else 1.
double emulatorSlowdown();
// The part a busy machine adds: its load over its processors, 1 to 10.
double machineSlowdown();

// Seconds on a monotonic clock.
double now();
void sleepFor(double seconds);

// Takes shots until `done` holds or `seconds` pass; true if it held.
template <typename Done>
bool shootUntil(const Game& game, double seconds, Done done) {
    const double deadline = now() + seconds;
    do {
        if (done(game.shoot())) {
            return true;
        }
        sleepFor(0.01);
    } while (now() < deadline);
    return false;
}

}  // namespace e2e
