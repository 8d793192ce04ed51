#include "x11/window_image.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <algorithm>
#include <cstdlib>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include "render/surface_frame.h"
#include "x11/connection.h"
#include "x11/surfaces.h"

// X11 last: its macros clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace orvella::x11 {

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

SurfaceWindow::SurfaceWindow(X11Surface& owner) : owner_(owner) {
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
        if (xcb_connection_t* c = xcbConnection()) xcb_free_gc(c, gc_);
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
        if (xcb_connection_t* c = xcbConnection()) {
            xcb_shm_detach(c, shared_->segment);
            xcb_flush(c);
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
    xcb_connection_t* c = xcbConnection();
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
    // Without a compositor nothing can be translucent: the frame stays at
    // full strength and the shape cuts the window out.
    drewWithPainter_ = render::drawSurfaceFrame(
        image_, painter_,
        {drawing_, static_cast<double>(owner_.placed_.height()), owner_.alpha_, owner_.factory_.isComposited()},
        owner_.draw_);
}

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
    xcb_connection_t* c = xcbConnection();
    if (!c || !handle()) return;
    const QRect r = drawing_;
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
    // Qt's own double-click event comes in addition to the press and is
    // not a press of its own: the count is the desktop's rule.
    if (event->button() != Qt::LeftButton) {
        clicks_.otherPress();
        return;
    }
    deliver(event, SurfaceMouseEvent::Type::down,
            clicks_.leftPress(static_cast<std::uint32_t>(event->timestamp()), event->globalPosition()));
}
void SurfaceWindow::mouseDoubleClickEvent(QMouseEvent*) {}
void SurfaceWindow::mouseMoveEvent(QMouseEvent* event) { deliver(event, SurfaceMouseEvent::Type::dragged, clicks_.count()); }
void SurfaceWindow::mouseReleaseEvent(QMouseEvent* event) { deliver(event, SurfaceMouseEvent::Type::up, clicks_.count()); }

}  // namespace orvella::x11
