#include "linux/x11_mouse.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMetaObject>
#include <xcb/xcb.h>

#include "linux/coordinates.h"
#include "linux/x11.h"

// X11 last: its macros clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

namespace orvella::linux_desktop {

X11Mouse::X11Mouse() {
    Display* dpy = x11Display();
    if (!dpy) return;
    int event = 0, error = 0, opcode = 0;
    if (!XQueryExtension(dpy, "XInputExtension", &opcode, &event, &error)) return;
    // Qt has usually announced XInput 2.2 or later on this connection
    // already; asking again for an older version would be refused.
    int major = 2, minor = 4;
    XIQueryVersion(dpy, &major, &minor);
    if (major < 2) return;
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {0};
    XISetMask(bits, XI_RawMotion);
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
    XISelectEvents(dpy, DefaultRootWindow(dpy), &mask, 1);
    XFlush(dpy);
    xiOpcode_ = opcode;
    last_ = mouseLocation();
    qGuiApp->installNativeEventFilter(this);
}

X11Mouse::~X11Mouse() {
    if (qGuiApp && xiOpcode_ >= 0) qGuiApp->removeNativeEventFilter(this);
}

int X11Mouse::addGlobalMonitor(std::function<void(const MouseEvent&)> handler) {
    global_.emplace(next_, std::move(handler));
    return next_++;
}

int X11Mouse::addLocalMonitor(std::function<void(const MouseEvent&)> handler) {
    local_.emplace(next_, std::move(handler));
    return next_++;
}

void X11Mouse::removeMonitor(int handle) {
    global_.erase(handle);
    local_.erase(handle);
}

Point X11Mouse::mouseLocation() const { return toDesktop(QPointF(QCursor::pos())); }

bool X11Mouse::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_GE_GENERIC) return false;
    auto* ge = reinterpret_cast<xcb_ge_generic_event_t*>(event);
    if (ge->extension != xiOpcode_ || ge->event_type != XI_RawMotion) return false;
    lastRaw_ = std::chrono::steady_clock::now();
    if (!sampleQueued_) {
        sampleQueued_ = true;
        QMetaObject::invokeMethod(this, [this] { sample(); }, Qt::QueuedConnection);
    }
    return false;
}

void X11Mouse::pollIfQuiet() {
    if (global_.empty() || sampleQueued_) return;
    if (std::chrono::steady_clock::now() - lastRaw_ < std::chrono::seconds(1)) return;
    if (++ticks_ % 6 != 0) return;
    sample();
}

void X11Mouse::sample() {
    sampleQueued_ = false;
    Display* dpy = x11Display();
    if (!dpy || global_.empty()) return;
    Window root, child;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned int state = 0;
    if (!XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, &rx, &ry, &wx, &wy, &state)) return;
    const qreal dpr = qGuiApp->primaryScreen() ? qGuiApp->primaryScreen()->devicePixelRatio() : 1.0;
    const Point p = toDesktop(QPointF(rx / dpr, ry / dpr));
    if (p == last_) return;
    last_ = p;
    MouseEvent e;
    e.type = MouseEvent::Type::mouseMoved;
    e.location = p;
    e.modifiers.command = state & Mod4Mask;
    e.modifiers.option = state & Mod1Mask;
    e.modifiers.control = state & ControlMask;
    e.modifiers.shift = state & ShiftMask;
    auto handlers = global_;
    for (auto& [id, fn] : handlers) fn(e);
}

}  // namespace orvella::linux_desktop
