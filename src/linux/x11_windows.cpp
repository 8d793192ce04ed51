#include "linux/x11_windows.h"

#include "linux/x11.h"

#include <unistd.h>

#include <ctime>

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

std::string announceLaunch(const std::string& name, const std::string& binary) {
    Display* dpy = x11Display();
    if (!dpy) return {};
    static unsigned counter = 0;
    const std::string id = "orvella-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) + "_TIME" +
                           std::to_string(static_cast<unsigned long>(std::time(nullptr)));
    auto quoted = [](const std::string& v) {
        std::string out = "\"";
        for (char c : v) {
            if (c == '"' || c == '\\') out += '\\';
            out += c;
        }
        return out + "\"";
    };
    const std::string message = "new: ID=" + quoted(id) + " NAME=" + quoted(name) + " BIN=" + quoted(binary) +
                                " SCREEN=" + std::to_string(DefaultScreen(dpy));
    // The message goes out in 20-byte pieces, the last one ending in NUL.
    Atom begin = XInternAtom(dpy, "_NET_STARTUP_INFO_BEGIN", False);
    Atom more = XInternAtom(dpy, "_NET_STARTUP_INFO", False);
    XSetWindowAttributes attrs{};
    attrs.override_redirect = True;
    Window sender = XCreateWindow(dpy, DefaultRootWindow(dpy), -100, -100, 1, 1, 0, CopyFromParent, InputOnly,
                                  CopyFromParent, CWOverrideRedirect, &attrs);
    const std::string data = message + '\0';
    for (size_t at = 0; at < data.size(); at += 20) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = sender;
        e.xclient.message_type = at == 0 ? begin : more;
        e.xclient.format = 8;
        for (size_t i = 0; i < 20 && at + i < data.size(); ++i) e.xclient.data.b[i] = data[at + i];
        XSendEvent(dpy, DefaultRootWindow(dpy), False, PropertyChangeMask, &e);
    }
    XDestroyWindow(dpy, sender);
    XFlush(dpy);
    return id;
}

}  // namespace orvella::linux_desktop
