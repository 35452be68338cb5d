/*
 * wincheck: finds and closes the game's window for the check of the ways a
 * player starts the Windows build (a console of its own, or the shell's),
 * which runs zephrin.exe under Wine on a virtual X server. Everything else
 * about the window, the picture and the sound is a window test's case.
 *
 *   wincheck find TITLE SECONDS
 *       Waits up to SECONDS for a viewable window titled exactly TITLE and
 *       prints its id, position on screen, size and the screen's size.
 *   wincheck close WINDOW
 *       Asks the window to close the way a window manager's close button
 *       does: a WM_PROTOCOLS / WM_DELETE_WINDOW client message.
 *
 * Results are printed as key=value lines; the calling script judges them.
 * Exit status: 0 done, 1 failed (reason on stderr), 2 usage.
 */
#include <X11/Xlib.h>
#include <X11/Xutil.h>

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
    if (argc == 3 && !strcmp(argv[1], "close")) return cmd_close(parse_window(argv[2]));
    fprintf(stderr, "usage: wincheck find TITLE SECONDS | close WINDOW\n");
    return 2;
}
