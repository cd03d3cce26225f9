/* Times how long a window takes to answer a key or a click, as read from the screen.
 *
 *   xkeypixel [options] X Y ACTION [ACTION...]
 *   xkeypixel -p [-w WINDOW] X Y
 *
 * ACTION is an X key name (Down, Up, End, Return, ...), "click:CX,CY" (button 1 at that
 * position, relative to the same window as X, Y) or "none" (only watch). The actions are sent
 * through XTest, GAP ms apart; the clock starts when the last one is sent. Then the pixel at X, Y
 * is read back from the root window, 1 x 1, as often as the server answers, until it is the wanted
 * colour (-c RRGGBB, each channel within -t) or, without -c, until it differs from what it was
 * before the first action by more than -t in some channel. It prints the milliseconds from the last
 * action to the change and the colour seen, or "timeout" (exit 2) after -T ms.
 *
 *   -w WINDOW   X, Y (and clicks) are relative to this window (decimal or 0x hex id)
 *   -c RRGGBB   the colour waited for
 *   -t N        tolerance per channel (default 40)
 *   -g MS       gap between actions (default 100)
 *   -T MS       timeout (default 5000)
 *   -i US       pause between two reads (default 0: as fast as the server answers; on a
 *               machine with few cores a busy reader takes time from what it measures)
 *   -H MS       once changed, keep watching this long; a later change prints
 *               "changed MS RRGGBB" on a second line (exit 3)
 *   -l          every colour the pixel takes after the last action, with its time, on stderr
 *   -p          print the pixel's colour and exit
 *
 * Built by tests/xvfb_arrowing.sh with: cc -O2 xkeypixel.c -lX11 -lXtst
 */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

enum {
    kDefaultTolerance = 40,
    kDefaultGapMs = 100,
    kDefaultTimeoutMs = 5000,
    kChannelBits = 8,
    kChannelMask = 0xff,
    kUsPerMs = 1000,
    kExitUsage = 1,
    kExitTimeout = 2,
    kExitChangedAgain = 3,
    kDecimalBase = 10,
    kHexBase = 16
};

static const double kMsPerSecond = 1000.0;
static const double kNsPerMs = 1e6;

typedef struct {
    int r, g, b;
} Rgb;

static double NowMs(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec * kMsPerSecond + (double)ts.tv_nsec / kNsPerMs;
}

static void SleepUs(long us) {
    const long usPerSecond = 1000000L;
    const long nsPerUs = 1000L;
    if (us <= 0) return;
    struct timespec ts = {us / usPerSecond, (us % usPerSecond) * nsPerUs};
    nanosleep(&ts, NULL);
}

static Rgb ReadPixel(Display* dpy, Window root, int x, int y) {
    Rgb c = {-1, -1, -1};
    XImage* img = XGetImage(dpy, root, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!img) return c;
    const unsigned long p = XGetPixel(img, 0, 0);
    /* Masks of a TrueColor visual: shift each down to its 8 bits. */
    const unsigned long masks[3] = {img->red_mask, img->green_mask, img->blue_mask};
    int v[3];
    for (int i = 0; i < 3; ++i) {
        unsigned long m = masks[i];
        int shift = 0;
        while (m && !(m & 1)) {
            m >>= 1;
            ++shift;
        }
        int bits = 0;
        while (m & (1UL << bits))
            ++bits;
        const unsigned long raw = (p >> shift) & m;
        v[i] = bits >= kChannelBits ? (int)(raw >> (bits - kChannelBits))
                                    : (int)(raw << (kChannelBits - bits));
    }
    XDestroyImage(img);
    c.r = v[0];
    c.g = v[1];
    c.b = v[2];
    return c;
}

static int Near(Rgb a, Rgb b, int tol) {
    return abs(a.r - b.r) <= tol && abs(a.g - b.g) <= tol && abs(a.b - b.b) <= tol;
}

/* Sends one action; 0 if it was not understood. */
static int Send(Display* dpy, const char* action, int originX, int originY) {
    if (!strcmp(action, "none")) return 1;
    int cx, cy;
    if (sscanf(action, "click:%d,%d", &cx, &cy) == 2) {
        XTestFakeMotionEvent(dpy, -1, originX + cx, originY + cy, CurrentTime);
        XTestFakeButtonEvent(dpy, Button1, True, CurrentTime);
        XTestFakeButtonEvent(dpy, Button1, False, CurrentTime);
        XFlush(dpy);
        return 1;
    }
    const KeySym sym = XStringToKeysym(action);
    if (sym == NoSymbol) return 0;
    const KeyCode code = XKeysymToKeycode(dpy, sym);
    if (code == 0) return 0;
    XTestFakeKeyEvent(dpy, code, True, CurrentTime);
    XTestFakeKeyEvent(dpy, code, False, CurrentTime);
    XFlush(dpy);
    return 1;
}

static int Usage(void) {
    fprintf(stderr,
            "usage: xkeypixel [-w WINDOW] [-c RRGGBB] [-t N] [-g MS] [-T MS] [-H MS] [-i US] [-l] "
            "X Y ACTION [ACTION...]\n"
            "       xkeypixel -p [-w WINDOW] X Y\n");
    return kExitUsage;
}

typedef struct {
    Window relative;
    int haveWanted;
    Rgb wanted;
    int tol, gapMs, timeoutMs, holdMs, intervalUs, log, printOnly;
} Options;

/* Reads the options; the index of the first operand, or -1. */
static int ParseOptions(int argc, char** argv, Options* o) {
    int i = 1;
    while (i < argc && argv[i][0] == '-' && argv[i][1] != '\0' &&
           (argv[i][1] < '0' || argv[i][1] > '9')) {
        const char* flag = argv[i];
        if (!strcmp(flag, "-l") || !strcmp(flag, "-p")) {
            *(flag[1] == 'l' ? &o->log : &o->printOnly) = 1;
            ++i;
            continue;
        }
        if (i + 1 >= argc) return -1;
        const char* v = argv[i + 1];
        if (!strcmp(flag, "-w")) {
            o->relative = (Window)strtoul(v, NULL, 0);
        } else if (!strcmp(flag, "-c")) {
            const unsigned long rgb = strtoul(v, NULL, kHexBase);
            o->wanted.r = (int)(rgb >> (2 * kChannelBits)) & kChannelMask;
            o->wanted.g = (int)(rgb >> kChannelBits) & kChannelMask;
            o->wanted.b = (int)rgb & kChannelMask;
            o->haveWanted = 1;
        } else if (!strcmp(flag, "-t")) {
            o->tol = (int)strtol(v, NULL, kDecimalBase);
        } else if (!strcmp(flag, "-g")) {
            o->gapMs = (int)strtol(v, NULL, kDecimalBase);
        } else if (!strcmp(flag, "-T")) {
            o->timeoutMs = (int)strtol(v, NULL, kDecimalBase);
        } else if (!strcmp(flag, "-H")) {
            o->holdMs = (int)strtol(v, NULL, kDecimalBase);
        } else if (!strcmp(flag, "-i")) {
            o->intervalUs = (int)strtol(v, NULL, kDecimalBase);
        } else {
            return -1;
        }
        i += 2;
    }
    return i;
}

/* After the change: watches the pixel for holdMs more; 0 if it kept its colour. */
static int Hold(Display* dpy, Window root, int x, int y, Rgb seen, double start, const Options* o) {
    const double until = NowMs() + o->holdMs;
    while (NowMs() < until) {
        SleepUs(o->intervalUs);
        const Rgb now = ReadPixel(dpy, root, x, y);
        if (!Near(now, seen, o->tol)) {
            printf("changed %.1f %02x%02x%02x\n", NowMs() - start, now.r, now.g, now.b);
            return 1;
        }
    }
    return 0;
}

int main(int argc, char** argv) {
    Options o = {None, 0, {0, 0, 0}, kDefaultTolerance, kDefaultGapMs, kDefaultTimeoutMs, 0,
                 0,    0, 0};
    const int i = ParseOptions(argc, argv, &o);
    if (i < 0 || argc - i < (o.printOnly ? 2 : 3)) return Usage();
    int x = (int)strtol(argv[i], NULL, kDecimalBase);
    int y = (int)strtol(argv[i + 1], NULL, kDecimalBase);
    char** actions = argv + i + 2;
    const int count = argc - i - 2;

    Display* dpy = XOpenDisplay(NULL);
    if (!dpy) {
        fprintf(stderr, "xkeypixel: cannot open the display\n");
        return kExitUsage;
    }
    int evBase, errBase, major, minor;
    if (!XTestQueryExtension(dpy, &evBase, &errBase, &major, &minor)) {
        fprintf(stderr, "xkeypixel: the server has no XTest\n");
        return kExitUsage;
    }
    const Window root = DefaultRootWindow(dpy);
    int originX = 0, originY = 0;
    if (o.relative != None) {
        Window child;
        if (!XTranslateCoordinates(dpy, o.relative, root, 0, 0, &originX, &originY, &child)) {
            fprintf(stderr, "xkeypixel: window 0x%lx is not on this screen\n", o.relative);
            return kExitUsage;
        }
        x += originX;
        y += originY;
    }

    const Rgb before = ReadPixel(dpy, root, x, y);
    if (o.printOnly) {
        printf("%02x%02x%02x\n", before.r, before.g, before.b);
        XCloseDisplay(dpy);
        return 0;
    }
    double start = 0;
    for (int a = 0; a < count; ++a) {
        if (a > 0) SleepUs(o.gapMs * kUsPerMs);
        start = NowMs();
        if (!Send(dpy, actions[a], originX, originY)) {
            fprintf(stderr, "xkeypixel: unknown action %s\n", actions[a]);
            return kExitUsage;
        }
    }
    int status = 0;
    Rgb logged = ReadPixel(dpy, root, x, y);
    if (o.log)
        fprintf(stderr, "%.1f %02x%02x%02x\n", NowMs() - start, logged.r, logged.g, logged.b);
    for (;;) {
        SleepUs(o.intervalUs);
        const Rgb now = ReadPixel(dpy, root, x, y);
        const double elapsed = NowMs() - start;
        if (o.log && !Near(now, logged, o.tol)) {
            fprintf(stderr, "%.1f %02x%02x%02x\n", elapsed, now.r, now.g, now.b);
            logged = now;
        }
        const int done = o.haveWanted ? Near(now, o.wanted, o.tol) : !Near(now, before, o.tol);
        if (done) {
            printf("%.1f %02x%02x%02x\n", elapsed, now.r, now.g, now.b);
            if (o.holdMs > 0 && Hold(dpy, root, x, y, now, start, &o)) status = kExitChangedAgain;
            break;
        }
        if (elapsed > o.timeoutMs) {
            printf("timeout %02x%02x%02x\n", now.r, now.g, now.b);
            status = kExitTimeout;
            break;
        }
    }
    XCloseDisplay(dpy);
    return status;
}
