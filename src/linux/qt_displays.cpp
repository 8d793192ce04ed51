#include "linux/qt_displays.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include "linux/coordinates.h"
#include "linux/x11.h"

// X11 last: its macros clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

namespace orvella::linux_desktop {

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
    return {toDesktop(QRectF(screen->geometry()), primary), toDesktop(QRectF(screen->availableGeometry()), primary),
            outputNumber(screen->geometry())};
}

}  // namespace

QtDisplays::QtDisplays() {
    for (QScreen* s : QGuiApplication::screens()) watch(s);
    connect(qGuiApp, &QGuiApplication::screenAdded, this, [this](QScreen* s) {
        watch(s);
        changed();
    });
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, [this](QScreen*) { changed(); });
    connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, [this](QScreen*) { changed(); });
}

void QtDisplays::watch(QScreen* screen) {
    connect(screen, &QScreen::geometryChanged, this, [this] { changed(); });
    connect(screen, &QScreen::availableGeometryChanged, this, [this] { changed(); });
}

void QtDisplays::changed() {
    stale_ = true;
    if (notifyQueued_) return;
    notifyQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        notifyQueued_ = false;
        auto observers = observers_;
        for (auto& [id, fn] : observers) fn();
    });
}

void QtDisplays::refresh() const {
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

std::vector<DisplayInfo> QtDisplays::screens() const {
    refresh();
    return cache_;
}

std::optional<DisplayInfo> QtDisplays::mainScreen() const {
    refresh();
    if (cache_.empty()) return std::nullopt;
    return cache_.front();
}

int QtDisplays::addChangeObserver(std::function<void()> observer) {
    observers_.emplace(next_, std::move(observer));
    return next_++;
}

void QtDisplays::removeChangeObserver(int id) { observers_.erase(id); }

}  // namespace orvella::linux_desktop
