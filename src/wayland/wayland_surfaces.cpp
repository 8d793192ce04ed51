#include "wayland/wayland_surfaces.h"

#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <QGuiApplication>
#include <QPainter>
#include <QStyleHints>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "fractional-scale-v1-client-protocol.h"
#include "linux/coordinates.h"
#include "linux/qt_canvas.h"
#include "viewporter-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"

namespace orvella::wayland {

using linux_desktop::QtCanvas;

namespace {

WaylandSurface& self(void* data) { return *static_cast<WaylandSurface*>(data); }
Host& host(void* data) { return *static_cast<Host*>(data); }

const zwlr_layer_surface_v1_listener hostListener = {
    .configure = [](void* data, zwlr_layer_surface_v1*, uint32_t serial, uint32_t width, uint32_t height) {
        host(data).factory->hostConfigured(host(data), serial, width, height);
    },
    .closed = [](void* data, zwlr_layer_surface_v1*) { host(data).factory->hostClosed(host(data)); },
};

const wp_fractional_scale_v1_listener hostScaleListener = {
    .preferred_scale = [](void* data, wp_fractional_scale_v1*, uint32_t scale) { host(data).factory->hostScale(host(data), scale); },
};

const wl_buffer_listener bufferListener = {
    .release = [](void* data, wl_buffer* buffer) { self(data).released(buffer); },
};

const wl_callback_listener frameListener = {
    .done = [](void* data, wl_callback* callback, uint32_t) { host(data).factory->frameShown(host(data), callback); },
};

// Where a surface goes in the layout: whole pixels, its size kept (a
// surface of 112 points stays 112 wide wherever it is).
QRect layoutRect(const Rect& frame) {
    const QRectF r = linux_desktop::toScreen(frame);
    return QRect(static_cast<int>(std::lround(r.x())), static_cast<int>(std::lround(r.y())),
                 static_cast<int>(std::lround(r.width())), static_cast<int>(std::lround(r.height())));
}

// The output holding a point of the layout, else the nearest.
Output* outputAt(const WaylandConnection& connection, QPoint at) {
    Output* best = nullptr;
    double bestDistance = 0;
    for (const auto& output : connection.outputs()) {
        if (!output->ready) continue;
        if (output->logical.contains(at)) return output.get();
        const QPoint c = output->logical.center();
        const double d = std::hypot(c.x() - at.x(), c.y() - at.y());
        if (!best || d < bestDistance) {
            best = output.get();
            bestDistance = d;
        }
    }
    return best;
}

// A buffer of shared memory, cleared (a new file reads as zeros: fully
// transparent), and where its pixels are mapped.
struct ShmBuffer {
    wl_buffer* buffer = nullptr;
    void* data = nullptr;
    std::size_t size = 0;
};

ShmBuffer createShmBuffer(wl_shm* shm, QSize pixels) {
    const int stride = pixels.width() * 4;
    const std::size_t size = static_cast<std::size_t>(stride) * static_cast<std::size_t>(pixels.height());
    const int fd = memfd_create("orvella-surface", MFD_CLOEXEC);
    if (fd < 0) return {};
    if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
        ::close(fd);
        return {};
    }
    void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) {
        ::close(fd);
        return {};
    }
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(size));
    wl_buffer* buffer =
        wl_shm_pool_create_buffer(pool, 0, pixels.width(), pixels.height(), stride, WL_SHM_FORMAT_ARGB8888);
    wl_shm_pool_destroy(pool);
    ::close(fd);
    return {buffer, data, size};
}

}  // namespace

WaylandSurface::WaylandSurface(WaylandSurfaces& factory, SurfaceKind kind, const Rect& frame, std::string title,
                               std::function<void(Canvas&)> draw)
    : factory_(factory), kind_(kind), frame_(frame), title_(std::move(title)), draw_(std::move(draw)) {
    ignores_ = kind != SurfaceKind::fish;
    factory_.track(this);
}

WaylandSurface::~WaylandSurface() {
    factory_.untrack(this);
    close();
}

double WaylandSurface::scale() const {
    if (viewport_ && host_ && host_->scale120 > 0) return host_->scale120 / 120.0;
    return output_ ? output_->scale : 1;
}

void WaylandSurface::map() {
    if (surface_ || closed_) return;
    auto& c = factory_.connection();
    placed_ = layoutRect(frame_);
    output_ = outputAt(c, placed_.center());
    if (!output_) return;
    host_ = factory_.hostFor(output_);
    surface_ = wl_compositor_create_surface(c.compositor());
    wl_surface_set_user_data(surface_, this);
    if (c.viewporter() && c.fractionalScale()) viewport_ = wp_viewporter_get_viewport(c.viewporter(), surface_);
    // Synchronised with the host (the default): what a motion step moves
    // and draws on an output shows in one commit.
    subsurface_ = wl_subcompositor_get_subsurface(c.subcompositor(), surface_, host_->surface);
    factory_.raise(this);
    // The pointer goes through it to the host.
    wl_region* none = c.emptyRegion();
    wl_surface_set_input_region(surface_, none);
    wl_region_destroy(none);
    place();
    dirty_ = true;
    for (auto& b : buffers_) b.stale = b.image.rect();
    factory_.renderSoon(this);
    tellHost();
}

void WaylandSurface::unmap() {
    if (host_) {
        // Its region stops taking presses with the host's next commit.
        auto& stack = host_->stack;
        stack.erase(std::remove(stack.begin(), stack.end(), this), stack.end());
        factory_.hostRegionChanged(host_);
    }
    pressed_ = false;
    factory_.forgetFrame(this);
    destroyBuffers();
    if (viewport_) wp_viewport_destroy(viewport_);
    // Gone from the screen at once, without the host's commit.
    if (subsurface_) wl_subsurface_destroy(subsurface_);
    if (surface_) wl_surface_destroy(surface_);
    viewport_ = nullptr;
    subsurface_ = nullptr;
    surface_ = nullptr;
    host_ = nullptr;
    output_ = nullptr;
    bufferWidth_ = 0;
    sentScale_ = 1;
    sentDestination_ = QSize(-1, -1);
}

void WaylandSurface::place() {
    if (!subsurface_ || !output_) return;
    const QRect o = output_->logical;
    wl_subsurface_set_position(subsurface_, placed_.x() - o.x(), placed_.y() - o.y());
}

void WaylandSurface::setOrigin(Point origin) {
    if (frame_.origin == origin) return;
    frame_.origin = origin;
    if (!surface_) return;
    const QRect placed = layoutRect(frame_);
    // The same whole pixels: nothing for the compositor.
    if (placed == placed_) return;
    placed_ = placed;
    Output* now = outputAt(factory_.connection(), placed_.center());
    // A subsurface shows on its host's output only: once its middle is on
    // another output it moves to that one's host, in a drag too (the host
    // that took the press keeps the pointer until the release).
    if (now != output_) {
        replace();
        return;
    }
    place();
    factory_.noteMoved();
    // In a motion step the host's commit waits for the step's end, and
    // carries every move and new drawing of the step on that output.
    tellHost();
}

void WaylandSurface::tellHost() {
    if (!host_) return;
    if (ignores_ || region_.empty()) {
        factory_.commitHost(host_);
    } else {
        factory_.hostRegionChanged(host_);
    }
}

void WaylandSurface::setContentSize(Size size) {
    if (frame_.size == size) return;
    frame_.size = size;
    if (!surface_) return;
    placed_ = layoutRect(frame_);
    place();
    factory_.hostRegionChanged(host_);
    setNeedsDisplay();
}

void WaylandSurface::setAlpha(double alpha) {
    alpha = std::clamp(alpha, 0.0, 1.0);
    if (alpha == alpha_) return;
    alpha_ = alpha;
    setNeedsDisplay();
}

void WaylandSurface::orderFront() {
    if (closed_) return;
    shown_ = true;
    if (surface_) {
        factory_.raise(this);
        return;
    }
    map();
}

void WaylandSurface::orderOut() {
    shown_ = false;
    unmap();
}

void WaylandSurface::close() {
    if (closed_) return;
    closed_ = true;
    shown_ = false;
    // What the drawing and the handler hold (a fish's view) goes with them.
    draw_ = nullptr;
    mouse_ = nullptr;
    unmap();
}

void WaylandSurface::setIgnoresMouseEvents(bool ignores) {
    if (ignores == ignores_) return;
    ignores_ = ignores;
    if (host_) factory_.hostRegionChanged(host_);
}

void WaylandSurface::setInteractiveRegion(const std::vector<Rect>& rects) {
    region_ = rects;
    if (host_) factory_.hostRegionChanged(host_);
}

void WaylandSurface::addInputTo(wl_region* region, QPoint origin) const {
    // Exactly the interactive part takes the pointer: an empty region lets
    // every press through, as on X11.
    if (ignores_ || !surface_) return;
    const double h = frame_.height();
    for (const Rect& r : region_) {
        const QRectF top(r.minX(), h - r.minY() - r.height(), r.width(), r.height());
        const QRect px = top.toAlignedRect().translated(placed_.topLeft() - origin);
        wl_region_add(region, px.x(), px.y(), px.width(), px.height());
    }
}

double WaylandSurface::distanceToRegion(QPointF at) const {
    if (ignores_ || !surface_) return std::numeric_limits<double>::infinity();
    const double h = frame_.height();
    double best = std::numeric_limits<double>::infinity();
    for (const Rect& r : region_) {
        const QRectF px = QRectF(r.minX(), h - r.minY() - r.height(), r.width(), r.height())
                              .toAlignedRect()
                              .translated(placed_.topLeft());
        const double dx = std::max({px.left() - at.x(), 0.0, at.x() - px.right()});
        const double dy = std::max({px.top() - at.y(), 0.0, at.y() - px.bottom()});
        best = std::min(best, std::hypot(dx, dy));
    }
    return best;
}

void WaylandSurface::setNeedsDisplay() {
    for (auto& b : buffers_) b.stale = b.image.rect();
    dirty_ = true;
    if (surface_) factory_.renderSoon(this);
}

void WaylandSurface::setNeedsDisplayIn(const Rect& rect) {
    // Surface points (y up) to the buffers' pixels, a pixel wider all
    // round for antialiasing. Each buffer redraws what changed since it
    // was last drawn: the one coming back from the compositor is two
    // frames behind.
    const double s = scale();
    const QRectF points(rect.minX(), frame_.height() - rect.minY() - rect.height(), rect.width(), rect.height());
    const QRect pixels = QRectF(points.x() * s, points.y() * s, points.width() * s, points.height() * s)
                             .toAlignedRect()
                             .adjusted(-1, -1, 1, 1);
    for (auto& b : buffers_) b.stale |= pixels & b.image.rect();
    dirty_ = true;
    if (surface_) factory_.renderSoon(this);
}

void WaylandSurface::setMouseHandler(std::function<void(const SurfaceMouseEvent&)> handler) {
    mouse_ = std::move(handler);
}

void WaylandSurface::hostReady() { setNeedsDisplay(); }

void WaylandSurface::hostGone() {
    unmap();
    replaceSoon();
}

void WaylandSurface::replace() {
    const bool pressed = pressed_;
    unmap();
    map();
    pressed_ = pressed && surface_;
}

void WaylandSurface::replaceSoon() {
    QTimer::singleShot(0, factory_.context(), [this, &factory = factory_] {
        if (!factory.isLive(this) || !shown_) return;
        if (surface_ && outputAt(factory.connection(), placed_.center()) == output_) return;
        replace();
    });
}

void WaylandSurface::outputsChanged() {
    if (!surface_) {
        if (shown_) map();
        return;
    }
    const auto& outputs = factory_.connection().outputs();
    const bool present = std::any_of(outputs.begin(), outputs.end(), [&](auto& o) { return o.get() == output_; });
    if (!present || outputAt(factory_.connection(), placed_.center()) != output_) {
        replace();
        return;
    }
    place();
    factory_.hostRegionChanged(host_);
    setNeedsDisplay();
}

void WaylandSurface::outputRemoved(const Output* output) {
    if (output_ != output) return;
    // Placed afresh on another output once the layout has settled.
    unmap();
    replaceSoon();
}

void WaylandSurface::released(wl_buffer* buffer) {
    for (auto& b : buffers_)
        if (b.buffer == buffer) b.busy = false;
    if (dirty_) render();
}

WaylandSurface::Buffer* WaylandSurface::freeBuffer(QSize pixels) {
    for (auto& b : buffers_) {
        if (b.busy) continue;
        if (b.buffer && b.image.size() == pixels) return &b;
    }
    for (auto& b : buffers_) {
        if (b.busy) continue;
        if (b.buffer) {
            b.painter.reset();
            wl_buffer_destroy(b.buffer);
            munmap(b.data, b.size);
            b = Buffer{};
        }
        const ShmBuffer shm = createShmBuffer(factory_.connection().shm(), pixels);
        if (!shm.buffer) return nullptr;
        wl_buffer_add_listener(shm.buffer, &bufferListener, this);
        b.buffer = shm.buffer;
        b.data = shm.data;
        b.size = shm.size;
        // ARGB8888 in the compositor's words is Qt's premultiplied ARGB32
        // on a little-endian machine.
        b.image = QImage(static_cast<uchar*>(shm.data), pixels.width(), pixels.height(), pixels.width() * 4,
                         QImage::Format_ARGB32_Premultiplied);
        b.stale = b.image.rect();
        return &b;
    }
    return nullptr;  // all with the compositor: drawn when one comes back
}

void WaylandSurface::destroyBuffers() {
    for (auto& b : buffers_) {
        b.painter.reset();
        if (b.buffer) {
            wl_buffer_destroy(b.buffer);
            munmap(b.data, b.size);
        }
        b = Buffer{};
    }
}

void WaylandSurface::render() {
    // Drawn once the host is, at the scale it prefers.
    if (!dirty_ || !host_ || !host_->configured || !surface_ || closed_) return;
    if (factory_.framePending(*host_)) {
        factory_.waitForFrame(this);
        return;
    }
    const double s = scale();
    const bool fractional = viewport_ && host_->scale120 > 0;
    const QSize pixels(std::max(1, static_cast<int>(std::lround(placed_.width() * s))),
                       std::max(1, static_cast<int>(std::lround(placed_.height() * s))));
    Buffer* b = freeBuffer(pixels);
    if (!b) return;
    dirty_ = false;
    if (b->image.devicePixelRatio() != s) {
        b->painter.reset();
        b->image.setDevicePixelRatio(s);
        b->stale = b->image.rect();
    }
    const QRect area = b->stale & b->image.rect();
    b->stale = QRect();
    if (area.isEmpty()) return;
    // Cleared by hand: the painter would blend transparent pixels.
    const qsizetype stride = b->image.bytesPerLine();
    // Asked for once: each asking checks whether the image is shared.
    uchar* const bits = b->image.bits();
    for (int y = area.top(); y <= area.bottom(); ++y)
        std::memset(bits + y * stride + 4 * area.left(), 0, static_cast<std::size_t>(4 * area.width()));
    double fade = alpha_;
    if (draw_) {
        if (!b->painter) b->painter = std::make_unique<QPainter>(&b->image);
        QPainter& painter = *b->painter;
        const bool clipped = area != b->image.rect();
        if (clipped) {
            painter.resetTransform();
            painter.setClipRect(QRectF(area.x() / s, area.y() / s, area.width() / s, area.height() / s));
        }
        {
            QtCanvas canvas(painter, placed_.height(), 1.0);
            if (clipped) canvas.setDeviceClip(area);
            draw_(canvas);
            fade *= canvas.frameAlpha();
        }
        if (clipped) painter.setClipping(false);
    }
    if (fade < 1) linux_desktop::fadePremultiplied(b->image, area, fade);
    // Said only when it changes: every request is marshalled and read.
    const int bufferScale = fractional ? 1 : static_cast<int>(s);
    if (bufferScale != sentScale_) {
        sentScale_ = bufferScale;
        wl_surface_set_buffer_scale(surface_, bufferScale);
    }
    const QSize destination = fractional ? placed_.size() : QSize(-1, -1);
    if (viewport_ && destination != sentDestination_) {
        sentDestination_ = destination;
        wp_viewport_set_destination(viewport_, destination.width(), destination.height());
    }
    wl_surface_attach(surface_, b->buffer, 0, 0);
    if (fractional) {
        // KWin 5.27 keeps the old pixels of a buffer shown through a
        // viewport when only part of it is damaged: such buffers are
        // damaged whole. They are a fish's size, and drawing stays partial.
        wl_surface_damage_buffer(surface_, 0, 0, pixels.width(), pixels.height());
    } else {
        wl_surface_damage_buffer(surface_, area.x(), area.y(), area.width(), area.height());
    }
    factory_.askFrame(this, *host_);
    wl_surface_commit(surface_);
    factory_.commitHost(host_);
    b->busy = true;
    bufferWidth_ = pixels.width();
}

void WaylandSurface::pointer(const PointerEvent& event, QPointF at) {
    SurfaceMouseEvent e;
    // In the surface as it is now, which may be ahead of the compositor.
    const double x = at.x() - placed_.x(), y = at.y() - placed_.y();
    e.location = {x, frame_.height() - y};
    switch (event.type) {
        case PointerEvent::Type::press: {
            // Another button only breaks a run of left clicks.
            if (event.button != BTN_LEFT) {
                lastPressTime_ = 0;
                return;
            }
            const auto* hints = QGuiApplication::styleHints();
            const bool again = lastPressTime_ != 0 &&
                               event.timeMs - lastPressTime_ <= static_cast<uint32_t>(hints->mouseDoubleClickInterval()) &&
                               (at - lastPressAt_).manhattanLength() <= hints->mouseDoubleClickDistance();
            clickCount_ = again ? clickCount_ + 1 : 1;
            lastPressTime_ = event.timeMs;
            lastPressAt_ = at;
            pressed_ = true;
            e.type = SurfaceMouseEvent::Type::down;
            break;
        }
        case PointerEvent::Type::motion:
            if (!pressed_) return;
            e.type = SurfaceMouseEvent::Type::dragged;
            break;
        case PointerEvent::Type::release:
            if (event.button != BTN_LEFT || !pressed_) return;
            pressed_ = false;
            e.type = SurfaceMouseEvent::Type::up;
            // Dragged onto another output: it moves there now.
            replaceSoon();
            break;
        case PointerEvent::Type::enter:
        case PointerEvent::Type::leave: return;
    }
    e.clickCount = clickCount_;
    if (!mouse_ || ignores_) return;
    auto handler = mouse_;
    handler(e);
}

WaylandSurfaces::WaylandSurfaces(WaylandConnection& connection) : connection_(connection) {
    connection_.onPointer = [this](const PointerEvent& event) { pointer(event); };
}

WaylandSurfaces::~WaylandSurfaces() {
    connection_.onPointer = nullptr;
    while (!hosts_.empty()) destroyHost(hosts_.begin()->first);
}

void WaylandSurfaces::pointer(const PointerEvent& event) {
    if (event.type == PointerEvent::Type::leave) {
        if (onPointer) onPointer(event, {});
        return;
    }
    const Host* host = nullptr;
    for (const auto& [output, h] : hosts_)
        if (event.surface && h->surface == event.surface) host = h.get();
    if (!host) return;
    // The host covers its output from its corner: where the pointer is on
    // it is where it is in the layout.
    const QPointF at(host->output->logical.x() + event.x, host->output->logical.y() + event.y);
    if (onPointer) onPointer(event, linux_desktop::toDesktop(at));
    WaylandSurface* target = pressed_;
    if (event.type == PointerEvent::Type::press && !pressed_) {
        target = surfaceAt(*host, at);
        if (event.button == BTN_LEFT) pressed_ = target;
    }
    if (event.type == PointerEvent::Type::release && event.button == BTN_LEFT) pressed_ = nullptr;
    if (target) target->pointer(event, at);
}

WaylandSurface* WaylandSurfaces::surfaceAt(const Host& host, QPointF at) const {
    // A press the compositor placed by a region a motion step has since
    // moved lands a few pixels off it.
    constexpr double slack = 8;
    WaylandSurface* nearest = nullptr;
    double best = slack;
    for (auto it = host.stack.rbegin(); it != host.stack.rend(); ++it) {
        const double d = (*it)->distanceToRegion(at);
        if (d == 0) return *it;
        if (d < best) {
            best = d;
            nearest = *it;
        }
    }
    return nearest;
}

std::shared_ptr<Surface> WaylandSurfaces::createSurface(SurfaceKind kind, const Rect& contentRect,
                                                        const std::string& title, std::function<void(Canvas&)> draw) {
    return std::make_shared<WaylandSurface>(*this, kind, contentRect, title, std::move(draw));
}

void WaylandSurfaces::untrack(WaylandSurface* s) {
    live_.erase(s);
    pending_.erase(s);
    waiting_.erase(s);
    if (pressed_ == s) pressed_ = nullptr;
}

void WaylandSurfaces::renderSoon(WaylandSurface* s) {
    pending_.insert(s);
    renderPendingSoon();
}

void WaylandSurfaces::renderPendingSoon() {
    if (queued_ || batchDepth_ > 0) return;
    queued_ = true;
    QTimer::singleShot(0, &context_, [this] {
        queued_ = false;
        renderPending();
    });
}

void WaylandSurfaces::endBatch() {
    if (batchDepth_ > 0 && --batchDepth_ == 0) renderPending();
}

Host* WaylandSurfaces::hostFor(Output* output) {
    auto& slot = hosts_[output];
    if (slot) return slot.get();
    slot = std::make_unique<Host>();
    Host& h = *slot;
    h.factory = this;
    h.output = output;
    auto& c = connection_;
    h.surface = wl_compositor_create_surface(c.compositor());
    if (c.viewporter()) h.viewport = wp_viewporter_get_viewport(c.viewporter(), h.surface);
    if (c.viewporter() && c.fractionalScale()) {
        h.fractional = wp_fractional_scale_manager_v1_get_fractional_scale(c.fractionalScale(), h.surface);
        wp_fractional_scale_v1_add_listener(h.fractional, &hostScaleListener, &h);
    }
    h.layer = zwlr_layer_shell_v1_get_layer_surface(c.layerShell(), h.surface, output->output,
                                                    ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "orvella");
    zwlr_layer_surface_v1_add_listener(h.layer, &hostListener, &h);
    // The whole output, panels or not, pushing no other surface aside.
    zwlr_layer_surface_v1_set_anchor(h.layer,
                                     ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                         ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_size(h.layer, 0, 0);
    zwlr_layer_surface_v1_set_exclusive_zone(h.layer, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(h.layer, ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
    // Presses anywhere on it but on its surfaces reach what lies beneath.
    wl_region* none = c.emptyRegion();
    wl_surface_set_input_region(h.surface, none);
    wl_region_destroy(none);
    // The first commit carries no buffer; the compositor answers with the
    // output's size, and the host is shown once it has a buffer.
    wl_surface_commit(h.surface);
    return &h;
}

void WaylandSurfaces::hostConfigured(Host& h, uint32_t serial, uint32_t width, uint32_t height) {
    zwlr_layer_surface_v1_ack_configure(h.layer, serial);
    const QSize size(std::max(1, static_cast<int>(width)), std::max(1, static_cast<int>(height)));
    if (!h.buffer || size != h.size) {
        h.size = size;
        // Transparent as made; its pixels are never touched here again,
        // so only the buffer is kept.
        auto transparent = [&](QSize pixels) {
            const ShmBuffer shm = createShmBuffer(connection_.shm(), pixels);
            if (shm.data) munmap(shm.data, shm.size);
            return shm.buffer;
        };
        if (h.viewport) {
            if (!h.buffer) h.buffer = transparent(QSize(1, 1));
            wp_viewport_set_destination(h.viewport, size.width(), size.height());
        } else {
            if (h.buffer) h.retired.push_back(h.buffer);
            h.buffer = transparent(size);
        }
        if (h.buffer) {
            wl_surface_attach(h.surface, h.buffer, 0, 0);
            wl_surface_damage_buffer(h.surface, 0, 0, INT32_MAX, INT32_MAX);
        }
    }
    wl_surface_commit(h.surface);
    if (h.configured) return;
    h.configured = true;
    for (WaylandSurface* s : live_)
        if (s->host() == &h) s->hostReady();
}

void WaylandSurfaces::hostScale(Host& h, uint32_t scale120) {
    if (scale120 == h.scale120) return;
    h.scale120 = scale120;
    for (WaylandSurface* s : live_)
        if (s->host() == &h) s->hostReady();
}

void WaylandSurfaces::hostClosed(Host& h) {
    // The compositor will not have it (its output is going): its surfaces
    // are placed afresh once the layout has settled.
    const Output* output = h.output;
    for (WaylandSurface* s : surfaces())
        if (s->host() == &h) s->hostGone();
    destroyHost(output);
    // A frame asked there goes with it: what waited for it need not.
    wakeWaiting();
}

void WaylandSurfaces::outputRemoved(Output* output) {
    for (WaylandSurface* s : surfaces()) s->outputRemoved(output);
    destroyHost(output);
    wakeWaiting();
}

void WaylandSurfaces::destroyHost(const Output* output) {
    auto it = hosts_.find(output);
    if (it == hosts_.end()) return;
    Host* h = it->second.get();
    hostCommits_.erase(h);
    if (h->fractional) wp_fractional_scale_v1_destroy(h->fractional);
    if (h->viewport) wp_viewport_destroy(h->viewport);
    if (h->input) wl_region_destroy(h->input);
    if (h->frame.callback) wl_callback_destroy(h->frame.callback);
    zwlr_layer_surface_v1_destroy(h->layer);
    wl_surface_destroy(h->surface);
    if (h->buffer) wl_buffer_destroy(h->buffer);
    for (wl_buffer* b : h->retired) wl_buffer_destroy(b);
    hosts_.erase(it);
}

void WaylandSurfaces::commitHost(Host* h) {
    if (!h) return;
    hostCommits_.insert(h);
    if (batchDepth_ == 0 && !rendering_) commitHosts();
}

void WaylandSurfaces::raise(WaylandSurface* s) {
    Host* h = s->host_;
    if (!h) return;
    auto& stack = h->stack;
    const int rank = stackingRank(s->kind());
    const auto higher = [rank](const WaylandSurface* o) { return stackingRank(o->kind()) > rank; };
    const auto at = std::find(stack.begin(), stack.end(), s);
    const bool present = at != stack.end();
    if (present) {
        // Already the top of its kind: nothing to send.
        const auto next = std::next(at);
        if (next == stack.end() || higher(*next)) return;
        stack.erase(at);
    }
    // Beneath the first of a higher kind, else on top. A new subsurface
    // starts on top of its siblings.
    const auto above = std::find_if(stack.begin(), stack.end(), higher);
    if (above != stack.end()) {
        wl_subsurface_place_below(s->subsurface_, (*above)->surface_);
    } else if (present && !stack.empty()) {
        wl_subsurface_place_above(s->subsurface_, stack.back()->surface_);
    }
    stack.insert(above, s);
    commitHost(h);
}

void WaylandSurfaces::hostRegionChanged(Host* h) {
    if (!h) return;
    h->regionStale = true;
    commitHost(h);
}

void WaylandSurfaces::commitHosts() {
    auto owed = std::move(hostCommits_);
    hostCommits_.clear();
    for (Host* h : owed) {
        // Until the compositor has shown the output's last frame, what
        // changed since waits, with what is drawn meanwhile: one commit
        // a frame. Given up on after a while (see framePending).
        if (framePending(*h)) {
            hostCommits_.insert(h);
            waitForFrames();
            continue;
        }
        if (h->regionStale) {
            h->regionStale = false;
            // One region, emptied and filled again: a new one each time
            // costs two more requests and an answer.
            if (h->input)
                wl_region_subtract(h->input, -regionReach, -regionReach, 2 * regionReach, 2 * regionReach);
            else
                h->input = connection_.emptyRegion();
            for (const WaylandSurface* s : h->stack) s->addInputTo(h->input, h->output->logical.topLeft());
            wl_surface_set_input_region(h->surface, h->input);
        }
        wl_surface_commit(h->surface);
    }
}

bool WaylandSurfaces::framePending(Host& h) {
    FrameAsked& frame = h.frame;
    // Surfaces drawn together go out together under one frame.
    if (!frame.callback || frame.round == round_) return false;
    // Behind: every frame waits for the compositor's answer a while now.
    h.pacing.strict = true;
    h.pacing.prompt = 0;
    // A compositor that does not answer for long (an output it no longer
    // shows) gets the next frame all the same.
    if (std::chrono::steady_clock::now() - frame.asked < frameWait) return true;
    wl_callback_destroy(frame.callback);
    frame = {};
    return false;
}

void WaylandSurfaces::askFrame(WaylandSurface* s, Host& h) {
    if (h.frame.callback) return;
    // Asked at all: the last frame asked was answered before this round.
    // A compositor that keeps up is asked one frame in four; each answer
    // wakes the process, and it would come before the next round anyway.
    FramePacing& pacing = h.pacing;
    // Decided once a round: the other surfaces drawn with it go out under
    // the same frame, asked or not.
    if (pacing.round == round_) return;
    pacing.round = round_;
    if (pacing.strict && ++pacing.prompt >= promptFramesToRelax) pacing.strict = false;
    if (!pacing.strict && pacing.skip > 0) {
        --pacing.skip;
        return;
    }
    pacing.skip = 3;
    wl_callback* callback = wl_surface_frame(s->surface());
    wl_callback_add_listener(callback, &frameListener, &h);
    h.frame = {callback, s, std::chrono::steady_clock::now(), round_};
}

void WaylandSurfaces::frameShown(Host& h, wl_callback* callback) {
    if (h.frame.callback == callback) h.frame = {};
    wl_callback_destroy(callback);
    wakeWaiting();
}

void WaylandSurfaces::waitForFrames() {
    // Asked again once the frames have had their time, should the
    // compositor not answer and nothing else come by.
    if (frameTimerArmed_) return;
    frameTimerArmed_ = true;
    QTimer::singleShot(frameWait + std::chrono::milliseconds(10), &context_, [this] {
        frameTimerArmed_ = false;
        if (!hostCommits_.empty() || !waiting_.empty()) wakeWaiting();
    });
}

void WaylandSurfaces::forgetFrame(WaylandSurface* s) {
    bool held = false;
    for (auto& [output, h] : hosts_) {
        if (h->frame.holder != s) continue;
        wl_callback_destroy(h->frame.callback);
        h->frame = {};
        held = true;
    }
    if (held) wakeWaiting();
}

void WaylandSurfaces::wakeWaiting() {
    auto waiting = std::move(waiting_);
    waiting_.clear();
    for (WaylandSurface* s : waiting)
        if (live_.count(s)) pending_.insert(s);
    if (!pending_.empty() || !hostCommits_.empty()) renderPendingSoon();
}

void WaylandSurfaces::renderPending() {
    ++round_;
    auto pending = std::move(pending_);
    pending_.clear();
    rendering_ = true;
    for (WaylandSurface* s : pending)
        if (live_.count(s)) s->render();
    rendering_ = false;
    commitHosts();
    connection_.flush();
}

}  // namespace orvella::wayland
