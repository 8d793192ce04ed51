#include "wayland/surfaces.h"

#include <wayland-client.h>

#include <QTimer>
#include <algorithm>
#include <cmath>

#include "desktop/coordinates.h"
#include "render/surface_frame.h"
#include "viewporter-client-protocol.h"
#include "wayland/hosts.h"

namespace orvella::wayland {

namespace {

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

bool WaylandSurface::isOnScreen() const { return host_ && host_->configured && bufferWidth_ > 0; }

double WaylandSurface::scale() const {
    if (viewport_ && host_ && host_->scale120 > 0) return host_->scale120 / 120.0;
    return output_ ? output_->scale : 1;
}

void WaylandSurface::map() {
    if (surface_ || closed_) return;
    auto& c = factory_.connection();
    placed_ = desktop::layoutRect(frame_);
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
    buffers_.allStale();
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
    buffers_.destroy();
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
    const QRect placed = desktop::layoutRect(frame_);
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
    placed_ = desktop::layoutRect(frame_);
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

void WaylandSurface::setNeedsDisplay() {
    buffers_.allStale();
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
    buffers_.stale(pixels);
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
    buffers_.release(buffer);
    if (dirty_) render();
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
    SurfaceBuffer* b = buffers_.take(factory_.connection().shm(), pixels);
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
    render::drawSurfaceFrame(b->image, b->painter, {area, static_cast<double>(placed_.height()), alpha_, true}, draw_);
    // Said only when it changes: every request is marshalled and read.
    const int bufferScale = fractional ? 1 : static_cast<int>(s);
    if (bufferScale != sentScale_) {
        sentScale_ = bufferScale;
        setBufferScale(surface_, bufferScale);
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
        damageBuffer(surface_, QRect(QPoint(0, 0), pixels), bufferScale);
    } else {
        damageBuffer(surface_, area, bufferScale);
    }
    factory_.askFrame(this, *host_);
    wl_surface_commit(surface_);
    factory_.commitHost(host_);
    b->busy = true;
    bufferWidth_ = pixels.width();
}

WaylandSurfaces::WaylandSurfaces(WaylandConnection& connection) : connection_(connection) {
    connection_.onPointer = [this](const PointerEvent& event) { pointer(event); };
}

WaylandSurfaces::~WaylandSurfaces() {
    connection_.onPointer = nullptr;
    while (!hosts_.empty()) destroyHost(hosts_.begin()->first);
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
