#include "linux/x11_windows.h"

#include "linux/x11.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace orvella::linux_desktop {

namespace {

std::vector<unsigned long> windowList(Display* dpy, Window w, const char* name, Atom type) {
    Atom actual = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> out;
    if (XGetWindowProperty(dpy, w, XInternAtom(dpy, name, False), 0, 4096, False, type, &actual, &format, &count,
                           &after, &data) == Success &&
        data && format == 32) {
        auto* values = reinterpret_cast<unsigned long*>(data);
        out.assign(values, values + count);
    }
    if (data) XFree(data);
    return out;
}

ClientWindow describe(Display* dpy, Window w) {
    ClientWindow c;
    c.id = w;
    XClassHint hint{};
    if (XGetClassHint(dpy, w, &hint)) {
        if (hint.res_name) c.instance = hint.res_name;
        if (hint.res_class) c.className = hint.res_class;
        XFree(hint.res_name);
        XFree(hint.res_class);
    }
    auto pid = windowList(dpy, w, "_NET_WM_PID", XA_CARDINAL);
    if (!pid.empty()) c.processID = static_cast<int>(pid[0]);
    return c;
}

}  // namespace

std::vector<ClientWindow> clientWindows() {
    Display* dpy = x11Display();
    if (!dpy) return {};
    auto ids = windowList(dpy, DefaultRootWindow(dpy), "_NET_CLIENT_LIST_STACKING", XA_WINDOW);
    if (ids.empty()) ids = windowList(dpy, DefaultRootWindow(dpy), "_NET_CLIENT_LIST", XA_WINDOW);
    std::vector<ClientWindow> out;
    for (auto id : ids) out.push_back(describe(dpy, id));
    return out;
}

std::optional<ClientWindow> activeWindow() {
    Display* dpy = x11Display();
    if (!dpy) return std::nullopt;
    auto ids = windowList(dpy, DefaultRootWindow(dpy), "_NET_ACTIVE_WINDOW", XA_WINDOW);
    if (ids.empty() || ids[0] == 0) return std::nullopt;
    return describe(dpy, ids[0]);
}

void activateWindow(unsigned long id) {
    Display* dpy = x11Display();
    if (!dpy) return;
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = id;
    e.xclient.message_type = XInternAtom(dpy, "_NET_ACTIVE_WINDOW", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = 2;  // from a pager-like tool: honoured without focus-stealing checks
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, DefaultRootWindow(dpy), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XFlush(dpy);
}

}  // namespace orvella::linux_desktop
