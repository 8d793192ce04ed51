#include "x11/mouse.h"

#include <cstdlib>
#include <optional>
#include <set>

#include <QCursor>
#include <QGuiApplication>
#include <QMetaObject>
#include <QMouseEvent>
#include <QWindow>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include "desktop/coordinates.h"
#include "x11/connection.h"

// X11 last: its macros clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/extensions/XI2proto.h>
#include <X11/extensions/XInput2.h>

namespace orvella::x11 {

X11Mouse::X11Mouse(bool useXInput) {
    // Presses on our own windows come through Qt, XInput2 or not.
    if (qGuiApp) qGuiApp->installEventFilter(this);
    Display* dpy = x11Display();
    if (!dpy || !useXInput) return;
    int event = 0, error = 0, opcode = 0;
    if (!XQueryExtension(dpy, "XInputExtension", &opcode, &event, &error)) return;
    // Qt has usually announced XInput 2.2 or later on this connection
    // already; asking again for an older version would be refused.
    int major = 2, minor = 4;
    XIQueryVersion(dpy, &major, &minor);
    if (major < 2) return;
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {0};
    XISetMask(bits, XI_RawMotion);
    XISetMask(bits, XI_RawButtonPress);
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawKeyRelease);
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
    XISelectEvents(dpy, DefaultRootWindow(dpy), &mask, 1);
    XFlush(dpy);
    xiOpcode_ = opcode;
    last_ = mouseLocation();
    if (XModifierKeymap* map = XGetModifierMapping(dpy)) {
        for (int mod = 0; mod < 8; ++mod)
            for (int k = 0; k < map->max_keypermod; ++k)
                if (const int code = map->modifiermap[mod * map->max_keypermod + k]) modifierOfKey_[code] = mod;
        XFreeModifiermap(map);
        char keys[32] = {0};
        XQueryKeymap(dpy, keys);
        for (const auto& [code, mod] : modifierOfKey_)
            if (keys[code / 8] & (1 << (code % 8))) heldKeys_.insert(code);
        tracksKeys_ = true;
    }
    qGuiApp->installNativeEventFilter(this);
}

X11Mouse::~X11Mouse() {
    if (pendingQuery_)
        if (auto* c = xcbConnection()) xcb_discard_reply(c, *pendingQuery_);
    if (qGuiApp) {
        qGuiApp->removeEventFilter(this);
        if (xiOpcode_ >= 0) qGuiApp->removeNativeEventFilter(this);
    }
}

Point X11Mouse::mouseLocation() const {
    if (auto at = providerPointer()) return desktop::toDesktop(*at);
    return desktop::toDesktop(QPointF(QCursor::pos()));
}

void X11Mouse::providerPointerMoved(QPointF at) {
    MouseEvent e;
    e.type = MouseEvent::Type::mouseMoved;
    e.location = desktop::toDesktop(at);
    if (e.location == last_) return;
    last_ = e.location;
    deliverGlobal(e);
}

void X11Mouse::providerPressed(QPointF at, Modifiers modifiers) {
    MouseEvent e;
    e.type = MouseEvent::Type::leftMouseDown;
    e.location = desktop::toDesktop(at);
    e.modifiers = modifiers;
    last_ = e.location;
    deliverGlobal(e);
}

bool X11Mouse::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_GE_GENERIC) return false;
    auto* ge = reinterpret_cast<xcb_ge_generic_event_t*>(event);
    if (ge->extension != xiOpcode_) return false;
    if (ge->event_type == XI_RawKeyPress || ge->event_type == XI_RawKeyRelease) {
        const int code = static_cast<int>(reinterpret_cast<const xXIRawEvent*>(event)->detail);
        if (modifierOfKey_.count(code)) {
            if (ge->event_type == XI_RawKeyPress) heldKeys_.insert(code);
            else heldKeys_.erase(code);
        }
        return false;
    }
    if (ge->event_type == XI_RawButtonPress) {
        // The detail of a raw event is its button; only the left one counts.
        auto* raw = reinterpret_cast<const xXIRawEvent*>(event);
        if (raw->detail != 1) return false;
        // Where the press was and which keys were held are read at once, so
        // that a modifier released right after the click still counts.
        samplePress();
        return false;
    }
    if (ge->event_type != XI_RawMotion) return false;
    lastRaw_ = std::chrono::steady_clock::now();
    if (!sampleQueued_) {
        sampleQueued_ = true;
        QMetaObject::invokeMethod(this, [this] { sample(); }, Qt::QueuedConnection);
    }
    return false;
}

bool X11Mouse::eventFilter(QObject* watched, QEvent* event) {
    // A double click arrives as a press and then a double-click event for
    // the same press: only the press counts.
    if (event->type() != QEvent::MouseButtonPress) return false;
    if (!qobject_cast<QWindow*>(watched)) return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton) return false;
    MouseEvent e;
    e.type = MouseEvent::Type::leftMouseDown;
    e.location = desktop::toDesktop(mouse->globalPosition());
    const auto m = mouse->modifiers();
    e.modifiers = {m.testFlag(Qt::MetaModifier), m.testFlag(Qt::AltModifier), m.testFlag(Qt::ControlModifier),
                   m.testFlag(Qt::ShiftModifier)};
    deliverLocal(e);
    return false;  // the window still gets its press
}

namespace {

// The pointer now: where it is, the keys held and the child of the root
// window it is over. One round trip.
struct PointerState {
    MouseEvent event;
    Window child = 0;
};

std::optional<PointerState> queryPointer(MouseEvent::Type type) {
    Display* dpy = x11Display();
    if (!dpy) return std::nullopt;
    Window root, child;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned int state = 0;
    if (!XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, &rx, &ry, &wx, &wy, &state)) return std::nullopt;
    const qreal dpr = qGuiApp->primaryScreen() ? qGuiApp->primaryScreen()->devicePixelRatio() : 1.0;
    PointerState p;
    p.child = child;
    p.event.type = type;
    p.event.location = desktop::toDesktop(QPointF(rx / dpr, ry / dpr));
    p.event.modifiers.command = state & Mod4Mask;
    p.event.modifiers.option = state & Mod1Mask;
    p.event.modifiers.control = state & ControlMask;
    p.event.modifiers.shift = state & ShiftMask;
    return p;
}

// Whether a window of this application is under the pointer. The root's
// child under it is a window manager's frame when the window is managed, so
// the chain of windows under the pointer is followed down from there.
bool isOverOwnWindow(Window child) {
    Display* dpy = x11Display();
    if (!dpy || child == 0) return false;
    std::set<Window> own;
    for (QWindow* w : QGuiApplication::allWindows())
        if (w->handle()) own.insert(static_cast<Window>(w->winId()));
    Window window = child;
    // Frames nest a few levels at most; the bound guards against a tree
    // that changes under us.
    for (int depth = 0; window != 0 && depth < 8; ++depth) {
        if (own.count(window)) return true;
        Window root = 0, next = 0;
        int rx = 0, ry = 0, wx = 0, wy = 0;
        unsigned int state = 0;
        if (!XQueryPointer(dpy, window, &root, &next, &rx, &ry, &wx, &wy, &state)) return false;
        window = next;
    }
    return false;
}

}  // namespace

void X11Mouse::samplePress() {
    if (!hasGlobalMonitors()) return;
    auto pointer = queryPointer(MouseEvent::Type::leftMouseDown);
    if (!pointer) return;
    // A press on one of this application's windows is the local monitor's.
    if (isOverOwnWindow(pointer->child)) return;
    last_ = pointer->event.location;
    if (tracksKeys_) pointer->event.modifiers = heldModifiers();
    // Handled on a later turn of the event loop, as events of other
    // applications are.
    QMetaObject::invokeMethod(this, [this, e = pointer->event] { deliverGlobal(e); }, Qt::QueuedConnection);
}

Modifiers X11Mouse::heldModifiers() const {
    // X modifier indices: Shift 0, Lock 1, Control 2, Mod1 (Alt) 3, Mod4 (Super) 6.
    Modifiers m;
    for (int code : heldKeys_) {
        switch (modifierOfKey_.at(code)) {
            case 0: m.shift = true; break;
            case 2: m.control = true; break;
            case 3: m.option = true; break;
            case 6: m.command = true; break;
            default: break;
        }
    }
    return m;
}

bool X11Mouse::providerKnowsPointer() const { return providerPointer().has_value(); }

void X11Mouse::pollIfQuiet() {
    // Where the compositor reports the pointer, XWayland's own idea of it
    // (stale once the pointer leaves our windows) must not undo that.
    if (!hasGlobalMonitors() || sampleQueued_ || providerKnowsPointer()) return;
    if (std::chrono::steady_clock::now() - lastRaw_ < std::chrono::seconds(1)) return;
    if (++ticks_ % 6 != 0) return;
    xcb_connection_t* c = xcbConnection();
    Display* dpy = x11Display();
    if (!c || !dpy) return;
    if (pendingQuery_) {
        xcb_query_pointer_reply_t* reply = nullptr;
        xcb_generic_error_t* error = nullptr;
        // Not answered yet (a busy server): ask again only once it is.
        if (!xcb_poll_for_reply(c, *pendingQuery_, reinterpret_cast<void**>(&reply), &error)) return;
        pendingQuery_.reset();
        std::free(error);
        if (reply) {
            const qreal dpr = qGuiApp->primaryScreen() ? qGuiApp->primaryScreen()->devicePixelRatio() : 1.0;
            MouseEvent e;
            e.type = MouseEvent::Type::mouseMoved;
            e.location = desktop::toDesktop(QPointF(reply->root_x / dpr, reply->root_y / dpr));
            e.modifiers.command = reply->mask & XCB_MOD_MASK_4;
            e.modifiers.option = reply->mask & XCB_MOD_MASK_1;
            e.modifiers.control = reply->mask & XCB_MOD_MASK_CONTROL;
            e.modifiers.shift = reply->mask & XCB_MOD_MASK_SHIFT;
            std::free(reply);
            if (e.location != last_) {
                last_ = e.location;
                deliverGlobal(e);
                return;
            }
        }
    }
    pendingQuery_ = xcb_query_pointer(c, static_cast<xcb_window_t>(DefaultRootWindow(dpy))).sequence;
    xcb_flush(c);
}

void X11Mouse::sample() {
    sampleQueued_ = false;
    if (!hasGlobalMonitors() || providerKnowsPointer()) return;
    auto pointer = queryPointer(MouseEvent::Type::mouseMoved);
    if (!pointer || pointer->event.location == last_) return;
    last_ = pointer->event.location;
    deliverGlobal(pointer->event);
}

}  // namespace orvella::x11
