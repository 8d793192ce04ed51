#include "x11/displays.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include "desktop/coordinates.h"
#include "x11/connection.h"

// X11 last: its macros clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

namespace orvella::x11 {

namespace {

// The RandR output behind a monitor with this geometry, where there is one.
// Monitors made with `xrandr --setmonitor ... none` have no output and fall
// back to an identifier made from their frame.
std::optional<std::uint32_t> outputNumber(const QRect& geometry) {
    Display* dpy = x11Display();
    if (!dpy) return std::nullopt;
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(dpy, DefaultRootWindow(dpy), True, &count);
    if (!monitors) return std::nullopt;
    std::optional<std::uint32_t> number;
    for (int i = 0; i < count; ++i) {
        const XRRMonitorInfo& m = monitors[i];
        if (m.x == geometry.x() && m.y == geometry.y() && m.width == geometry.width() &&
            m.height == geometry.height() && m.noutput > 0) {
            number = static_cast<std::uint32_t>(m.outputs[0]);
            break;
        }
    }
    XRRFreeMonitors(monitors);
    return number;
}

DisplayInfo describe(const QScreen* screen, const QRectF& primary) {
    return {desktop::toDesktop(QRectF(screen->geometry()), primary), desktop::toDesktop(QRectF(screen->availableGeometry()), primary),
            outputNumber(screen->geometry())};
}

}  // namespace

X11Displays::X11Displays() {
    for (QScreen* s : QGuiApplication::screens()) watch(s);
    connect(qGuiApp, &QGuiApplication::screenAdded, this, [this](QScreen* s) {
        watch(s);
        changed();
    });
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, [this](QScreen*) { changed(); });
    connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, [this](QScreen*) { changed(); });
}

void X11Displays::watch(QScreen* screen) {
    connect(screen, &QScreen::geometryChanged, this, [this] { changed(); });
    connect(screen, &QScreen::availableGeometryChanged, this, [this] { changed(); });
}

void X11Displays::changed() {
    stale_ = true;
    if (notifyQueued_) return;
    notifyQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        notifyQueued_ = false;
        observers_.deliver();
    });
}

void X11Displays::refresh() const {
    if (!stale_) return;
    stale_ = false;
    cache_.clear();
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary) return;
    const QRectF primaryRect(primary->geometry());
    cache_.push_back(describe(primary, primaryRect));
    for (const QScreen* s : QGuiApplication::screens())
        if (s != primary) cache_.push_back(describe(s, primaryRect));
}

std::vector<DisplayInfo> X11Displays::screens() const {
    refresh();
    return cache_;
}

std::optional<DisplayInfo> X11Displays::mainScreen() const {
    refresh();
    if (cache_.empty()) return std::nullopt;
    return cache_.front();
}

int X11Displays::addChangeObserver(std::function<void()> observer) { return observers_.add(std::move(observer)); }

void X11Displays::removeChangeObserver(int id) { observers_.remove(id); }

}  // namespace orvella::x11
