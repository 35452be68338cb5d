/*
 * wincheck: small helper for the Windows build's smoke test, which runs
 * zephrin.exe under Wine on a virtual X server.
 *
 *   wincheck find TITLE SECONDS
 *       Waits up to SECONDS for a viewable window titled exactly TITLE and
 *       prints its id, position on screen, size and the screen's size.
 *   wincheck shot WINDOW OUT.ppm
 *       Reads the window's pixels, writes them as a PPM picture and prints
 *       how many pixels are not black and how many colours there are.
 *   wincheck close WINDOW
 *       Asks the window to close the way a window manager's close button
 *       does: a WM_PROTOCOLS / WM_DELETE_WINDOW client message.
 *   wincheck wav FILE
 *       Reads a WAV file (also one still being written, whose header sizes
 *       are not filled in yet) and prints its format, length and levels.
 *
 * Results are printed as key=value lines; the calling script judges them.
 * Exit status: 0 done, 1 failed (reason on stderr), 2 usage.
 */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

/* The last X error, instead of Xlib's default of ending the program: a
 * window may vanish at any time (SDL replaces its window while it picks a
 * renderer), and that is a result to report or to wait out. */
static int last_x_error = 0;

static int remember_x_error(Display* dpy, XErrorEvent* e) {
    (void)dpy;
    last_x_error = e->error_code;
    return 0;
}

static Display* open_display(void) {
    Display* dpy = XOpenDisplay(NULL);
    if (!dpy) {
        fprintf(stderr, "wincheck: cannot open display %s\n",
                getenv("DISPLAY") ? getenv("DISPLAY") : "(unset)");
        exit(1);
    }
    XSetErrorHandler(remember_x_error);
    return dpy;
}

/* The window's title: _NET_WM_NAME (UTF-8) if set, else WM_NAME. Caller frees. */
static char* window_title(Display* dpy, Window w) {
    Atom net_wm_name = XInternAtom(dpy, "_NET_WM_NAME", False);
    Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = NULL;
    if (XGetWindowProperty(dpy, w, net_wm_name, 0, 1024, False, utf8, &type, &format, &count,
                           &after, &data) == Success &&
        data && type == utf8 && format == 8) {
        char* s = malloc(count + 1);
        memcpy(s, data, count);
        s[count] = '\0';
        XFree(data);
        return s;
    }
    if (data) XFree(data);
    char* name = NULL;
    if (XFetchName(dpy, w, &name) && name) {
        char* s = strdup(name);
        XFree(name);
        return s;
    }
    return NULL;
}

static Window find_titled(Display* dpy, Window w, const char* title) {
    char* t = window_title(dpy, w);
    if (t) {
        int match = strcmp(t, title) == 0;
        free(t);
        XWindowAttributes wa;
        if (match && XGetWindowAttributes(dpy, w, &wa) && wa.map_state == IsViewable) return w;
    }
    Window root, parent, *children = NULL;
    unsigned int n = 0;
    Window found = 0;
    if (XQueryTree(dpy, w, &root, &parent, &children, &n)) {
        for (unsigned int i = 0; i < n && !found; ++i) found = find_titled(dpy, children[i], title);
        if (children) XFree(children);
    }
    return found;
}

static int cmd_find(const char* title, double seconds) {
    Display* dpy = open_display();
    Window root = DefaultRootWindow(dpy);
    struct timespec start, now;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        last_x_error = 0;
        Window w = find_titled(dpy, root, title);
        XWindowAttributes wa;
        Window child;
        int x = 0, y = 0;
        if (w && XGetWindowAttributes(dpy, w, &wa) &&
            XTranslateCoordinates(dpy, w, root, 0, 0, &x, &y, &child) && !last_x_error) {
            printf("window=0x%lx\nx=%d\ny=%d\nwidth=%d\nheight=%d\n", (unsigned long)w, x, y,
                   wa.width, wa.height);
            printf("screen_width=%d\nscreen_height=%d\n", DisplayWidth(dpy, DefaultScreen(dpy)),
                   DisplayHeight(dpy, DefaultScreen(dpy)));
            XCloseDisplay(dpy);
            return 0;
        }
        clock_gettime(CLOCK_MONOTONIC, &now);
        double waited = (double)(now.tv_sec - start.tv_sec) + (now.tv_nsec - start.tv_nsec) / 1e9;
        if (waited >= seconds) break;
        struct timespec pause = {0, 200 * 1000 * 1000};
        nanosleep(&pause, NULL);
    }
    fprintf(stderr, "wincheck: no viewable window titled \"%s\" within %.0f s\n", title, seconds);
    XCloseDisplay(dpy);
    return 1;
}

static int channel(unsigned long pixel, unsigned long mask) {
    if (!mask) return 0;
    int shift = 0;
    while (!(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    unsigned long v = (pixel >> shift) & mask;
    return (int)(v * 255 / mask);
}

static int cmd_shot(Window w, const char* out) {
    Display* dpy = open_display();
    XWindowAttributes wa;
    if (!XGetWindowAttributes(dpy, w, &wa)) {
        fprintf(stderr, "wincheck: no window 0x%lx\n", (unsigned long)w);
        return 1;
    }
    XImage* img =
        XGetImage(dpy, w, 0, 0, (unsigned)wa.width, (unsigned)wa.height, AllPlanes, ZPixmap);
    if (!img) {
        fprintf(stderr, "wincheck: cannot read the pixels of window 0x%lx\n", (unsigned long)w);
        return 1;
    }
    FILE* f = fopen(out, "wb");
    if (!f) {
        perror(out);
        return 1;
    }
    fprintf(f, "P6\n%d %d\n255\n", wa.width, wa.height);
    /* One bit for each 24-bit colour: 2 MiB. */
    uint8_t* seen = calloc(1u << 21, 1);
    long nonblack = 0, colours = 0;
    for (int y = 0; y < wa.height; ++y) {
        for (int x = 0; x < wa.width; ++x) {
            unsigned long p = XGetPixel(img, x, y);
            int r = channel(p, wa.visual->red_mask);
            int g = channel(p, wa.visual->green_mask);
            int b = channel(p, wa.visual->blue_mask);
            unsigned char rgb[3] = {(unsigned char)r, (unsigned char)g, (unsigned char)b};
            fwrite(rgb, 1, 3, f);
            if (r + g + b > 3 * 16) ++nonblack;
            uint32_t c = ((uint32_t)r << 16) | ((uint32_t)g << 8) | (uint32_t)b;
            if (!(seen[c >> 3] & (1u << (c & 7)))) {
                seen[c >> 3] |= (uint8_t)(1u << (c & 7));
                ++colours;
            }
        }
    }
    fclose(f);
    free(seen);
    XDestroyImage(img);
    printf("pixels=%ld\nnonblack=%ld\ncolours=%ld\n", (long)wa.width * wa.height, nonblack,
           colours);
    XCloseDisplay(dpy);
    return 0;
}

static int cmd_close(Window w) {
    Display* dpy = open_display();
    Atom wm_protocols = XInternAtom(dpy, "WM_PROTOCOLS", False);
    Atom wm_delete = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
    Atom* protocols = NULL;
    int n = 0, asks = 0;
    if (XGetWMProtocols(dpy, w, &protocols, &n)) {
        for (int i = 0; i < n; ++i) asks |= protocols[i] == wm_delete;
        XFree(protocols);
    }
    if (!asks) {
        fprintf(stderr, "wincheck: window 0x%lx does not take WM_DELETE_WINDOW\n",
                (unsigned long)w);
        return 1;
    }
    XEvent ev;
    memset(&ev, 0, sizeof ev);
    ev.xclient.type = ClientMessage;
    ev.xclient.window = w;
    ev.xclient.message_type = wm_protocols;
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = (long)wm_delete;
    ev.xclient.data.l[1] = CurrentTime;
    if (!XSendEvent(dpy, w, False, NoEventMask, &ev)) {
        fprintf(stderr, "wincheck: sending the close request failed\n");
        return 1;
    }
    XSync(dpy, False);
    if (last_x_error) {
        fprintf(stderr, "wincheck: sending the close request failed (X error %d)\n", last_x_error);
        return 1;
    }
    printf("sent=WM_DELETE_WINDOW\n");
    XCloseDisplay(dpy);
    return 0;
}

static uint32_t le32(const unsigned char* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static uint16_t le16(const unsigned char* p) {
    return (uint16_t)(p[0] | p[1] << 8);
}

static int cmd_wav(const char* path) {
    FILE* f = fopen(path, "rb");
    if (!f) {
        perror(path);
        return 1;
    }
    unsigned char hdr[12];
    if (fread(hdr, 1, 12, f) != 12 || memcmp(hdr, "RIFF", 4) || memcmp(hdr + 8, "WAVE", 4)) {
        fprintf(stderr, "wincheck: %s is not a WAV file\n", path);
        fclose(f);
        return 1;
    }
    unsigned fmt_tag = 0, channels = 0, bits = 0;
    unsigned long rate = 0;
    int have_fmt = 0;
    for (;;) {
        unsigned char ch[8];
        if (fread(ch, 1, 8, f) != 8) {
            fprintf(stderr, "wincheck: %s has no sound data\n", path);
            fclose(f);
            return 1;
        }
        uint32_t size = le32(ch + 4);
        if (!memcmp(ch, "fmt ", 4)) {
            unsigned char fmt[40] = {0};
            size_t take = size < sizeof fmt ? size : sizeof fmt;
            if (fread(fmt, 1, take, f) != take) break;
            if (size > take) fseek(f, (long)(size - take), SEEK_CUR);
            fmt_tag = le16(fmt);
            channels = le16(fmt + 2);
            rate = le32(fmt + 4);
            bits = le16(fmt + 14);
            if (fmt_tag == 0xFFFE && size >= 26)
                fmt_tag = le16(fmt + 24); /* WAVE_FORMAT_EXTENSIBLE: the sub-format */
            have_fmt = 1;
        } else if (!memcmp(ch, "data", 4)) {
            break; /* read to the end of the file: the size may not be written yet */
        } else {
            fseek(f, (long)(size + (size & 1)), SEEK_CUR);
        }
    }
    if (!have_fmt || !channels || !(fmt_tag == 1 || fmt_tag == 3) ||
        !(bits == 8 || bits == 16 || bits == 24 || bits == 32) || (fmt_tag == 3 && bits != 32)) {
        fprintf(stderr, "wincheck: %s: unsupported format (tag %u, %u bits)\n", path, fmt_tag,
                bits);
        fclose(f);
        return 1;
    }
    unsigned bytes = bits / 8;
    unsigned char s[4];
    double peak = 0, sum = 0;
    unsigned long long samples = 0, loud = 0;
    while (fread(s, 1, bytes, f) == bytes) {
        double v; /* in [-1, 1] */
        if (fmt_tag == 3) {
            uint32_t u = le32(s);
            float fl;
            memcpy(&fl, &u, sizeof fl);
            v = fl;
        } else if (bits == 8) {
            v = (s[0] - 128) / 128.0;
        } else if (bits == 16) {
            v = (int16_t)le16(s) / 32768.0;
        } else if (bits == 24) {
            int32_t i =
                (int32_t)((uint32_t)s[0] << 8 | (uint32_t)s[1] << 16 | (uint32_t)s[2] << 24);
            v = i / 2147483648.0;
        } else {
            v = (int32_t)le32(s) / 2147483648.0;
        }
        double a = fabs(v);
        if (a > peak) peak = a;
        if (a > 0.01) ++loud;
        sum += v * v;
        ++samples;
    }
    fclose(f);
    printf("rate=%lu\nchannels=%u\nbits=%u\nfloat=%d\n", rate, channels, bits, fmt_tag == 3);
    printf("seconds=%.2f\n", rate ? (double)samples / channels / rate : 0.0);
    printf("peak=%.4f\nrms=%.4f\nloud_fraction=%.4f\n", peak, samples ? sqrt(sum / samples) : 0.0,
           samples ? (double)loud / samples : 0.0);
    return 0;
}

static Window parse_window(const char* s) {
    char* end = NULL;
    unsigned long v = strtoul(s, &end, 0);
    if (!end || *end || !v) {
        fprintf(stderr, "wincheck: bad window id '%s'\n", s);
        exit(2);
    }
    return (Window)v;
}

int main(int argc, char** argv) {
    if (argc == 4 && !strcmp(argv[1], "find")) return cmd_find(argv[2], atof(argv[3]));
    if (argc == 4 && !strcmp(argv[1], "shot")) return cmd_shot(parse_window(argv[2]), argv[3]);
    if (argc == 3 && !strcmp(argv[1], "close")) return cmd_close(parse_window(argv[2]));
    if (argc == 3 && !strcmp(argv[1], "wav")) return cmd_wav(argv[2]);
    fprintf(stderr,
            "usage: wincheck find TITLE SECONDS | shot WINDOW OUT.ppm | close WINDOW | "
            "wav FILE\n");
    return 2;
}
