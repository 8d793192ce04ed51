#include "x11/windows.h"

#include "x11/connection.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include <QGuiApplication>
#include <memory>

#include <xcb/xcb.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace orvella::x11 {

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

namespace {

// Read through xcb rather than Xlib: a window that closes while it is being
// read only gives an error reply here, never an error event or a fatal
// handler.

template <typename R>
using Reply = std::unique_ptr<R, decltype(&std::free)>;

xcb_atom_t internAtom(xcb_connection_t* c, const char* name) {
    Reply<xcb_intern_atom_reply_t> r(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr),
        &std::free);
    return r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

Reply<xcb_get_property_reply_t> property(xcb_connection_t* c, xcb_window_t w, xcb_atom_t name, xcb_atom_t type,
                                         uint32_t longs) {
    return {xcb_get_property_reply(c, xcb_get_property(c, 0, w, name, type, 0, longs), nullptr), &std::free};
}

std::vector<uint32_t> cardinals(xcb_connection_t* c, xcb_window_t w, xcb_atom_t name, xcb_atom_t type) {
    auto r = property(c, w, name, type, 16);
    if (!r || r->format != 32) return {};
    const auto* v = static_cast<const uint32_t*>(xcb_get_property_value(r.get()));
    return {v, v + xcb_get_property_value_length(r.get()) / 4};
}

std::string text(xcb_connection_t* c, xcb_window_t w, xcb_atom_t name, xcb_atom_t type) {
    auto r = property(c, w, name, type, 1024);
    if (!r || r->format != 8) return {};
    return {static_cast<const char*>(xcb_get_property_value(r.get())),
            static_cast<size_t>(xcb_get_property_value_length(r.get()))};
}

}  // namespace

std::optional<ActiveWindowFrame> activeWindowFrame() {
    xcb_connection_t* c = xcbConnection();
    if (!c) return std::nullopt;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const auto active = cardinals(c, root, internAtom(c, "_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW);
    if (active.empty() || active[0] == XCB_WINDOW_NONE) return std::nullopt;
    const xcb_window_t w = active[0];

    Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr), &std::free);
    if (!geometry) return std::nullopt;
    Reply<xcb_translate_coordinates_reply_t> at(
        xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, w, root, 0, 0), nullptr), &std::free);
    if (!at) return std::nullopt;

    ActiveWindowFrame frame;
    frame.window.id = w;
    // WM_CLASS: instance NUL class NUL.
    const std::string wmClass = text(c, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING);
    frame.window.instance = wmClass.substr(0, wmClass.find('\0'));
    if (const auto nul = wmClass.find('\0'); nul != std::string::npos) {
        std::string rest = wmClass.substr(nul + 1);
        frame.window.className = rest.substr(0, rest.find('\0'));
    }
    const auto pid = cardinals(c, w, internAtom(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL);
    if (!pid.empty()) frame.window.processID = static_cast<int>(pid[0]);
    frame.title = text(c, w, internAtom(c, "_NET_WM_NAME"), internAtom(c, "UTF8_STRING"));
    if (frame.title.empty()) frame.title = text(c, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING);

    // The frame the person sees: the client area grown by the decorations
    // the window manager reports (left, right, top, bottom).
    auto extents = cardinals(c, w, internAtom(c, "_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL);
    if (extents.size() < 4) extents.assign(4, 0);
    const int border = geometry->border_width;
    frame.x = at->dst_x - border - static_cast<int>(extents[0]);
    frame.y = at->dst_y - border - static_cast<int>(extents[2]);
    frame.width = geometry->width + 2 * border + static_cast<int>(extents[0] + extents[1]);
    frame.height = geometry->height + 2 * border + static_cast<int>(extents[2] + extents[3]);
    return frame;
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

}  // namespace orvella::x11
