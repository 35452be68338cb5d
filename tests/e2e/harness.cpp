#include "tests/e2e/harness.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace e2e {

double now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void sleepFor(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

ScratchDir::ScratchDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/zephrin-e2e-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

Child::Child(const std::vector<std::string>& argv, const std::string& workDir,
             const std::vector<EnvChange>& env, const std::string& stderrPath, int fd3,
             const std::vector<int>& closedDescriptors) {
    pid_ = fork();
    if (pid_ < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid_ > 0) {
        return;
    }
    // In the child: die with the test, whatever way it ends.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (fd3 >= 0) {
        dup2(fd3, 3);
    }
    const int errFd = open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int nullFd = open("/dev/null", O_RDWR);
    dup2(nullFd, 0);
    dup2(nullFd, 1);
    dup2(errFd, 2);
    for (const int fd : closedDescriptors) {
        close(fd);
    }
    for (const auto& [name, value] : env) {
        if (value) {
            setenv(name.c_str(), value->c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    if (chdir(workDir.c_str()) == 0) {
        execvp(args[0], args.data());
    }
    _exit(127);
}

Child::~Child() {
    if (pid_ > 0 && !awaitExit(0)) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

std::optional<int> Child::awaitExit(double seconds) {
    const double deadline = now() + seconds;
    for (;;) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return status;
        }
        if (pid_ < 0 || now() >= deadline) {
            return std::nullopt;
        }
        sleepFor(0.005);
    }
}

void Child::signal(int signo) const {
    kill(pid_, signo);
}

long Child::peakMemoryKiB() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

std::string Child::descriptorTarget(int fd) const {
    const std::string link = "/proc/" + std::to_string(pid_) + "/fd/" + std::to_string(fd);
    std::error_code closed;
    return std::filesystem::read_symlink(link, closed).string();
}

std::vector<std::string> Child::descriptorTargets() const {
    std::vector<std::string> targets;
    std::error_code ended;
    for (const auto& entry :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid_) + "/fd", ended)) {
        targets.push_back(descriptorTarget(std::stoi(entry.path().filename().string())));
    }
    return targets;
}

int differingPixels(const Shot& a, const Shot& b) {
    int count = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) {
        count += a.pixels[i] != b.pixels[i] ? 1 : 0;
    }
    return count;
}

std::string describeExit(const std::optional<int>& waitStatus) {
    if (!waitStatus) {
        return "still running";
    }
    if (WIFSIGNALED(*waitStatus)) {
        return "killed by signal " + std::to_string(WTERMSIG(*waitStatus));
    }
    return "exit " + std::to_string(WEXITSTATUS(*waitStatus));
}

std::vector<EnvChange> gameEnvironment(const std::optional<std::string>& display) {
    return {{"DISPLAY", display},
            {"WAYLAND_DISPLAY", std::nullopt},
            {"SDL_VIDEODRIVER", std::nullopt},
            {"SDL_AUDIODRIVER", "dummy"},
            // The game keeps its media until the process ends, on purpose; a
            // sanitized build must not call that a leak.
            {"ASAN_OPTIONS", "detect_leaks=0"}};
}

Blob findColour(const Shot& shot, std::uint32_t rgb) {
    Blob blob;
    for (int y = 0; y < shot.height; ++y) {
        for (int x = 0; x < shot.width; ++x) {
            if (shot.at(x, y) == rgb) {
                ++blob.count;
                blob.minX = std::min(blob.minX, x);
                blob.maxX = std::max(blob.maxX, x);
                blob.minY = std::min(blob.minY, y);
                blob.maxY = std::max(blob.maxY, y);
                blob.centreX += x;
                blob.centreY += y;
            }
        }
    }
    if (blob.count > 0) {
        blob.centreX /= blob.count;
        blob.centreY /= blob.count;
    }
    return blob;
}

namespace {

// Windows come and go while the game starts; a query about one that just
// went away fails, and the caller simply sees no such window.
int ignoreXError(::Display*, XErrorEvent*) {
    return 0;
}

}  // namespace

std::vector<std::string> gameCommand() {
    const char* command = std::getenv("ZEPHRIN_E2E_GAME");
    if (command == nullptr || *command == '\0') {
        return {ZEPHRIN_GAME};
    }
    std::vector<std::string> words;
    std::istringstream in(command);
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

bool gameIsEmulated() {
    return gameCommand() != std::vector<std::string>{ZEPHRIN_GAME};
}

int processesNamed(const std::string& name) {
    const char* prefix = std::getenv("WINEPREFIX");
    const std::string session =
        prefix != nullptr ? std::string("WINEPREFIX=") + prefix + '\0' : std::string();
    int count = 0;
    std::error_code ended;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ended)) {
        std::string comm;
        std::getline(std::ifstream(entry.path() / "comm"), comm);
        std::ifstream environ(entry.path() / "environ", std::ios::binary);
        const std::string environment{std::istreambuf_iterator<char>(environ), {}};
        count += comm == name && environment.find(session) != std::string::npos ? 1 : 0;
    }
    return count;
}

double emulatorSlowdown() {
    const char* factor = std::getenv("ZEPHRIN_E2E_SLOWDOWN");
    return factor != nullptr ? std::max(1.0, std::atof(factor)) : 1.0;
}

double machineSlowdown() {
    double load = 0;
    std::ifstream("/proc/loadavg") >> load;
    const double processors = std::max(1u, std::thread::hardware_concurrency());
    return std::clamp(load / processors, 1.0, 10.0);
}

double slowdown() {
    return kSlowdown * emulatorSlowdown() * machineSlowdown();
}

namespace {

constexpr int kSkipped = 77;  // the window tests' SKIP_RETURN_CODE

// Mesa keeps its shader cache under the home the password database names,
// whatever HOME says: the X server and the game keep theirs in `dir`.
std::vector<EnvChange> mesaCacheIn(const std::string& dir) {
    return {{"MESA_SHADER_CACHE_DIR", dir + "/.cache"}, {"XDG_CACHE_HOME", dir + "/.cache"}};
}

std::string readFirstLine(const std::string& path) {
    std::string line;
    std::getline(std::ifstream(path), line);
    return line.empty() ? "nothing said" : line;
}

// A machine without an X server to start (a package builder without Xvfb):
// the whole test program skips, as CTest's SKIP_RETURN_CODE counts it.
[[noreturn]] void skipWithoutDisplay(const std::string& why) {
    std::fprintf(stderr, "skipped: no X server for the window tests (%s)\n", why.c_str());
    std::fflush(nullptr);
    std::_Exit(kSkipped);
}

}  // namespace

XServer::XServer(int width, int height) {
    const char* shared = std::getenv("ZEPHRIN_E2E_DISPLAY");
    if (shared != nullptr && width == kScreenWidth && height == kScreenHeight) {
        name_ = shared;
    } else {
        start(width, height);
        if (shared != nullptr) {
            restartWine(name_);
        }
    }
    XSetErrorHandler(ignoreXError);
    display_ = XOpenDisplay(name_.c_str());
    if (display_ == nullptr) {
        throw std::runtime_error("cannot connect to the X server on " + name_);
    }
}

void XServer::start(int width, int height) {
    int fds[2];
    if (pipe(fds) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    process_.emplace(std::vector<std::string>{"Xvfb", "-displayfd", "3", "-screen", "0", screen,
                                              "-nolisten", "tcp", "-noreset"},
                     "/", mesaCacheIn(logDir_.path()), logDir_ / "xvfb.log", fds[1]);
    close(fds[1]);
    // Xvfb writes its display number once it accepts clients.
    std::string number;
    pollfd ready{fds[0], POLLIN, 0};
    char c = 0;
    while (poll(&ready, 1, 10000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') {
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        // Xvfb that ended at once is missing (exit 127) or cannot run here;
        // one that is still silent is a fault of its own.
        if (const std::optional<int> ended = process_->awaitExit(1)) {
            skipWithoutDisplay("Xvfb ended with " + describeExit(ended) + ": " +
                               readFirstLine(logDir_ / "xvfb.log"));
        }
        throw std::runtime_error("Xvfb did not start");
    }
    name_ = ":" + number;
}

// As a Wine session starts: a wineserver that stays up, and Wine's own
// services, its desktop among them, started once on `display`.
void XServer::restartWine(const std::string& display) const {
    const std::string wine = gameCommand().front();
    const std::string server = wine.substr(0, wine.rfind('/') + 1) + "wineserver";
    const auto run = [&](const std::vector<std::string>& argv) {
        Child(argv, "/", {{"DISPLAY", display}}, logDir_ / "wine.log").awaitExit(120 * slowdown());
    };
    run({server, "-k"});
    run({server, "-w"});
    run({server, "-p"});
    run({wine, "cmd.exe", "/c", "exit"});
}

XServer::~XServer() {
    if (display_ != nullptr) {
        XCloseDisplay(display_);
    }
    if (const char* shared = std::getenv("ZEPHRIN_E2E_DISPLAY"); process_ && shared != nullptr) {
        restartWine(shared);
    }
}

Game::Game(const XServer& x, const std::string& workDir, std::vector<EnvChange> env,
           const std::vector<int>& closedDescriptors, const std::vector<std::string>& command)
    : x_(x), stderrPath_(workDir + "/stderr.txt") {
    std::vector<EnvChange> base = gameEnvironment(x.name());
    for (const EnvChange& cache : mesaCacheIn(workDir)) {
        base.push_back(cache);
    }
    env.insert(env.begin(), base.begin(), base.end());
    process_.emplace(command, workDir, env, stderrPath_, -1, closedDescriptors);
}

namespace {

::Window findViewableWindow(::Display* d, const char* title) {
    ::Window root = 0;
    ::Window parent = 0;
    ::Window* children = nullptr;
    unsigned count = 0;
    ::Window found = 0;
    XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count);
    for (unsigned i = 0; i < count && found == 0; ++i) {
        char* name = nullptr;
        XWindowAttributes attributes{};
        if (XFetchName(d, children[i], &name) != 0 && std::strcmp(name, title) == 0 &&
            XGetWindowAttributes(d, children[i], &attributes) != 0 &&
            attributes.map_state == IsViewable) {
            found = children[i];
        }
        XFree(name);
    }
    XFree(children);
    return found;
}

}  // namespace

bool Game::awaitWindow() {
    return window() != 0;
}

// SDL may replace the first window it maps by another one once it sets up
// the renderer, so the window is looked up again whenever it has gone.
unsigned long Game::window() const {
    ::Display* d = x_.display();
    XWindowAttributes attributes{};
    if (window_ != 0 && XGetWindowAttributes(d, window_, &attributes) != 0 &&
        attributes.map_state == IsViewable) {
        return window_;
    }
    const double deadline = now() + 5 * slowdown();
    while ((window_ = findViewableWindow(d, "Zephrin")) == 0 && now() < deadline) {
        sleepFor(0.02);
    }
    if (window_ != 0) {
        // No window manager here: hand the window the keyboard ourselves.
        XSetInputFocus(d, window_, RevertToPointerRoot, CurrentTime);
        XSync(d, False);
    }
    return window_;
}

WindowFacts Game::facts() const {
    ::Display* d = x_.display();
    const ::Window w = window();
    WindowFacts facts;
    char* title = nullptr;
    if (XFetchName(d, w, &title) != 0) {
        facts.title = title;
        XFree(title);
    }
    XWindowAttributes attributes{};
    XGetWindowAttributes(d, w, &attributes);
    facts.width = attributes.width;
    facts.height = attributes.height;
    ::Window child = 0;
    XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &facts.x, &facts.y, &child);
    XSizeHints hints{};
    long supplied = 0;
    if (XGetWMNormalHints(d, w, &hints, &supplied) != 0) {
        facts.hasMinAndMaxSize = (hints.flags & PMinSize) != 0 && (hints.flags & PMaxSize) != 0;
        facts.minWidth = hints.min_width;
        facts.minHeight = hints.min_height;
        facts.maxWidth = hints.max_width;
        facts.maxHeight = hints.max_height;
    }
    return facts;
}

std::vector<Icon> Game::icons() const {
    ::Display* d = x_.display();
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::vector<Icon> icons;
    if (XGetWindowProperty(d, window(), XInternAtom(d, "_NET_WM_ICON", False), 0, 1L << 22, False,
                           XA_CARDINAL, &type, &format, &count, &after, &data) != Success ||
        data == nullptr || format != 32) {
        XFree(data);
        return icons;
    }
    // Width, height, then the pixels, for each icon; format 32 comes as longs.
    const auto* values = reinterpret_cast<const unsigned long*>(data);
    for (unsigned long at = 0; at + 2 <= count;) {
        const unsigned long width = values[at];
        const unsigned long pixels = width * values[at + 1];
        if (width != values[at + 1] || width == 0 || at + 2 + pixels > count) {
            break;
        }
        icons.push_back({static_cast<int>(width), {values + at + 2, values + at + 2 + pixels}});
        at += 2 + pixels;
    }
    XFree(data);
    return icons;
}

Shot Game::shoot() const {
    Shot shot;
    XImage* image = nullptr;
    const double deadline = now() + 2;
    while (image == nullptr && now() < deadline) {
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(x_.display(), window(), &attributes) != 0) {
            shot.width = std::min(attributes.width, 800);
            shot.height = std::min(attributes.height, 800);
        }
        image = XGetImage(x_.display(), window(), 0, 0, static_cast<unsigned>(shot.width),
                          static_cast<unsigned>(shot.height), AllPlanes, ZPixmap);
    }
    if (image == nullptr) {
        throw std::runtime_error("the game window cannot be read");
    }
    shot.pixels.resize(static_cast<std::size_t>(shot.width) *
                       static_cast<std::size_t>(shot.height));
    for (int y = 0; y < shot.height; ++y) {
        std::uint32_t* row = &shot.pixels[static_cast<std::size_t>(y) * shot.width];
        if (image->bits_per_pixel == 32 && image->byte_order == LSBFirst) {
            std::memcpy(row, image->data + static_cast<std::ptrdiff_t>(y) * image->bytes_per_line,
                        static_cast<std::size_t>(shot.width) * 4);
        }
        for (int x = 0; x < shot.width; ++x) {
            row[x] = image->bits_per_pixel == 32 && image->byte_order == LSBFirst
                         ? row[x] & 0xFFFFFF
                         : static_cast<std::uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFF;
        }
    }
    XDestroyImage(image);
    return shot;
}

void Game::pressAll(const std::vector<const char*>& keyNames) const {
    ::Display* d = x_.display();
    const ::Window w = window();  // gives it the keyboard if it is a new one
    // Listening to the window's keys too tells when the X server has handed
    // every one of them out, so the game's answer can be timed from there.
    XSelectInput(d, w, KeyPressMask | KeyReleaseMask);
    for (const char* name : keyNames) {
        const KeyCode code = XKeysymToKeycode(d, XStringToKeysym(name));
        XTestFakeKeyEvent(d, code, True, CurrentTime);
        XTestFakeKeyEvent(d, code, False, CurrentTime);
    }
    XFlush(d);
    std::size_t delivered = 0;
    const double deadline = now() + 20;
    while (delivered < 2 * keyNames.size() && now() < deadline) {
        if (XPending(d) == 0) {
            sleepFor(0.001);
            continue;
        }
        XEvent event;
        XNextEvent(d, &event);
        delivered += event.type == KeyPress || event.type == KeyRelease ? 1 : 0;
    }
    XSelectInput(d, w, NoEventMask);
    XSync(d, True);
}

void Game::press(const char* keyName, int times) const {
    pressAll(std::vector<const char*>(static_cast<std::size_t>(times), keyName));
}

void Game::requestClose() const {
    ::Display* d = x_.display();
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window();
    event.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, event.xclient.window, False, NoEventMask, &event);
    XSync(d, False);
}

// Wine's and ALSA's own lines, which the emulated game's stderr also gets.
bool isEmulatorLine(const std::string& line) {
    static const std::regex emulator(
        R"(^(wine:|ALSA lib |[0-9a-f]{4}:(fixme|err|warn|trace):|(fixme|err|warn):))");
    return std::regex_search(line, emulator);
}

std::vector<std::string> Game::errorLines() const {
    std::vector<std::string> lines;
    std::ifstream in(stderrPath_);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();  // a Windows build's line ending
        }
        if (!(gameIsEmulated() && isEmulatorLine(line))) {
            lines.push_back(line);
        }
    }
    return lines;
}

}  // namespace e2e
