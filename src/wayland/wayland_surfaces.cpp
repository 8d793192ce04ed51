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

#include "fractional-scale-v1-client-protocol.h"
#include "linux/coordinates.h"
#include "linux/qt_canvas.h"
#include "viewporter-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"

namespace orvella::wayland {

using linux_desktop::QtCanvas;

namespace {

WaylandSurface& self(void* data) { return *static_cast<WaylandSurface*>(data); }

const zwlr_layer_surface_v1_listener layerListener = {
    [](void* data, zwlr_layer_surface_v1*, uint32_t serial, uint32_t width, uint32_t height) {
        self(data).configured(serial, width, height);
    },
    [](void* data, zwlr_layer_surface_v1*) { self(data).closedByCompositor(); },
};

const wl_buffer_listener bufferListener = {
    [](void* data, wl_buffer* buffer) { self(data).released(buffer); },
};

const wl_callback_listener syncListener = {
    [](void* data, wl_callback* callback, uint32_t) { static_cast<WaylandSurfaces*>(data)->syncAnswered(callback); },
};

const wl_callback_listener frameListener = {
    [](void* data, wl_callback* callback, uint32_t) { static_cast<WaylandSurfaces*>(data)->frameShown(callback); },
};

const wp_fractional_scale_v1_listener fractionalListener = {
    [](void* data, wp_fractional_scale_v1*, uint32_t scale) { self(data).preferredScale(scale); },
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
    if (fractional_ && viewport_ && scale120_ > 0) return scale120_ / 120.0;
    return output_ ? output_->scale : 1;
}

void WaylandSurface::map() {
    if (layer_ || closed_) return;
    auto& c = factory_.connection();
    placed_ = layoutRect(frame_);
    output_ = outputAt(c, placed_.center());
    if (!output_) return;
    surface_ = wl_compositor_create_surface(c.compositor());
    wl_surface_set_user_data(surface_, this);
    if (c.viewporter() && c.fractionalScale()) {
        viewport_ = wp_viewporter_get_viewport(c.viewporter(), surface_);
        fractional_ = wp_fractional_scale_manager_v1_get_fractional_scale(c.fractionalScale(), surface_);
        wp_fractional_scale_v1_add_listener(fractional_, &fractionalListener, this);
    }
    // The title names the surface for the compositor's tools.
    layer_ = zwlr_layer_shell_v1_get_layer_surface(c.layerShell(), surface_, output_->output,
                                                   ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, title_.c_str());
    zwlr_layer_surface_v1_add_listener(layer_, &layerListener, this);
    zwlr_layer_surface_v1_set_anchor(layer_, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT);
    // Placed from the output's corner, panels or not; and never pushing
    // other surfaces aside.
    zwlr_layer_surface_v1_set_exclusive_zone(layer_, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(layer_, ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
    sizeAsked_ = QSize();
    place();
    shownAt_ = placed_;
    applyInputRegion();
    configured_ = false;
    dirty_ = true;
    // The first commit carries no buffer; the compositor answers with a
    // configure, and the first drawing follows it.
    wl_surface_commit(surface_);
}

void WaylandSurface::unmap() {
    moves_.clear();
    commitOwed_ = false;
    factory_.forgetFrame(this);
    destroyBuffers();
    if (fractional_) wp_fractional_scale_v1_destroy(fractional_);
    if (viewport_) wp_viewport_destroy(viewport_);
    if (layer_) zwlr_layer_surface_v1_destroy(layer_);
    if (surface_) wl_surface_destroy(surface_);
    fractional_ = nullptr;
    viewport_ = nullptr;
    layer_ = nullptr;
    surface_ = nullptr;
    output_ = nullptr;
    configured_ = false;
    scale120_ = 0;
    bufferWidth_ = 0;
}

void WaylandSurface::place() {
    if (!layer_ || !output_) return;
    const QRect o = output_->logical;
    // The size only when it changes: a compositor answers a new size with
    // a configure to acknowledge, a round trip a moving fish does not need.
    if (placed_.size() != sizeAsked_) {
        sizeAsked_ = placed_.size();
        zwlr_layer_surface_v1_set_size(layer_, static_cast<uint32_t>(std::max(1, placed_.width())),
                                       static_cast<uint32_t>(std::max(1, placed_.height())));
    }
    zwlr_layer_surface_v1_set_margin(layer_, placed_.y() - o.y(), 0, 0, placed_.x() - o.x());
}

void WaylandSurface::setOrigin(Point origin) {
    if (frame_.origin == origin) return;
    frame_.origin = origin;
    if (!layer_) return;
    placed_ = layoutRect(frame_);
    Output* now = outputAt(factory_.connection(), placed_.center());
    // A layer surface belongs to one output: crossing to another one takes
    // a new surface there, but not in the middle of a drag, which a new
    // surface would end (the fish is cut at the output's edge until then).
    if (now != output_ && !pressed_) {
        replace();
        return;
    }
    place();
    if (configured_) commitMove();
}

void WaylandSurface::commitMove() {
    // In a motion step the commit waits for the step's end, where a
    // surface that is also redrawn takes the move with its new buffer.
    if (factory_.inBatch()) {
        commitOwed_ = true;
        factory_.commitLater(this);
    } else {
        wl_surface_commit(surface_);
    }
    if (!factory_.pointerOnSurface() && moves_.empty()) {
        // Nothing measures from it meanwhile: no need to hear when.
        factory_.noteMoved(false);
        shownAt_ = placed_;
        return;
    }
    moves_.emplace_back(factory_.noteMoved(true), placed_);
}

void WaylandSurface::commitOwed() {
    if (!commitOwed_ || !surface_) return;
    commitOwed_ = false;
    wl_surface_commit(surface_);
}

void WaylandSurface::movesApplied(std::uint64_t batch) {
    while (!moves_.empty() && moves_.front().first <= batch) {
        shownAt_ = moves_.front().second;
        moves_.pop_front();
    }
}

void WaylandSurface::setContentSize(Size size) {
    if (frame_.size == size) return;
    frame_.size = size;
    if (!layer_) return;
    placed_ = layoutRect(frame_);
    place();
    applyInputRegion();
    dirty_ = true;
    if (configured_) wl_surface_commit(surface_);
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
    applyInputRegion();
    if (configured_) wl_surface_commit(surface_);
}

void WaylandSurface::setInteractiveRegion(const std::vector<Rect>& rects) {
    region_ = rects;
    applyInputRegion();
    if (configured_) wl_surface_commit(surface_);
}

void WaylandSurface::applyInputRegion() {
    if (!surface_) return;
    // Exactly the interactive part takes the pointer: an empty region lets
    // every press through, as on X11.
    wl_region* region = factory_.connection().emptyRegion();
    if (!ignores_) {
        const double h = frame_.height();
        for (const Rect& r : region_) {
            const QRectF top(r.minX(), h - r.minY() - r.height(), r.width(), r.height());
            const QRect px = top.toAlignedRect();
            wl_region_add(region, px.x(), px.y(), px.width(), px.height());
        }
    }
    wl_surface_set_input_region(surface_, region);
    wl_region_destroy(region);
}

void WaylandSurface::setNeedsDisplay() {
    for (auto& b : buffers_) b.stale = b.image.rect();
    dirty_ = true;
    if (layer_) factory_.renderSoon(this);
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
    if (layer_) factory_.renderSoon(this);
}

void WaylandSurface::setMouseHandler(std::function<void(const SurfaceMouseEvent&)> handler) {
    mouse_ = std::move(handler);
}

void WaylandSurface::configured(uint32_t serial, uint32_t, uint32_t) {
    if (configured_) {
        // A moved surface is configured again at the same size. Some
        // compositors (KWin) place it only once that is acknowledged and
        // committed: answered at once, without drawing anything anew.
        zwlr_layer_surface_v1_ack_configure(layer_, serial);
        wl_surface_commit(surface_);
        // Only moves something measures from need the compositor's word
        // again; sway configures on every move, and at rest that word
        // would cost a round trip a step.
        if (!moves_.empty()) factory_.moveConfigured();
        return;
    }
    zwlr_layer_surface_v1_ack_configure(layer_, serial);
    configured_ = true;
    dirty_ = true;
    render();
}



void WaylandSurface::replace() {
    unmap();
    map();
}

void WaylandSurface::replaceSoon() {
    QTimer::singleShot(0, factory_.context(), [this, &factory = factory_] {
        if (!factory.isLive(this) || !shown_) return;
        if (layer_ && outputAt(factory.connection(), placed_.center()) == output_) return;
        replace();
    });
}

void WaylandSurface::closedByCompositor() {
    // The output went, or the compositor will not have it: placed afresh.
    unmap();
    replaceSoon();
}

void WaylandSurface::outputsChanged() {
    if (!layer_) {
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
    setNeedsDisplay();
}

void WaylandSurface::outputRemoved(const Output* output) {
    if (output_ != output) return;
    // Placed afresh on another output once the layout has settled.
    unmap();
    replaceSoon();
}

void WaylandSurface::preferredScale(uint32_t scale120) {
    if (scale120 == scale120_) return;
    scale120_ = scale120;
    setNeedsDisplay();
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
        const int stride = pixels.width() * 4;
        const std::size_t size = static_cast<std::size_t>(stride) * static_cast<std::size_t>(pixels.height());
        const int fd = memfd_create("orvella-surface", MFD_CLOEXEC);
        if (fd < 0) return nullptr;
        if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
            ::close(fd);
            return nullptr;
        }
        void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (data == MAP_FAILED) {
            ::close(fd);
            return nullptr;
        }
        wl_shm_pool* pool = wl_shm_create_pool(factory_.connection().shm(), fd, static_cast<int32_t>(size));
        b.buffer = wl_shm_pool_create_buffer(pool, 0, pixels.width(), pixels.height(), stride, WL_SHM_FORMAT_ARGB8888);
        wl_shm_pool_destroy(pool);
        ::close(fd);
        wl_buffer_add_listener(b.buffer, &bufferListener, this);
        b.data = data;
        b.size = size;
        // ARGB8888 in the compositor's words is Qt's premultiplied ARGB32
        // on a little-endian machine.
        b.image = QImage(static_cast<uchar*>(data), pixels.width(), pixels.height(), stride,
                         QImage::Format_ARGB32_Premultiplied);
        b.stale = b.image.rect();
        return &b;
    }
    return nullptr;  // both with the compositor: drawn when one comes back
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
    if (!dirty_ || !configured_ || !surface_ || closed_) return;
    if (factory_.framePending(output_)) {
        factory_.waitForFrame(this);
        return;
    }
    const double s = scale();
    const bool fractional = fractional_ && viewport_ && scale120_ > 0;
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
    for (int y = area.top(); y <= area.bottom(); ++y)
        std::memset(b->image.bits() + y * stride + 4 * area.left(), 0, static_cast<std::size_t>(4 * area.width()));
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
    if (fractional) {
        wl_surface_set_buffer_scale(surface_, 1);
        wp_viewport_set_destination(viewport_, placed_.width(), placed_.height());
    } else {
        wl_surface_set_buffer_scale(surface_, static_cast<int32_t>(s));
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
    factory_.askFrame(this, output_);
    wl_surface_commit(surface_);
    commitOwed_ = false;
    b->busy = true;
    bufferWidth_ = pixels.width();
}

namespace {
// sway measures pointer positions during a press from where the surface
// was when the press began, not from where it is now as other compositors
// do: a fish carried by a drag would run away from the pointer.
bool pressKeepsOrigin() {
    static const bool sway = !qEnvironmentVariableIsEmpty("SWAYSOCK");
    return sway;
}
}  // namespace

void WaylandSurface::pointer(const PointerEvent& event) {
    if (event.type == PointerEvent::Type::press && event.button == BTN_LEFT) pressOrigin_ = shownAt_;
    const QRect origin = pressed_ && pressKeepsOrigin() && event.type != PointerEvent::Type::press ? pressOrigin_
                                                                                                   : shownAt_;
    const Point global = linux_desktop::toDesktop(QPointF(origin.x() + event.x, origin.y() + event.y));
    if (factory_.onPointer) factory_.onPointer(event, global);
    SurfaceMouseEvent e;
    // In the surface as it is now, which may be ahead of the compositor.
    const double x = origin.x() + event.x - placed_.x(), y = origin.y() + event.y - placed_.y();
    e.location = {x, frame_.height() - y};
    switch (event.type) {
        case PointerEvent::Type::press: {
            // Another button only breaks a run of left clicks.
            if (event.button != BTN_LEFT) {
                lastPressTime_ = 0;
                return;
            }
            const auto* hints = QGuiApplication::styleHints();
            const QPointF at(origin.x() + event.x, origin.y() + event.y);
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
    connection_.onPointer = [this](const PointerEvent& event) {
        if (event.type == PointerEvent::Type::enter) pointerOnSurface_ = true;
        if (event.type == PointerEvent::Type::leave) pointerOnSurface_ = false;
        for (WaylandSurface* s : live_)
            if (event.surface && s->surface() == event.surface) {
                s->pointer(event);
                return;
            }
        // Left a surface that is gone: the pointer is on none of ours.
        if (event.type == PointerEvent::Type::leave && onPointer) onPointer(event, {});
    };
}

WaylandSurfaces::~WaylandSurfaces() {
    connection_.onPointer = nullptr;
    for (auto& [c, batch] : syncs_) wl_callback_destroy(c);
    for (auto& [output, frame] : frames_) wl_callback_destroy(frame.callback);
}

std::shared_ptr<Surface> WaylandSurfaces::createSurface(SurfaceKind kind, const Rect& contentRect,
                                                        const std::string& title, std::function<void(Canvas&)> draw) {
    return std::make_shared<WaylandSurface>(*this, kind, contentRect, title, std::move(draw));
}

void WaylandSurfaces::untrack(WaylandSurface* s) {
    live_.erase(s);
    pending_.erase(s);
    waiting_.erase(s);
    commits_.erase(s);
}

void WaylandSurfaces::renderSoon(WaylandSurface* s) {
    pending_.insert(s);
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

std::uint64_t WaylandSurfaces::noteMoved(bool awaitApplied) {
    moved_ = true;
    const std::uint64_t batch = batch_;
    if (!awaitApplied) return batch;
    syncNeeded_ = true;
    // Outside a motion step (a drag) the sync follows the commit at once,
    // in the same message: the compositor reads both before it moves the
    // pointer again.
    if (batchDepth_ == 0) syncMoves();
    return batch;
}

void WaylandSurfaces::moveConfigured() {
    // A compositor that configures a moved surface places it once that is
    // acknowledged: moves count as applied again after that answer. Every
    // move is still followed by a sync of its own: KWin 5.27 leaves a
    // surface that was once configured anew where it was until one comes.
    syncNeeded_ = true;
    syncMoves();
}

void WaylandSurfaces::syncMoves() {
    if (!syncNeeded_) return;
    syncNeeded_ = false;
    wl_callback* callback = wl_display_sync(connection_.display());
    wl_callback_add_listener(callback, &syncListener, this);
    syncs_.emplace_back(callback, batch_++);
}

void WaylandSurfaces::syncAnswered(wl_callback* callback) {
    std::uint64_t done = 0;
    while (!syncs_.empty()) {
        auto [c, batch] = syncs_.front();
        syncs_.pop_front();
        wl_callback_destroy(c);
        done = batch;
        if (c == callback) break;
    }
    for (WaylandSurface* s : live_) s->movesApplied(done);
}

bool WaylandSurfaces::framePending(const Output* output) {
    auto it = frames_.find(output);
    // Surfaces drawn together go out together under one frame.
    if (it == frames_.end() || it->second.round == round_) return false;
    // A compositor that does not answer for long (an output it no longer
    // shows) gets the next frame all the same.
    if (std::chrono::steady_clock::now() - it->second.asked < std::chrono::milliseconds(250)) return true;
    wl_callback_destroy(it->second.callback);
    frames_.erase(it);
    return false;
}

void WaylandSurfaces::askFrame(WaylandSurface* s, const Output* output) {
    if (frames_.count(output)) return;
    wl_callback* callback = wl_surface_frame(s->surface());
    wl_callback_add_listener(callback, &frameListener, this);
    frames_[output] = {callback, s, std::chrono::steady_clock::now(), round_};
}

void WaylandSurfaces::frameShown(wl_callback* callback) {
    for (auto it = frames_.begin(); it != frames_.end(); ++it) {
        if (it->second.callback != callback) continue;
        frames_.erase(it);
        break;
    }
    wl_callback_destroy(callback);
    wakeWaiting();
}

void WaylandSurfaces::forgetFrame(WaylandSurface* s) {
    bool held = false;
    for (auto it = frames_.begin(); it != frames_.end();) {
        if (it->second.holder != s) {
            ++it;
            continue;
        }
        wl_callback_destroy(it->second.callback);
        it = frames_.erase(it);
        held = true;
    }
    if (held) wakeWaiting();
}

void WaylandSurfaces::wakeWaiting() {
    auto waiting = std::move(waiting_);
    waiting_.clear();
    for (WaylandSurface* s : waiting)
        if (live_.count(s)) renderSoon(s);
}

void WaylandSurfaces::renderPending() {
    ++round_;
    auto pending = std::move(pending_);
    pending_.clear();
    for (WaylandSurface* s : pending)
        if (live_.count(s)) s->render();
    auto commits = std::move(commits_);
    commits_.clear();
    for (WaylandSurface* s : commits)
        if (live_.count(s)) s->commitOwed();
    syncMoves();
    connection_.flush();
}

}  // namespace orvella::wayland
