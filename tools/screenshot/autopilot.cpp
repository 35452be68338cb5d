// Plays Zephrin by looking at its window, for a screenshot of a game in
// progress: it finds the bird and the next pipe's gap in the picture and taps
// space whenever the bird sinks low in the gap. After the given
// number of seconds it saves the next frame that has a pipe close to the bird
// as a binary PPM.
//
//   autopilot WINDOW-ID SECONDS OUT.ppm
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

constexpr int kSize = 800;
constexpr int kBirdLeft = 300;
constexpr int kBirdRight = 350;
constexpr int kPipeProbeRow = 100;  // every top pipe is at least 200 tall

struct Rgb {
    int r, g, b;
};

Rgb pixel(XImage* image, int x, int y) {
    const unsigned long p = XGetPixel(image, x, y);
    return {static_cast<int>((p >> 16) & 0xFF), static_cast<int>((p >> 8) & 0xFF),
            static_cast<int>(p & 0xFF)};
}

bool isPipe(Rgb c) {
    return c.g > c.r + 40 && c.g > c.b + 40;
}

bool isBird(Rgb c) {
    return c.r > 200 && c.g > 150 && c.b < 120;
}

// Reads a strip of the window; small strips keep each look at the game fast.
XImage* grab(Display* display, Window window, int x, int y, int w, int h) {
    return XGetImage(display, window, x, y, w, h, AllPlanes, ZPixmap);
}

// Middle row of the bird's yellow body, or -1 when it is not in the window.
int birdCentre(Display* display, Window window) {
    XImage* strip = grab(display, window, kBirdLeft + 5, 0, kBirdRight - kBirdLeft - 10, kSize);
    int first = -1;
    int last = -1;
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < strip->width; x += 2) {
            if (isBird(pixel(strip, x, y))) {
                if (first < 0) first = y;
                last = y;
                break;
            }
        }
    }
    XDestroyImage(strip);
    return first < 0 ? -1 : (first + last) / 2;
}

struct Gap {
    int pipeLeft = -1;
    int top = 0;
    int bottom = 0;
};

// The gap of the first pipe that still overlaps the bird or lies ahead of it.
Gap nextGap(Display* display, Window window) {
    Gap gap;
    const int from = kBirdLeft - 45;
    XImage* row = grab(display, window, from, kPipeProbeRow, kSize - from, 1);
    const int width = row->width;
    int left = 0;
    while (left < width && !isPipe(pixel(row, left, 0))) ++left;
    int right = left;
    while (right + 1 < width && isPipe(pixel(row, right + 1, 0))) ++right;
    XDestroyImage(row);
    if (left == width) return gap;

    const int middle = from + (left + right) / 2;
    XImage* column = grab(display, window, middle, 0, 1, kSize);
    int y = kPipeProbeRow;
    while (y < kSize && isPipe(pixel(column, 0, y))) ++y;
    gap.top = y;
    while (y < kSize && !isPipe(pixel(column, 0, y))) ++y;
    gap.bottom = y;
    XDestroyImage(column);
    gap.pipeLeft = from + right - 49;
    return gap;
}

void savePpm(XImage* image, const char* path) {
    FILE* out = std::fopen(path, "wb");
    if (out == nullptr) return;
    std::fprintf(out, "P6\n%d %d\n255\n", kSize, kSize);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const Rgb c = pixel(image, x, y);
            std::fputc(c.r, out);
            std::fputc(c.g, out);
            std::fputc(c.b, out);
        }
    }
    std::fclose(out);
}

void tapSpace(Display* display) {
    const KeyCode space = XKeysymToKeycode(display, XK_space);
    XTestFakeKeyEvent(display, space, True, 0);
    XTestFakeKeyEvent(display, space, False, 0);
    XFlush(display);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: autopilot WINDOW-ID SECONDS OUT.ppm\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "autopilot: cannot open the display\n");
        return 1;
    }
    const Window window = std::strtoul(argv[1], nullptr, 0);
    const double seconds = std::atof(argv[2]);

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto lastTap = start;
    int lastBird = -1;
    int lastPipeLeft = -1;
    auto lastChange = start;
    while (true) {
        const int bird = birdCentre(display, window);
        const Gap gap = nextGap(display, window);
        // A tap lifts the bird about 55 pixels before it sinks again; tapping
        // only while it sinks keeps the taps from stacking up.
        const int target = gap.pipeLeft < 0 ? 420 : gap.top + 88;
        const bool sinking = bird > lastBird;
        const bool moved = bird != lastBird || gap.pipeLeft != lastPipeLeft;
        lastBird = bird;
        lastPipeLeft = gap.pipeLeft;
        const auto now = Clock::now();
        const double elapsed = std::chrono::duration<double>(now - start).count();
        if (elapsed > seconds && gap.pipeLeft > 340 && gap.pipeLeft < 480 && bird > 0) {
            XImage* frame = grab(display, window, 0, 0, kSize, kSize);
            savePpm(frame, argv[3]);
            XDestroyImage(frame);
            return 0;
        }
        if (bird > target && sinking && now - lastTap > std::chrono::milliseconds(230)) {
            tapSpace(display);
            lastTap = now;
        }
        // Pipes move every 31 ms while the game runs; a still picture is a crash.
        if (moved) {
            lastChange = now;
        } else if (now - lastChange > std::chrono::seconds(1)) {
            std::fprintf(stderr, "autopilot: the bird crashed\n");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
    }
}
