// Test windows for the end-to-end tests. Runs until killed.
//   orvella-test-panel bottom|top HEIGHT   a dock with a strut along that edge
//   orvella-test-panel window CLASS        a screen-sized window with that WM_CLASS
//                                          that prints "press X Y" for each click
//   orvella-test-panel firstmap PREFIX     prints "ready", then the milliseconds
//                                          from then to the first window mapped
//                                          whose name starts with PREFIX, and exits
//   orvella-test-panel tray                a system tray (XEmbed) at the top right
//                                          that prints "icon X Y" (its centre) for
//                                          each icon it docks

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unistd.h>

static int window(const char* cls) {
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) return 1;
    const int screen = DefaultScreen(dpy);
    Window w = XCreateSimpleWindow(dpy, RootWindow(dpy, screen), 0, 0, static_cast<unsigned>(DisplayWidth(dpy, screen)),
                                   static_cast<unsigned>(DisplayHeight(dpy, screen)), 0, 0, 0x405060);
    XClassHint hint;
    hint.res_name = const_cast<char*>(cls);
    hint.res_class = const_cast<char*>(cls);
    XSetClassHint(dpy, w, &hint);
    XStoreName(dpy, w, cls);
    XSelectInput(dpy, w, ButtonPressMask);
    XMapWindow(dpy, w);
    XFlush(dpy);
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        XEvent e;
        XNextEvent(dpy, &e);
        if (e.type == ButtonPress) {
            std::printf("press %d %d\n", e.xbutton.x_root, e.xbutton.y_root);
            std::fflush(stdout);
        }
    }
}

// A minimal system tray host: owns the tray selection, announces itself and
// embeds every icon that asks to dock, side by side in a 24-point strip.
static int tray() {
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) return 1;
    const int screen = DefaultScreen(dpy);
    const Window root = RootWindow(dpy, screen);
    const int width = 160, height = 28;
    const int x0 = DisplayWidth(dpy, screen) - width;
    Window panel = XCreateSimpleWindow(dpy, root, x0, 0, width, height, 0, 0, 0x2a3038);
    Atom type = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE", False);
    Atom dock = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE_DOCK", False);
    XChangeProperty(dpy, panel, type, XA_ATOM, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&dock), 1);
    long orientation = 0;  // horizontal
    XChangeProperty(dpy, panel, XInternAtom(dpy, "_NET_SYSTEM_TRAY_ORIENTATION", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<unsigned char*>(&orientation), 1);
    XStoreName(dpy, panel, "orvella-test-tray");
    // Where we ask, not where the window manager would place it.
    XSizeHints hints{};
    hints.flags = USPosition | PPosition | USSize | PMinSize | PMaxSize;
    hints.x = x0;
    hints.y = 0;
    hints.width = hints.min_width = hints.max_width = width;
    hints.height = hints.min_height = hints.max_height = height;
    XSetWMNormalHints(dpy, panel, &hints);
    XSelectInput(dpy, panel, SubstructureNotifyMask);
    XMapWindow(dpy, panel);

    char name[64];
    std::snprintf(name, sizeof name, "_NET_SYSTEM_TRAY_S%d", screen);
    const Atom selection = XInternAtom(dpy, name, False);
    XSetSelectionOwner(dpy, selection, panel, CurrentTime);
    if (XGetSelectionOwner(dpy, selection) != panel) return 1;
    XEvent announce{};
    announce.xclient.type = ClientMessage;
    announce.xclient.window = root;
    announce.xclient.message_type = XInternAtom(dpy, "MANAGER", False);
    announce.xclient.format = 32;
    announce.xclient.data.l[0] = CurrentTime;
    announce.xclient.data.l[1] = static_cast<long>(selection);
    announce.xclient.data.l[2] = static_cast<long>(panel);
    XSendEvent(dpy, root, False, StructureNotifyMask, &announce);
    XFlush(dpy);
    std::printf("ready\n");
    std::fflush(stdout);

    const Atom opcode = XInternAtom(dpy, "_NET_SYSTEM_TRAY_OPCODE", False);
    const Atom xembed = XInternAtom(dpy, "_XEMBED", False);
    int docked = 0;
    for (;;) {
        XEvent e;
        XNextEvent(dpy, &e);
        if (e.type != ClientMessage || e.xclient.message_type != opcode || e.xclient.data.l[1] != 0) continue;
        const auto icon = static_cast<Window>(e.xclient.data.l[2]);
        const int x = 4 + docked * 26;
        XReparentWindow(dpy, icon, panel, x, 2);
        XResizeWindow(dpy, icon, 24, 24);
        XEvent notify{};
        notify.xclient.type = ClientMessage;
        notify.xclient.window = icon;
        notify.xclient.message_type = xembed;
        notify.xclient.format = 32;
        notify.xclient.data.l[0] = CurrentTime;
        notify.xclient.data.l[1] = 0;  // XEMBED_EMBEDDED_NOTIFY
        notify.xclient.data.l[3] = static_cast<long>(panel);
        notify.xclient.data.l[4] = 0;
        XSendEvent(dpy, icon, False, NoEventMask, &notify);
        XMapRaised(dpy, icon);
        XSync(dpy, False);
        ++docked;
        int rx = 0, ry = 0;
        Window child;
        XTranslateCoordinates(dpy, icon, root, 12, 12, &rx, &ry, &child);
        std::printf("icon %d %d\n", rx, ry);
        std::fflush(stdout);
    }
}

static int firstMap(const char* prefix) {
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) return 1;
    XSelectInput(dpy, DefaultRootWindow(dpy), SubstructureNotifyMask);
    XSync(dpy, False);
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        XEvent e;
        XNextEvent(dpy, &e);
        if (e.type != MapNotify) continue;
        char* name = nullptr;
        if (XFetchName(dpy, e.xmap.window, &name) && name) {
            const bool match = std::strncmp(name, prefix, std::strlen(prefix)) == 0;
            XFree(name);
            if (!match) continue;
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            const double ms = (now.tv_sec - start.tv_sec) * 1e3 + (now.tv_nsec - start.tv_nsec) / 1e6;
            std::printf("%.1f\n", ms);
            return 0;
        }
    }
}

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "tray") == 0) return tray();
    if (argc == 3 && std::strcmp(argv[1], "firstmap") == 0) return firstMap(argv[2]);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s bottom|top HEIGHT | window CLASS | tray\n", argv[0]);
        return 2;
    }
    if (std::strcmp(argv[1], "window") == 0) return window(argv[2]);
    const bool bottom = std::strcmp(argv[1], "bottom") == 0;
    const int height = std::atoi(argv[2]);
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) return 1;
    const int screen = DefaultScreen(dpy);
    const int width = DisplayWidth(dpy, screen);
    const int y = bottom ? DisplayHeight(dpy, screen) - height : 0;
    Window w = XCreateSimpleWindow(dpy, RootWindow(dpy, screen), 0, y, static_cast<unsigned>(width),
                                   static_cast<unsigned>(height), 0, 0, 0x303840);
    Atom type = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE", False);
    Atom dock = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE_DOCK", False);
    XChangeProperty(dpy, w, type, XA_ATOM, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&dock), 1);
    long strut[12] = {0};
    if (bottom) {
        strut[3] = height;
        strut[10] = 0;
        strut[11] = width - 1;
    } else {
        strut[2] = height;
        strut[8] = 0;
        strut[9] = width - 1;
    }
    XChangeProperty(dpy, w, XInternAtom(dpy, "_NET_WM_STRUT_PARTIAL", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(strut), 12);
    XChangeProperty(dpy, w, XInternAtom(dpy, "_NET_WM_STRUT", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(strut), 4);
    XStoreName(dpy, w, "orvella-test-panel");
    XMapWindow(dpy, w);
    XFlush(dpy);
    for (;;) pause();
}
