#include "x11/surfaces.h"

#include <algorithm>
#include <set>

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include "desktop/coordinates.h"
#include "render/surface_frame.h"
#include "x11/connection.h"

// X11 last: its macros clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace orvella::x11 {


X11Surface::X11Surface(X11Surfaces& factory, SurfaceKind kind, const Rect& frame, const std::string& title,
                     std::function<void(Canvas&)> draw)
    : factory_(factory), kind_(kind), frame_(frame), draw_(std::move(draw)) {
    window_ = std::make_unique<SurfaceWindow>(*this);
    window_->setTitle(QString::fromStdString(title));
    applyGeometry();
    window_->create();
    if (Display* dpy = x11Display()) {
        XClassHint hint;
        char name[] = "orvella";
        char cls[] = "Orvella";
        hint.res_name = name;
        hint.res_class = cls;
        XSetClassHint(dpy, static_cast<Window>(window_->winId()), &hint);
    }
    ignores_ = kind != SurfaceKind::fish;
    applyInputShape();
    factory_.track(this);
}

X11Surface::~X11Surface() {
    factory_.untrack(this);
    close();
}

unsigned long X11Surface::windowID() const { return window_ ? static_cast<unsigned long>(window_->winId()) : 0; }

void X11Surface::applyGeometry() {
    const QRect r = desktop::layoutRect(frame_);
    if (r == placed_) return;
    xcb_connection_t* connection = xcbConnection();
    if (connection && window_->handle()) {
        // Straight to the server: a plain move is one request (Qt's own path
        // also rewrites the size hints each time), and a window not yet shown
        // is mapped where it belongs rather than where it was made.
        const QRect n = desktop::toNativePixels(r);
        const uint32_t geometry[] = {static_cast<uint32_t>(n.x()), static_cast<uint32_t>(n.y()),
                                     static_cast<uint32_t>(n.width()), static_cast<uint32_t>(n.height())};
        xcb_configure_window(connection, static_cast<xcb_window_t>(window_->winId()),
                             XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                                 XCB_CONFIG_WINDOW_HEIGHT,
                             geometry);
        factory_.flushSoon();
    }
    // Qt keeps its own idea of the geometry for showing and sizing.
    if (!shown_ || r.size() != placed_.size()) window_->setGeometry(r);
    placed_ = r;
}

void X11Surface::setOrigin(Point origin) {
    if (closed_ || frame_.origin == origin) return;
    frame_.origin = origin;
    applyGeometry();
}

void X11Surface::setContentSize(Size size) {
    if (closed_ || frame_.size == size) return;
    frame_.size = size;
    applyGeometry();
    applyInputShape();
    // What was drawn no longer fits.
    setNeedsDisplay();
}

void X11Surface::setAlpha(double alpha) {
    if (alpha == alpha_) return;
    alpha_ = alpha;
    setNeedsDisplay();
}

void X11Surface::orderFront() {
    if (closed_) return;
    if (!shown_) {
        shown_ = true;
        // Qt maps the window where it believes it is.
        window_->setGeometry(placed_);
        window_->show();
        watchStructure(false);
        applyInputShape();  // mapping may reset nothing, but be sure
    }
    frontedAt_ = factory_.nextFront();
    factory_.raise(window_.get());
    factory_.raiseFrom(stackingRank(kind_) + 1);
}

void X11Surface::watchStructure(bool watch) {
    // The fish moves itself 30 to 60 times a second; the ConfigureNotify
    // each move would send back only tells Qt what this surface already
    // knows, through two threads. Exposure and input events stay. Qt still
    // needs the unmap and the next map to know the window is on screen
    // again: the events come back while it is hidden.
    if (structureWatched_ == watch) return;
    xcb_connection_t* c = xcbConnection();
    if (!c || !window_->handle()) return;
    const auto id = static_cast<xcb_window_t>(window_->winId());
    auto cookie = xcb_get_window_attributes(c, id);
    if (auto* reply = xcb_get_window_attributes_reply(c, cookie, nullptr)) {
        const uint32_t structure = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        const uint32_t mask = watch ? reply->your_event_mask | structure : reply->your_event_mask & ~structure;
        xcb_change_window_attributes(c, id, XCB_CW_EVENT_MASK, &mask);
        free(reply);
        structureWatched_ = watch;
    }
}

void X11Surface::raise() {
    if (!closed_ && shown_) factory_.raise(window_.get());
}

void X11Surface::orderOut() {
    if (closed_ || !shown_) return;
    shown_ = false;
    watchStructure(true);
    window_->hide();
}

bool X11Surface::isVisible() const { return !closed_ && shown_; }

void X11Surface::close() {
    if (closed_) return;
    closed_ = true;
    shown_ = false;
    draw_ = nullptr;
    mouse_ = nullptr;
    window_->hide();
    window_->destroy();
}

void X11Surface::setIgnoresMouseEvents(bool ignores) {
    if (ignores == ignores_) return;
    ignores_ = ignores;
    applyInputShape();
}

void X11Surface::setInteractiveRegion(const std::vector<Rect>& rects) {
    region_ = rects;
    applyInputShape();
}

void X11Surface::applyInputShape() {
    Display* dpy = x11Display();
    if (!dpy || closed_ || !window_->handle()) return;
    std::vector<XRectangle> xr;
    if (!ignores_) {
        // In the window's pixels.
        const double h = frame_.height(), k = window_->devicePixelRatio();
        for (const Rect& r : region_) {
            const double x0 = std::floor(k * r.minX()), y0 = std::floor(k * (h - r.maxY()));
            const double x1 = std::ceil(k * r.maxX()), y1 = std::ceil(k * (h - r.minY()));
            if (x1 <= x0 || y1 <= y0) continue;
            xr.push_back({static_cast<short>(x0), static_cast<short>(y0), static_cast<unsigned short>(x1 - x0),
                          static_cast<unsigned short>(y1 - y0)});
        }
    }
    XShapeCombineRectangles(dpy, static_cast<Window>(window_->winId()), ShapeInput, 0, 0, xr.data(),
                            static_cast<int>(xr.size()), ShapeSet, Unsorted);
    XFlush(dpy);
}

void X11Surface::setNeedsDisplay() {
    if (closed_ || !shown_) return;
    window_->markDirty(std::nullopt);
    factory_.requestRender(window_.get());
}

void X11Surface::setNeedsDisplayIn(const Rect& rect) {
    if (closed_ || !shown_) return;
    // Surface points are y up; the window's are y down.
    window_->markDirty(QRectF(rect.minX(), frame_.height() - rect.maxY(), rect.width(), rect.height()));
    factory_.requestRender(window_.get());
}

void X11Surface::setMouseHandler(std::function<void(const SurfaceMouseEvent&)> handler) { mouse_ = std::move(handler); }

X11Surfaces::X11Surfaces() {
    if (Display* dpy = x11Display()) {
        activeAtom_ = XInternAtom(dpy, "_NET_ACTIVE_WINDOW", False);
        stackingAtom_ = XInternAtom(dpy, "_NET_CLIENT_LIST_STACKING", False);
        XWindowAttributes attrs;
        XGetWindowAttributes(dpy, DefaultRootWindow(dpy), &attrs);
        XSelectInput(dpy, DefaultRootWindow(dpy), attrs.your_event_mask | PropertyChangeMask);
        qGuiApp->installNativeEventFilter(this);
        checkCompositor();
        // A compositor may start or stop at any time; asking is one round trip.
        compositorTimer_ = new QTimer(this);
        connect(compositorTimer_, &QTimer::timeout, this, &X11Surfaces::checkCompositor);
        compositorTimer_->start(2000);
    }
}

X11Surfaces::~X11Surfaces() {
    if (qGuiApp) qGuiApp->removeNativeEventFilter(this);
}

std::shared_ptr<Surface> X11Surfaces::createSurface(SurfaceKind kind, const Rect& contentRect, const std::string& title,
                                                   std::function<void(Canvas&)> draw) {
    return std::make_shared<X11Surface>(*this, kind, contentRect, title, std::move(draw));
}

std::vector<Rect> X11Surfaces::otherInteractiveWindowFrames() const {
    std::vector<Rect> frames;
    const QRectF primary = desktop::primaryGeometry();
    for (QWindow* w : QGuiApplication::topLevelWindows()) {
        if (!w->isVisible() || dynamic_cast<SurfaceWindow*>(w)) continue;
        if (w->flags().testFlag(Qt::WindowTransparentForInput)) continue;
        // A window another one embeds (the tray icon) knows its place only
        // relative to its embedder; mapping its origin gives the screen's.
        const QRect frame = w->frameGeometry().translated(w->mapToGlobal(QPoint(0, 0)) - w->geometry().topLeft());
        frames.push_back(desktop::toDesktop(QRectF(frame), primary));
    }
    return frames;
}

bool X11Surfaces::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    const uint8_t type = event->response_type & 0x7f;
    bool restack = false;
    if (type == XCB_PROPERTY_NOTIFY) {
        auto* p = reinterpret_cast<xcb_property_notify_event_t*>(event);
        restack = p->atom == activeAtom_ || p->atom == stackingAtom_;
    }
    // One of our menus or dialogs came or went, or focus moved: surfaces
    // are put beneath them (or on top) anew.
    if (type == XCB_MAP_NOTIFY || type == XCB_UNMAP_NOTIFY || type == XCB_FOCUS_IN || type == XCB_FOCUS_OUT)
        restack = true;
    if (restack) ceiling_.reset();
    if (restack && !raiseQueued_) {
        raiseQueued_ = true;
        QTimer::singleShot(0, this, [this] {
            raiseQueued_ = false;
            raiseFrom(0);
        });
    }
    return false;
}

void X11Surfaces::untrack(X11Surface* s) {
    live_.erase(s);
    std::erase(pending_, s->window());
}

void X11Surfaces::requestRender(SurfaceWindow* window) {
    if (std::find(pending_.begin(), pending_.end(), window) == pending_.end()) pending_.push_back(window);
    if (renderQueued_ || batchDepth_ > 0) return;
    renderQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            renderQueued_ = false;
            renderPending();
        },
        Qt::QueuedConnection);
}

void X11Surfaces::renderPending() {
    if (pending_.empty()) return;
    auto windows = std::move(pending_);
    pending_.clear();
    renderNow(windows);
}

void X11Surfaces::renderNow(const std::vector<SurfaceWindow*>& windows) {
    std::vector<SurfaceWindow*> ready;
    for (SurfaceWindow* w : windows)
        if (w->prepare()) ready.push_back(w);
    if (ready.empty()) return;
    // Frames the canvas draws alone (a quiet fish: its tail and kept plate)
    // are drawn right here; handing them to the render thread and back
    // would cost more than drawing them. Anything that needed the painter
    // last time goes to the render thread.
    const bool painter = std::any_of(ready.begin(), ready.end(), [](SurfaceWindow* w) { return w->drewWithPainter(); });
    auto draw = [&] {
        for (SurfaceWindow* w : ready) w->drawImage();
    };
    if (painter) renderThread_.run(draw);
    else draw();
    for (SurfaceWindow* w : ready) {
        w->updateBoundingShape(composited_);
        w->upload();
    }
    flushSoon();
}

void X11Surfaces::checkCompositor() {
    Display* dpy = x11Display();
    if (!dpy) return;
    char name[32];
    std::snprintf(name, sizeof name, "_NET_WM_CM_S%d", DefaultScreen(dpy));
    const bool composited = XGetSelectionOwner(dpy, XInternAtom(dpy, name, False)) != None;
    if (composited == composited_) return;
    composited_ = composited;
    // Everything is drawn again, shaped or whole.
    for (X11Surface* s : live_) s->setNeedsDisplay();
}

namespace {
void flushConnection() {
    if (Display* dpy = x11Display()) {
        XFlush(dpy);
        xcb_flush(xcbConnection());
    }
}
}  // namespace

void X11Surfaces::flushSoon() {
    // Moves and uploads of one turn of the event loop go out together.
    if (batchDepth_ > 0) {
        flushHeld_ = true;
        return;
    }
    if (flushQueued_) return;
    flushQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            flushQueued_ = false;
            flushConnection();
        },
        Qt::QueuedConnection);
}

void X11Surfaces::endBatch() {
    if (batchDepth_ == 0) return;
    if (batchDepth_ == 1) renderPending();
    if (--batchDepth_ > 0) return;
    if (flushHeld_) {
        flushHeld_ = false;
        flushConnection();
    }
    // Whatever asked for a redraw while the batch was drawn is not forgotten.
    if (!pending_.empty()) requestRender(pending_.back());
}

unsigned long X11Surfaces::ceiling() {
    if (ceiling_) return *ceiling_;
    ceiling_ = 0;
    Display* dpy = x11Display();
    if (!dpy) return 0;
    const Window root = DefaultRootWindow(dpy);
    // Our windows that surfaces must not cover, as children of the root:
    // popups are the root's own children; a managed window is inside its
    // frame, which is.
    std::set<Window> ours;
    for (QWindow* w : QGuiApplication::topLevelWindows()) {
        if (!w->isVisible() || !w->handle() || dynamic_cast<SurfaceWindow*>(w)) continue;
        const Qt::WindowType type = w->type();
        const bool popup = type == Qt::Popup || type == Qt::ToolTip || w->flags().testFlag(Qt::X11BypassWindowManagerHint);
        if (!popup && !w->isActive()) continue;
        Window window = static_cast<Window>(w->winId());
        for (int depth = 0; depth < 8; ++depth) {
            Window rootReturn = 0, parent = 0, *children = nullptr;
            unsigned int n = 0;
            if (!XQueryTree(dpy, window, &rootReturn, &parent, &children, &n)) break;
            if (children) XFree(children);
            if (parent == root || parent == 0) break;
            window = parent;
        }
        ours.insert(window);
    }
    if (ours.empty()) return 0;
    // The lowest of them in the stacking order (the root lists its children
    // bottom first).
    Window rootReturn = 0, parent = 0, *children = nullptr;
    unsigned int n = 0;
    if (XQueryTree(dpy, root, &rootReturn, &parent, &children, &n)) {
        for (unsigned int i = 0; i < n; ++i)
            if (ours.count(children[i])) {
                ceiling_ = children[i];
                break;
            }
        if (children) XFree(children);
    }
    return *ceiling_;
}

void X11Surfaces::raise(SurfaceWindow* window) {
    const unsigned long below = ceiling();
    xcb_connection_t* connection = xcbConnection();
    if (below == 0 || !connection || !window->handle()) {
        window->raise();
        return;
    }
    // Directly beneath the lowest of our own menus and dialogs: above every
    // window that is beneath them.
    const uint32_t values[] = {static_cast<uint32_t>(below), XCB_STACK_MODE_BELOW};
    xcb_configure_window(connection, static_cast<xcb_window_t>(window->winId()),
                         XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE, values);
    flushSoon();
}

void X11Surfaces::raiseFrom(int rank) {
    // Raised bottom first, in the order they keep: by kind, then by when
    // each was last ordered front.
    std::vector<X11Surface*> shown;
    for (X11Surface* s : live_)
        if (s->isVisible() && stackingRank(s->kind()) >= rank) shown.push_back(s);
    std::sort(shown.begin(), shown.end(), [](const X11Surface* a, const X11Surface* b) {
        const int ra = stackingRank(a->kind()), rb = stackingRank(b->kind());
        return ra != rb ? ra < rb : a->frontedAt() < b->frontedAt();
    });
    for (X11Surface* s : shown) s->raise();
}

}  // namespace orvella::x11
