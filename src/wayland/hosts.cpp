#include "wayland/hosts.h"

#include <wayland-client.h>

#include <algorithm>

#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "wayland/buffers.h"
#include "wayland/surfaces.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"

namespace orvella::wayland {

namespace {

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

}  // namespace

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
    if (width > 0 && height > 0 && h.output) connection_.hostSized(*h.output, size);
    if (!h.buffer || size != h.size) {
        h.size = size;
        auto transparent = [&](QSize pixels) { return createTransparentBuffer(connection_.shm(), pixels); };
        if (h.viewport) {
            if (!h.buffer) h.buffer = transparent(QSize(1, 1));
            wp_viewport_set_destination(h.viewport, size.width(), size.height());
        } else {
            if (h.buffer) h.retired.push_back(h.buffer);
            h.buffer = transparent(size);
        }
        if (h.buffer) {
            wl_surface_attach(h.surface, h.buffer, 0, 0);
            damageBuffer(h.surface, QRect(0, 0, INT32_MAX / 2, INT32_MAX / 2), 1);
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
    connection_.surfaceDestroyed(h->surface);
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

}  // namespace orvella::wayland
