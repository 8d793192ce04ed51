#include "linux/qt_surfaces.h"

#include <algorithm>
#include <set>

#include <QGuiApplication>
#include <QMouseEvent>
#include <QStyleHints>
#include <QPainter>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include "linux/coordinates.h"
#include "linux/qt_canvas.h"
#include "linux/x11.h"

// X11 last: its macros clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace orvella::linux_desktop {

namespace {

Modifiers modifiersOf(Qt::KeyboardModifiers m) {
    Modifiers out;
    out.command = m.testFlag(Qt::MetaModifier);
    out.option = m.testFlag(Qt::AltModifier);
    out.control = m.testFlag(Qt::ControlModifier);
    out.shift = m.testFlag(Qt::ShiftModifier);
    return out;
}

}  // namespace

SurfaceWindow::SurfaceWindow(QtSurface& owner) : owner_(owner) {
    setSurfaceType(QSurface::RasterSurface);
    setFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool | Qt::X11BypassWindowManagerHint |
             Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint);
    QSurfaceFormat format = this->format();
    format.setAlphaBufferSize(8);
    setFormat(format);
}

SurfaceWindow::~SurfaceWindow() {
    painter_.reset();
    releaseShared();
    if (gc_ != 0 && qGuiApp)
        if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>())
            xcb_free_gc(x11->connection(), gc_);
}

void SurfaceWindow::exposeEvent(QExposeEvent*) {
    if (!isExposed()) return;
    markDirty(std::nullopt);
    owner_.factory_.renderNow({this});
}

void SurfaceWindow::markDirty(std::optional<QRectF> area) {
    const qreal dpr = devicePixelRatio();
    const QRect all(QPoint(0, 0), owner_.placed_.size() * dpr);
    const QRect part = area ? QRectF(area->topLeft() * dpr, area->size() * dpr).toAlignedRect() & all : all;
    dirty_ = dirty_.isEmpty() ? part : (dirty_ | part);
}

// The window's image in memory shared with the X server: an upload is then
// one small request instead of the pixels themselves.
struct SurfaceWindow::Shared {
    uint32_t segment = 0;
    uchar* address = nullptr;
};

void SurfaceWindow::releaseShared() {
    if (!shared_) return;
    painter_.reset();
    image_ = QImage();
    if (qGuiApp)
        if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
            xcb_shm_detach(x11->connection(), shared_->segment);
            xcb_flush(x11->connection());
        }
    // The segment was marked for removal when made: it goes once the server
    // has let go of it too.
    if (shared_->address) shmdt(shared_->address);
    shared_.reset();
}

namespace {
bool serverHasShm(xcb_connection_t* c) {
    const auto* ext = xcb_get_extension_data(c, &xcb_shm_id);
    return ext && ext->present;
}
}  // namespace

bool SurfaceWindow::prepare() {
    if (!isExposed() || owner_.closed_) return false;
    const qreal dpr = devicePixelRatio();
    // The size the window was last given, which Qt may not have heard of yet:
    // a pill that grows is drawn at its new width straight away.
    const QSize pixels = owner_.placed_.size() * dpr;
    if (image_.size() != pixels) dirty_ = QRect(QPoint(0, 0), pixels);
    drawing_ = dirty_ & QRect(QPoint(0, 0), pixels);
    dirty_ = QRect();
    if (drawing_.isEmpty()) return false;
    if (image_.size() == pixels) return true;
    painter_.reset();
    releaseShared();
    image_ = QImage();
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (c && !sharedFailed_ && serverHasShm(c)) {
        const size_t bytes = static_cast<size_t>(pixels.width()) * 4 * static_cast<size_t>(pixels.height());
        const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (id >= 0) {
            void* address = shmat(id, nullptr, 0);
            if (address != reinterpret_cast<void*>(-1)) {
                const uint32_t segment = xcb_generate_id(c);
                // Checked once per size: a server on another machine cannot
                // reach our memory and refuses.
                xcb_generic_error_t* error =
                    xcb_request_check(c, xcb_shm_attach_checked(c, segment, static_cast<uint32_t>(id), 0));
                shmctl(id, IPC_RMID, nullptr);
                if (!error) {
                    shared_ = std::make_unique<Shared>(Shared{segment, static_cast<uchar*>(address)});
                    image_ = QImage(shared_->address, pixels.width(), pixels.height(), pixels.width() * 4,
                                    QImage::Format_ARGB32_Premultiplied);
                } else {
                    std::free(error);
                    shmdt(address);
                }
            } else {
                shmctl(id, IPC_RMID, nullptr);
            }
        }
        if (!shared_) sharedFailed_ = true;
    }
    if (image_.isNull()) image_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    image_.setDevicePixelRatio(dpr);
    return true;
}

void SurfaceWindow::drawImage() {
    // Only the changed area is cleared and drawn: overlays are as large as
    // their display.
    const qreal dpr = image_.devicePixelRatio();
    const QRectF area(drawing_.x() / dpr, drawing_.y() / dpr, drawing_.width() / dpr, drawing_.height() / dpr);
    // Cleared by hand: the painter would blend transparent spans.
    const int x0 = std::max(drawing_.left(), 0), x1 = std::min(drawing_.right() + 1, image_.width());
    uchar* bits = image_.bits();
    const qsizetype bpl = image_.bytesPerLine();
    for (int y = std::max(drawing_.top(), 0); y <= std::min(drawing_.bottom(), image_.height() - 1); ++y)
        std::memset(bits + y * bpl + 4 * x0, 0, static_cast<size_t>(4 * std::max(x1 - x0, 0)));
    drewWithPainter_ = false;
    if (!owner_.draw_) return;
    if (!painter_) painter_ = std::make_unique<QPainter>(&image_);
    QPainter& painter = *painter_;
    // The canvas sets transform, opacity and hints itself; only the clip is
    // left to undo.
    const bool clipped = drawing_.size() != image_.size();
    if (clipped) {
        painter.resetTransform();
        painter.setClipRect(area);
    }
    double fade = 1;
    {
        // The frame is drawn at full strength and faded once, as a whole:
        // an opaque icon then hides the tail beneath it.
        QtCanvas canvas(painter, owner_.placed_.height(), 1.0);
        if (clipped) canvas.setDeviceClip(drawing_);
        canvas.setPainterUseFlag(&drewWithPainter_);
        owner_.draw_(canvas);
        fade = owner_.alpha_ * canvas.frameAlpha();
    }
    if (clipped) painter.setClipping(false);
    // Without a compositor nothing can be translucent: the frame stays at
    // full strength and the shape cuts the window out.
    if (owner_.factory_.isComposited() && fade < 1) fadeDrawnArea(std::clamp(fade, 0.0, 1.0));
}

void SurfaceWindow::fadeDrawnArea(double fade) { fadePremultiplied(image_, drawing_, fade); }

void SurfaceWindow::updateBoundingShape(bool composited) {
    Display* dpy = x11Display();
    if (!dpy || !handle()) return;
    const auto window = static_cast<::Window>(winId());
    if (composited) {
        if (shaped_) {
            XShapeCombineMask(dpy, window, ShapeBounding, 0, 0, None, ShapeSet);
            shaped_ = false;
            rowRuns_.clear();
        }
        return;
    }
    const int h = image_.height(), w = image_.width();
    QRect rows = drawing_;
    if (static_cast<int>(rowRuns_.size()) != h) {
        rowRuns_.assign(static_cast<size_t>(h), {});
        rows = QRect(0, 0, w, h);
    }
    // A one-bit shape keeps a faint tail in view the way classic X toys
    // did: its coverage is dithered (an ordered 4 x 4 Bayer pattern), so a
    // quarter-covered pixel is in at a quarter of the places, and a pixel
    // that is in shows its colour at full strength, not darkened by the
    // coverage it was drawn with.
    static constexpr int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    uchar* bits = image_.bits();
    const qsizetype bpl = image_.bytesPerLine();
    for (int y = std::max(rows.top(), 0); y <= std::min(rows.bottom(), h - 1); ++y) {
        auto& runs = rowRuns_[static_cast<size_t>(y)];
        runs.clear();
        auto* line = reinterpret_cast<QRgb*>(bits + y * bpl);
        int start = -1;
        for (int x = 0; x <= w; ++x) {
            bool in = false;
            if (x < w) {
                const int a = qAlpha(line[x]);
                // In when a * 16 > (threshold + 0.5) * 255.
                in = a * 32 > (2 * bayer[y & 3][x & 3] + 1) * 255;
                if (in && a < 255) {
                    const QRgb p = line[x];
                    line[x] = qRgba(qRed(p) * 255 / a, qGreen(p) * 255 / a, qBlue(p) * 255 / a, 255);
                }
            }
            if (in && start < 0) start = x;
            if (!in && start >= 0) {
                runs.emplace_back(static_cast<short>(start), static_cast<unsigned short>(x - start));
                start = -1;
            }
        }
    }
    // Rows with the same runs become one taller rectangle each.
    std::vector<XRectangle> rects;
    for (int y = 0; y < h;) {
        int next = y + 1;
        while (next < h && rowRuns_[static_cast<size_t>(next)] == rowRuns_[static_cast<size_t>(y)]) ++next;
        for (const auto& [x, width] : rowRuns_[static_cast<size_t>(y)])
            rects.push_back({x, static_cast<short>(y), width, static_cast<unsigned short>(next - y)});
        y = next;
    }
    XShapeCombineRectangles(dpy, window, ShapeBounding, 0, 0, rects.data(), static_cast<int>(rects.size()), ShapeSet,
                            Unsorted);
    shaped_ = true;
}

void SurfaceWindow::upload() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !handle()) return;
    const QRect r = drawing_;
    xcb_connection_t* c = x11->connection();
    const auto window = static_cast<xcb_window_t>(winId());
    if (gc_ == 0) {
        gc_ = xcb_generate_id(c);
        xcb_create_gc(c, gc_, window, 0, nullptr);
    }
    // 32-bit premultiplied ARGB in the server's byte order is what a
    // compositor expects of a window with an alpha visual.
    if (shared_) {
        xcb_shm_put_image(c, window, gc_, static_cast<uint16_t>(image_.width()), static_cast<uint16_t>(image_.height()),
                          static_cast<uint16_t>(r.x()), static_cast<uint16_t>(r.y()), static_cast<uint16_t>(r.width()),
                          static_cast<uint16_t>(r.height()), static_cast<int16_t>(r.x()), static_cast<int16_t>(r.y()), 32,
                          XCB_IMAGE_FORMAT_Z_PIXMAP, 0, shared_->segment, 0);
        return;
    }
    // Whole rows of the changed band.
    const auto bpl = static_cast<uint32_t>(image_.bytesPerLine());
    xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, gc_, static_cast<uint16_t>(image_.width()),
                  static_cast<uint16_t>(r.height()), 0, static_cast<int16_t>(r.y()), 0, 32,
                  bpl * static_cast<uint32_t>(r.height()), image_.constScanLine(r.y()));
}

void SurfaceWindow::deliver(QMouseEvent* event, SurfaceMouseEvent::Type type, int clickCount) {
    // Only the left button presses, drags and releases a fish. Another
    // button pressed or let go while the left one is held is neither a new
    // press nor the end of the one under way.
    const bool left = type == SurfaceMouseEvent::Type::dragged ? event->buttons().testFlag(Qt::LeftButton)
                                                               : event->button() == Qt::LeftButton;
    if (!left) return;
    if (!owner_.mouse_ || owner_.ignores_) return;
    SurfaceMouseEvent e;
    e.type = type;
    e.location = {event->position().x(), owner_.placed_.height() - event->position().y()};
    e.clickCount = clickCount;
    e.modifiers = modifiersOf(event->modifiers());
    auto handler = owner_.mouse_;
    handler(e);
}

void SurfaceWindow::mousePressEvent(QMouseEvent* event) {
    // Presses in quick succession at about the same place count up (1, 2,
    // 3, ...), as the desktop's double-click setting says. Qt's own
    // double-click event comes in addition to the press and is not a press
    // of its own. Another button only breaks a run of left clicks: a right
    // click then a quick left click is a single click.
    if (event->button() != Qt::LeftButton) {
        lastPressTime_ = 0;
        return;
    }
    const auto* hints = QGuiApplication::styleHints();
    const bool again = lastPressTime_ != 0 &&
                       event->timestamp() - lastPressTime_ <= static_cast<quint64>(hints->mouseDoubleClickInterval()) &&
                       (event->globalPosition() - lastPressAt_).manhattanLength() <= hints->mouseDoubleClickDistance();
    clickCount_ = again ? clickCount_ + 1 : 1;
    lastPressTime_ = event->timestamp();
    lastPressAt_ = event->globalPosition();
    deliver(event, SurfaceMouseEvent::Type::down, clickCount_);
}
void SurfaceWindow::mouseDoubleClickEvent(QMouseEvent*) {}
void SurfaceWindow::mouseMoveEvent(QMouseEvent* event) { deliver(event, SurfaceMouseEvent::Type::dragged, clickCount_); }
void SurfaceWindow::mouseReleaseEvent(QMouseEvent* event) { deliver(event, SurfaceMouseEvent::Type::up, clickCount_); }

QtSurface::QtSurface(QtSurfaces& factory, SurfaceKind kind, const Rect& frame, const std::string& title,
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

QtSurface::~QtSurface() {
    factory_.untrack(this);
    close();
}

unsigned long QtSurface::windowID() const { return window_ ? static_cast<unsigned long>(window_->winId()) : 0; }

void QtSurface::applyGeometry() {
    const QRectF g = toScreen(frame_);
    const QRect r(static_cast<int>(std::lround(g.x())), static_cast<int>(std::lround(g.y())),
                  std::max(1, static_cast<int>(std::lround(g.width()))),
                  std::max(1, static_cast<int>(std::lround(g.height()))));
    if (r == placed_) return;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 && window_->handle()) {
        // Straight to the server: a plain move is one request (Qt's own path
        // also rewrites the size hints each time), and a window not yet shown
        // is mapped where it belongs rather than where it was made.
        const QRect n = toNativePixels(r);
        const uint32_t geometry[] = {static_cast<uint32_t>(n.x()), static_cast<uint32_t>(n.y()),
                                     static_cast<uint32_t>(n.width()), static_cast<uint32_t>(n.height())};
        xcb_configure_window(x11->connection(), static_cast<xcb_window_t>(window_->winId()),
                             XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                                 XCB_CONFIG_WINDOW_HEIGHT,
                             geometry);
        factory_.flushSoon();
    }
    // Qt keeps its own idea of the geometry for showing and sizing.
    if (!shown_ || r.size() != placed_.size()) window_->setGeometry(r);
    placed_ = r;
}

void QtSurface::setOrigin(Point origin) {
    if (closed_ || frame_.origin == origin) return;
    frame_.origin = origin;
    applyGeometry();
}

void QtSurface::setContentSize(Size size) {
    if (closed_ || frame_.size == size) return;
    frame_.size = size;
    applyGeometry();
    applyInputShape();
    // What was drawn no longer fits.
    setNeedsDisplay();
}

void QtSurface::setAlpha(double alpha) {
    if (alpha == alpha_) return;
    alpha_ = alpha;
    setNeedsDisplay();
}

void QtSurface::orderFront() {
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

void QtSurface::watchStructure(bool watch) {
    // The fish moves itself 30 to 60 times a second; the ConfigureNotify
    // each move would send back only tells Qt what this surface already
    // knows, through two threads. Exposure and input events stay. Qt still
    // needs the unmap and the next map to know the window is on screen
    // again: the events come back while it is hidden.
    if (structureWatched_ == watch) return;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !window_->handle()) return;
    xcb_connection_t* c = x11->connection();
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

void QtSurface::raise() {
    if (!closed_ && shown_) factory_.raise(window_.get());
}

void QtSurface::orderOut() {
    if (closed_ || !shown_) return;
    shown_ = false;
    watchStructure(true);
    window_->hide();
}

bool QtSurface::isVisible() const { return !closed_ && shown_; }

void QtSurface::close() {
    if (closed_) return;
    closed_ = true;
    shown_ = false;
    draw_ = nullptr;
    mouse_ = nullptr;
    window_->hide();
    window_->destroy();
}

void QtSurface::setIgnoresMouseEvents(bool ignores) {
    if (ignores == ignores_) return;
    ignores_ = ignores;
    applyInputShape();
}

void QtSurface::setInteractiveRegion(const std::vector<Rect>& rects) {
    region_ = rects;
    applyInputShape();
}

void QtSurface::applyInputShape() {
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

void QtSurface::setNeedsDisplay() {
    if (closed_ || !shown_) return;
    window_->markDirty(std::nullopt);
    factory_.requestRender(window_.get());
}

void QtSurface::setNeedsDisplayIn(const Rect& rect) {
    if (closed_ || !shown_) return;
    // Surface points are y up; the window's are y down.
    window_->markDirty(QRectF(rect.minX(), frame_.height() - rect.maxY(), rect.width(), rect.height()));
    factory_.requestRender(window_.get());
}

void QtSurface::setMouseHandler(std::function<void(const SurfaceMouseEvent&)> handler) { mouse_ = std::move(handler); }

QtSurfaces::QtSurfaces() {
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
        connect(compositorTimer_, &QTimer::timeout, this, &QtSurfaces::checkCompositor);
        compositorTimer_->start(2000);
    }
}

QtSurfaces::~QtSurfaces() {
    if (qGuiApp) qGuiApp->removeNativeEventFilter(this);
}

std::shared_ptr<Surface> QtSurfaces::createSurface(SurfaceKind kind, const Rect& contentRect, const std::string& title,
                                                   std::function<void(Canvas&)> draw) {
    return std::make_shared<QtSurface>(*this, kind, contentRect, title, std::move(draw));
}

std::vector<Rect> QtSurfaces::otherInteractiveWindowFrames() const {
    std::vector<Rect> frames;
    const QRectF primary = primaryGeometry();
    for (QWindow* w : QGuiApplication::topLevelWindows()) {
        if (!w->isVisible() || dynamic_cast<SurfaceWindow*>(w)) continue;
        if (w->flags().testFlag(Qt::WindowTransparentForInput)) continue;
        // A window another one embeds (the tray icon) knows its place only
        // relative to its embedder; mapping its origin gives the screen's.
        const QRect frame = w->frameGeometry().translated(w->mapToGlobal(QPoint(0, 0)) - w->geometry().topLeft());
        frames.push_back(toDesktop(QRectF(frame), primary));
    }
    return frames;
}

bool QtSurfaces::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
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

void QtSurfaces::untrack(QtSurface* s) {
    live_.erase(s);
    std::erase(pending_, s->window());
}

void QtSurfaces::requestRender(SurfaceWindow* window) {
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

void QtSurfaces::renderPending() {
    if (pending_.empty()) return;
    auto windows = std::move(pending_);
    pending_.clear();
    renderNow(windows);
}

void QtSurfaces::renderNow(const std::vector<SurfaceWindow*>& windows) {
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

void QtSurfaces::checkCompositor() {
    Display* dpy = x11Display();
    if (!dpy) return;
    char name[32];
    std::snprintf(name, sizeof name, "_NET_WM_CM_S%d", DefaultScreen(dpy));
    const bool composited = XGetSelectionOwner(dpy, XInternAtom(dpy, name, False)) != None;
    if (composited == composited_) return;
    composited_ = composited;
    // Everything is drawn again, shaped or whole.
    for (QtSurface* s : live_) s->setNeedsDisplay();
}

namespace {
void flushConnection() {
    if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
        XFlush(x11->display());
        xcb_flush(x11->connection());
    }
}
}  // namespace

void QtSurfaces::flushSoon() {
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

void QtSurfaces::endBatch() {
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

unsigned long QtSurfaces::ceiling() {
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

void QtSurfaces::raise(SurfaceWindow* window) {
    const unsigned long below = ceiling();
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (below == 0 || !x11 || !window->handle()) {
        window->raise();
        return;
    }
    // Directly beneath the lowest of our own menus and dialogs: above every
    // window that is beneath them.
    const uint32_t values[] = {static_cast<uint32_t>(below), XCB_STACK_MODE_BELOW};
    xcb_configure_window(x11->connection(), static_cast<xcb_window_t>(window->winId()),
                         XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE, values);
    flushSoon();
}

void QtSurfaces::raiseFrom(int rank) {
    // Raised bottom first, in the order they keep: by kind, then by when
    // each was last ordered front.
    std::vector<QtSurface*> shown;
    for (QtSurface* s : live_)
        if (s->isVisible() && stackingRank(s->kind()) >= rank) shown.push_back(s);
    std::sort(shown.begin(), shown.end(), [](const QtSurface* a, const QtSurface* b) {
        const int ra = stackingRank(a->kind()), rb = stackingRank(b->kind());
        return ra != rb ? ra < rb : a->frontedAt() < b->frontedAt();
    });
    for (QtSurface* s : shown) s->raise();
}

}  // namespace orvella::linux_desktop
