// Test windows for the end-to-end tests. Runs until killed.
//   orvella-test-panel bottom|top HEIGHT   a dock with a strut along that edge
//   orvella-test-panel window CLASS        a screen-sized window with that WM_CLASS
//                                          that prints "press X Y" for each click

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
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

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s bottom|top HEIGHT | window CLASS\n", argv[0]);
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
