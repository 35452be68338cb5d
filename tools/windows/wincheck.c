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
 *   wincheck icon WINDOW ICON.ico
 *       Reads the icons the window publishes (_NET_WM_ICON) and compares
 *       each with the image of the same size in ICON.ico.
 *   wincheck seam CAPTURE REFERENCE.wav
 *       CAPTURE holds a looping piece of music as played (a WAV file, or a
 *       .raw file of the game's mixer output), REFERENCE one
 *       pass of it decoded without gaps. Finds where the music starts in
 *       the capture and where its second pass starts, and measures how far
 *       that is from one reference length and how loud the capture is
 *       around the loop point next to the reference at the same places.
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

/* A WAV file's samples, channels interleaved, in [-1, 1]. */
struct sound {
    unsigned long rate;
    unsigned channels, bits;
    int is_float;
    double* samples;
    unsigned long long count;
};

/* Reads a WAV file's header up to the first of its samples. */
static int read_wav_header(FILE* f, const char* path, unsigned* fmt_tag_out,
                           unsigned* channels_out, unsigned* bits_out, unsigned long* rate_out) {
    unsigned char hdr[12];
    if (fread(hdr, 1, 12, f) != 12 || memcmp(hdr, "RIFF", 4) || memcmp(hdr + 8, "WAVE", 4)) {
        fprintf(stderr, "wincheck: %s is not a WAV file\n", path);
        return 0;
    }
    unsigned fmt_tag = 0, channels = 0, bits = 0;
    unsigned long rate = 0;
    int have_fmt = 0;
    for (;;) {
        unsigned char ch[8];
        if (fread(ch, 1, 8, f) != 8) {
            fprintf(stderr, "wincheck: %s has no sound data\n", path);
            return 0;
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
        return 0;
    }
    *fmt_tag_out = fmt_tag;
    *channels_out = channels;
    *bits_out = bits;
    *rate_out = rate;
    return 1;
}

/* A WAV file, or a .raw file of the game's mixer output: 16-bit
 * little-endian stereo at 22,050 Hz, as SDL's disk audio driver writes it. */
static int read_wav(const char* path, struct sound* out) {
    memset(out, 0, sizeof *out);
    FILE* f = fopen(path, "rb");
    if (!f) {
        perror(path);
        return 0;
    }
    size_t name_length = strlen(path);
    int raw = name_length > 4 && !strcmp(path + name_length - 4, ".raw");
    unsigned fmt_tag = 1, channels = 2, bits = 16;
    unsigned long rate = 22050;
    if (!raw && !read_wav_header(f, path, &fmt_tag, &channels, &bits, &rate)) {
        fclose(f);
        return 0;
    }
    unsigned bytes = bits / 8;
    unsigned long long capacity = 1u << 20;
    double* samples = malloc(capacity * sizeof *samples);
    unsigned long long count = 0;
    unsigned char s[4];
    while (samples && fread(s, 1, bytes, f) == bytes) {
        double v;
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
        if (count == capacity) {
            capacity *= 2;
            double* grown = realloc(samples, capacity * sizeof *samples);
            if (!grown) {
                free(samples);
                samples = NULL;
                break;
            }
            samples = grown;
        }
        samples[count++] = v;
    }
    fclose(f);
    if (!samples) {
        fprintf(stderr, "wincheck: %s: out of memory\n", path);
        return 0;
    }
    out->rate = rate;
    out->channels = channels;
    out->bits = bits;
    out->is_float = fmt_tag == 3;
    out->samples = samples;
    out->count = count;
    return 1;
}

static int cmd_wav(const char* path) {
    struct sound snd;
    if (!read_wav(path, &snd)) return 1;
    double peak = 0, sum = 0;
    unsigned long long loud = 0;
    for (unsigned long long i = 0; i < snd.count; ++i) {
        double a = fabs(snd.samples[i]);
        if (a > peak) peak = a;
        if (a > 0.01) ++loud;
        sum += snd.samples[i] * snd.samples[i];
    }
    printf("rate=%lu\nchannels=%u\nbits=%u\nfloat=%d\n", snd.rate, snd.channels, snd.bits,
           snd.is_float);
    printf("seconds=%.2f\n", snd.rate ? (double)snd.count / snd.channels / snd.rate : 0.0);
    printf("peak=%.4f\nrms=%.4f\nloud_fraction=%.4f\n", peak,
           snd.count ? sqrt(sum / snd.count) : 0.0, snd.count ? (double)loud / snd.count : 0.0);
    free(snd.samples);
    return 0;
}

/* The sound as one channel at `rate`, by linear interpolation; caller frees. */
static double* mono_at(const struct sound* snd, unsigned long rate, long* frames) {
    long in_frames = (long)(snd->count / snd->channels);
    *frames = (long)((double)in_frames * rate / snd->rate);
    double* out = malloc((size_t)(*frames > 0 ? *frames : 1) * sizeof *out);
    if (!out) return NULL;
    for (long i = 0; i < *frames; ++i) {
        double at = (double)i * snd->rate / rate;
        long j = (long)at;
        double w = at - j;
        double a = 0, b = 0;
        for (unsigned c = 0; c < snd->channels; ++c) {
            a += snd->samples[(unsigned long long)j * snd->channels + c];
            if (j + 1 < in_frames) b += snd->samples[(unsigned long long)(j + 1) * snd->channels + c];
        }
        out[i] = ((1 - w) * a + w * b) / snd->channels;
    }
    return out;
}

/* How alike x[0..n) and y[0..n) are: 1 for the same wave, 0 for unrelated. */
static double likeness(const double* x, const double* y, long n) {
    double xy = 0, xx = 0, yy = 0;
    for (long i = 0; i < n; ++i) {
        xy += x[i] * y[i];
        xx += x[i] * x[i];
        yy += y[i] * y[i];
    }
    return xx > 0 && yy > 0 ? xy / sqrt(xx * yy) : 0;
}

/* Where in capture[from, to] the reference's first `n` frames start best. */
static long best_match(const double* capture, long capture_frames, const double* reference,
                       long n, long from, long to, double* score) {
    long best = -1;
    *score = -1;
    if (from < 0) from = 0;
    if (to > capture_frames - n) to = capture_frames - n;
    for (long s = from; s <= to; ++s) {
        double l = likeness(capture + s, reference, n);
        if (l > *score) {
            *score = l;
            best = s;
        }
    }
    return best;
}

static double rms(const double* x, long n) {
    double sum = 0;
    for (long i = 0; i < n; ++i) sum += x[i] * x[i];
    return n > 0 ? sqrt(sum / n) : 0;
}

static int cmd_seam(const char* capture_path, const char* reference_path) {
    struct sound cap, ref;
    if (!read_wav(capture_path, &cap) || !read_wav(reference_path, &ref)) return 1;
    const unsigned long rate = cap.rate;
    long cn = 0, rn = 0;
    double* c = mono_at(&cap, rate, &cn);
    double* r = mono_at(&ref, rate, &rn);
    if (!c || !r) {
        fprintf(stderr, "wincheck: out of memory\n");
        return 1;
    }
    const long window = (long)rate / 2;       /* half a second to match */
    const long search = (long)rate / 4;       /* a quarter of a second either way */
    long first_loud = 0;
    while (first_loud < cn && fabs(c[first_loud]) < 0.02) ++first_loud;
    if (rn <= 2 * window || first_loud + rn + window + search > cn) {
        fprintf(stderr, "wincheck: the capture (%.2f s) does not reach past the loop point\n",
                (double)cn / rate);
        return 1;
    }
    double start_score = 0, loop_score = 0;
    long start = best_match(c, cn, r, window, first_loud - search, first_loud + search,
                            &start_score);
    long expected = start + rn;
    long loop = best_match(c, cn, r, window, expected - search, expected + search, &loop_score);
    /* The capture's level around the loop point next to the reference's at
     * the same places of the music: its last and its first 100 ms. */
    const long step = (long)rate / 200; /* 5 ms */
    double lowest = 1e9;
    for (long t = expected - 20 * step; t < expected + 20 * step; t += step) {
        long at = t < expected ? rn - (expected - t) : t - expected;
        double want = rms(r + at, step);
        if (want < 0.01) continue; /* quiet in the music itself */
        double ratio = rms(c + t, step) / want;
        if (ratio < lowest) lowest = ratio;
    }
    printf("loop_seconds=%.4f\nstart_seconds=%.4f\nstart_likeness=%.3f\n", (double)rn / rate,
           (double)start / rate, start_score);
    printf("loop_error_ms=%.2f\nloop_likeness=%.3f\nlowest_level_ratio=%.3f\n",
           (double)(loop - expected) * 1000.0 / rate, loop_score, lowest);
    free(c);
    free(r);
    free(cap.samples);
    free(ref.samples);
    return 0;
}

/* The images of an .ico file written by zephrin-make-icon: 32-bit bitmaps,
 * bottom row first (a PNG-coded image is left out). */
struct ico_image {
    int size;
    uint32_t* argb; /* top row first */
};

static int read_ico(const char* path, struct ico_image* images, int capacity) {
    FILE* f = fopen(path, "rb");
    if (!f) {
        perror(path);
        return -1;
    }
    fseek(f, 0, SEEK_END);
    long length = ftell(f);
    fseek(f, 0, SEEK_SET);
    unsigned char* data = malloc((size_t)length);
    if (!data || fread(data, 1, (size_t)length, f) != (size_t)length || length < 6) {
        fclose(f);
        free(data);
        fprintf(stderr, "wincheck: cannot read %s\n", path);
        return -1;
    }
    fclose(f);
    int found = 0;
    for (int i = 0; i < le16(data + 4) && found < capacity; ++i) {
        const unsigned char* entry = data + 6 + 16 * i;
        if (entry + 16 > data + length) break;
        uint32_t bytes = le32(entry + 8), offset = le32(entry + 12);
        if ((unsigned long)offset + bytes > (unsigned long)length || bytes < 40) continue;
        const unsigned char* dib = data + offset;
        if (le32(dib) != 40 || le16(dib + 14) != 32) continue; /* not a 32-bit bitmap */
        int size = (int)le32(dib + 4);
        if (size <= 0 || size > 256 || 40 + 4UL * size * size > bytes) continue;
        uint32_t* argb = malloc(sizeof *argb * (size_t)size * (size_t)size);
        if (!argb) break;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                argb[y * size + x] = le32(dib + 40 + 4 * ((size - 1 - y) * size + x));
        images[found].size = size;
        images[found].argb = argb;
        ++found;
    }
    free(data);
    return found;
}

static int cmd_icon(Window w, const char* ico_path) {
    struct ico_image images[16];
    int count = read_ico(ico_path, images, 16);
    if (count < 0) return 1;
    Display* dpy = open_display();
    Atom net_wm_icon = XInternAtom(dpy, "_NET_WM_ICON", False);
    Atom type;
    int format;
    unsigned long n = 0, after = 0;
    unsigned char* data = NULL;
    if (XGetWindowProperty(dpy, w, net_wm_icon, 0, 1L << 22, False, XA_CARDINAL, &type, &format,
                           &n, &after, &data) != Success ||
        !data || format != 32) {
        printf("published=none\n");
        if (data) XFree(data);
        XCloseDisplay(dpy);
        return 0;
    }
    /* Format-32 properties come as longs, whatever their width. */
    const unsigned long* v = (const unsigned long*)data;
    unsigned long at = 0;
    int matching = 0;
    printf("published=");
    while (at + 2 <= n) {
        unsigned long iw = v[at], ih = v[at + 1];
        if (iw == 0 || ih == 0 || at + 2 + iw * ih > n) break;
        printf("%lux%lu ", iw, ih);
        for (int i = 0; i < count; ++i) {
            if ((unsigned long)images[i].size != iw || iw != ih) continue;
            /* Alike when nearly every pixel is, colour and coverage both. */
            unsigned long differing = 0;
            for (unsigned long p = 0; p < iw * ih; ++p) {
                uint32_t got = (uint32_t)v[at + 2 + p], want = images[i].argb[p];
                int worst = 0;
                for (int shift = 0; shift < 32; shift += 8) {
                    int d = abs((int)((got >> shift) & 0xFF) - (int)((want >> shift) & 0xFF));
                    /* a transparent pixel's colour does not show */
                    if (shift < 24 && ((want >> 24) < 16 && (got >> 24) < 16)) d = 0;
                    if (d > worst) worst = d;
                }
                if (worst > 24) ++differing;
            }
            if (differing * 50 <= iw * ih) ++matching;
        }
        at += 2 + iw * ih;
    }
    printf("\nmatching=%d\n", matching);
    XFree(data);
    XCloseDisplay(dpy);
    for (int i = 0; i < count; ++i) free(images[i].argb);
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
    if (argc == 4 && !strcmp(argv[1], "icon")) return cmd_icon(parse_window(argv[2]), argv[3]);
    if (argc == 4 && !strcmp(argv[1], "seam")) return cmd_seam(argv[2], argv[3]);
    fprintf(stderr,
            "usage: wincheck find TITLE SECONDS | shot WINDOW OUT.ppm | close WINDOW | "
            "wav FILE | icon WINDOW ICON.ico | seam CAPTURE REFERENCE.wav\n");
    return 2;
}
