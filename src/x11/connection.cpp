#include "x11/connection.h"

#include <QGuiApplication>
#include <QWindow>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace orvella::x11 {

namespace {
// Asking Qt for its native interface casts and compares names each time,
// and every moving fish asks on every step: the answer is kept for as long
// as the application it came from.
struct Native {
    const QGuiApplication* app = nullptr;
    Display* display = nullptr;
    xcb_connection_t* connection = nullptr;
};
const Native& native() {
    static Native kept;
    if (kept.app != qGuiApp) {
        kept = Native{qGuiApp};
        if (auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
            kept.display = x11->display();
            kept.connection = x11->connection();
        }
    }
    return kept;
}
}  // namespace

Display* x11Display() { return native().display; }

xcb_connection_t* xcbConnection() { return native().connection; }

bool canOpenDisplay() {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const bool ok = c && !xcb_connection_has_error(c);
    if (c) xcb_disconnect(c);
    return ok;
}

void requestBlurBehind(QWindow* window) {
    xcb_connection_t* c = xcbConnection();
    if (!c || !window) return;
    // An empty region means all of the window.
    const char* name = "_KDE_NET_WM_BLUR_BEHIND_REGION";
    auto cookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name);
    if (auto* reply = xcb_intern_atom_reply(c, cookie, nullptr)) {
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window->winId()), reply->atom,
                            XCB_ATOM_CARDINAL, 32, 0, nullptr);
        std::free(reply);
    }
}

}  // namespace orvella::x11
