#include "wayland/connection.h"

#include <wayland-client.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <linux/input-event-codes.h>

#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "wayland/toplevels.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "xdg-activation-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

namespace orvella::wayland {

namespace {

WaylandConnection& self(void* data) { return *static_cast<WaylandConnection*>(data); }

const wl_registry_listener registryListener = {
    .global = [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
        self(data).global(registry, name, interface, version);
    },
    .global_remove = [](void* data, wl_registry*, uint32_t name) { self(data).globalRemove(name); },
};

// wl_output and xdg_output events land on the Output; the connection is
// reached through the output's listener data pair.
struct OutputLink {
    WaylandConnection* connection;
    Output* output;
};

const wl_output_listener outputListener = {
    .geometry = [](void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char*, const char*,
                   int32_t transform) {
        // Without xdg-output the physical position stands for the logical one.
        auto* link = static_cast<OutputLink*>(data);
        if (!link->output->xdg) link->output->logical.moveTopLeft(QPoint(x, y));
        link->output->transform = transform;
    },
    .mode = [](void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
        auto* link = static_cast<OutputLink*>(data);
        if (flags & WL_OUTPUT_MODE_CURRENT) link->output->modePixels = QSize(width, height);
    },
    .done = [](void* data, wl_output*) {
        auto* link = static_cast<OutputLink*>(data);
        link->connection->outputDone(*link->output);
    },
    .scale = [](void* data, wl_output*, int32_t factor) { static_cast<OutputLink*>(data)->output->scale = std::max(1, factor); },
    .name = [](void* data, wl_output*, const char* name) { static_cast<OutputLink*>(data)->output->name = name; },
    .description = [](void*, wl_output*, const char*) {},
};

const zxdg_output_v1_listener xdgOutputListener = {
    .logical_position = [](void* data, zxdg_output_v1*, int32_t x, int32_t y) {
        static_cast<OutputLink*>(data)->output->logical.moveTopLeft(QPoint(x, y));
    },
    .logical_size = [](void* data, zxdg_output_v1*, int32_t width, int32_t height) {
        static_cast<OutputLink*>(data)->output->logical.setSize(QSize(width, height));
    },
    .done = [](void* data, zxdg_output_v1*) {
        auto* link = static_cast<OutputLink*>(data);
        link->connection->outputChanged(*link->output);
    },
    .name = [](void* data, zxdg_output_v1*, const char* name) { static_cast<OutputLink*>(data)->output->name = name; },
    .description = [](void*, zxdg_output_v1*, const char*) {},
};

const zwlr_layer_surface_v1_listener probeListener = {
    .configure = [](void* data, zwlr_layer_surface_v1*, uint32_t serial, uint32_t width, uint32_t height) {
        auto* link = static_cast<OutputLink*>(data);
        link->connection->probeConfigured(*link->output, serial, width, height);
    },
    .closed = [](void*, zwlr_layer_surface_v1*) {},
};

const wl_seat_listener seatListener = {
    .capabilities = [](void* data, wl_seat*, uint32_t capabilities) { self(data).seatCapabilities(capabilities); },
    .name = [](void*, wl_seat*, const char*) {},
};

// Named member by member: libwayland adds events (axis_relative_direction in
// 1.22, warp in 1.25), and the pointer is bound at a version that sends
// none of the newer ones; each still gets a handler that does nothing.
const wl_pointer_listener pointerListener = {
    .enter = [](void* data, wl_pointer*, uint32_t, wl_surface* surface, wl_fixed_t x, wl_fixed_t y) {
        self(data).pointerEvent(
            {PointerEvent::Type::enter, surface, wl_fixed_to_double(x), wl_fixed_to_double(y), 0, 0, 0});
    },
    .leave = [](void* data, wl_pointer*, uint32_t, wl_surface* surface) {
        self(data).pointerEvent({PointerEvent::Type::leave, surface, 0, 0, 0, 0, 0});
    },
    .motion = [](void* data, wl_pointer*, uint32_t time, wl_fixed_t x, wl_fixed_t y) {
        self(data).pointerEvent(
            {PointerEvent::Type::motion, nullptr, wl_fixed_to_double(x), wl_fixed_to_double(y), 0, time, 0});
    },
    .button = [](void* data, wl_pointer*, uint32_t serial, uint32_t time, uint32_t button, uint32_t state) {
        self(data).pointerEvent({state == WL_POINTER_BUTTON_STATE_PRESSED ? PointerEvent::Type::press
                                                                          : PointerEvent::Type::release,
                                 nullptr, 0, 0, button, time, serial});
    },
    .axis = [](void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {},
    .frame = [](void*, wl_pointer*) {},
    .axis_source = [](void*, wl_pointer*, uint32_t) {},
    .axis_stop = [](void*, wl_pointer*, uint32_t, uint32_t) {},
    .axis_discrete = [](void*, wl_pointer*, uint32_t, int32_t) {},
    .axis_value120 = [](void*, wl_pointer*, uint32_t, int32_t) {},
#ifdef WL_POINTER_AXIS_RELATIVE_DIRECTION_SINCE_VERSION
    .axis_relative_direction = [](void*, wl_pointer*, uint32_t, uint32_t) {},
#endif
#ifdef WL_POINTER_WARP_SINCE_VERSION
    .warp = [](void*, wl_pointer*, wl_fixed_t, wl_fixed_t) {},
#endif
};

// Registry scan of a short-lived connection: is there a layer shell?
const wl_registry_listener probeRegistryListener = {
    .global = [](void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
        if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0) *static_cast<bool*>(data) = true;
    },
    .global_remove = [](void*, wl_registry*, uint32_t) {},
};

// The compositor keeps an output object per bind until told to let go,
// which it can be from version 3: one per re-plug otherwise.
void releaseOutput(wl_output* output) {
    if (wl_output_get_version(output) >= WL_OUTPUT_RELEASE_SINCE_VERSION) wl_output_release(output);
    else wl_output_destroy(output);
}
}  // namespace

bool WaylandConnection::offersLayerShell() {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) return false;
    bool found = false;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &probeRegistryListener, &found);
    wl_display_roundtrip(display);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return found;
}

std::unique_ptr<WaylandConnection> WaylandConnection::open(const char* name) {
    wl_display* display = wl_display_connect(name);
    if (!display) return nullptr;
    std::unique_ptr<WaylandConnection> connection(new WaylandConnection(display));
    // Globals, then what they announce (outputs' geometry), then the
    // probes' first configure.
    for (int i = 0; i < 3; ++i) connection->roundtrip();
    if (!connection->layerShell_ || !connection->compositor_ || !connection->subcompositor_ || !connection->shm_)
        return nullptr;
    return connection;
}

WaylandConnection::WaylandConnection(wl_display* display) : display_(display) {
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &registryListener, this);
    notifier_ = std::make_unique<QSocketNotifier>(wl_display_get_fd(display_), QSocketNotifier::Read);
    // Never waits: what made the socket readable may have been read since,
    // in the same turn of the event loop (a tick, a round trip).
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { readArrived(); });
    // Requests made during a turn of the event loop go out before it sleeps.
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] { flush(); });
}

WaylandConnection::~WaylandConnection() {
    for (auto& output : outputs_) {
        if (output->probe) zwlr_layer_surface_v1_destroy(output->probe);
        if (output->probeSurface) wl_surface_destroy(output->probeSurface);
        if (output->xdg) zxdg_output_v1_destroy(output->xdg);
        delete static_cast<OutputLink*>(wl_output_get_user_data(output->output));
        releaseOutput(output->output);
    }
    releasePointer();
    toplevels_.reset();
    if (activation_) xdg_activation_v1_destroy(activation_);
    if (seat_) {
        if (wl_seat_get_version(seat_) >= WL_SEAT_RELEASE_SINCE_VERSION) wl_seat_release(seat_);
        else wl_seat_destroy(seat_);
    }
    if (fractionalScale_) wp_fractional_scale_manager_v1_destroy(fractionalScale_);
    if (viewporter_) wp_viewporter_destroy(viewporter_);
    if (xdgOutputs_) zxdg_output_manager_v1_destroy(xdgOutputs_);
    if (layerShell_) {
        // Its destroy request came with version 3; before, only our end goes.
        if (zwlr_layer_shell_v1_get_version(layerShell_) >= ZWLR_LAYER_SHELL_V1_DESTROY_SINCE_VERSION)
            zwlr_layer_shell_v1_destroy(layerShell_);
        else wl_proxy_destroy(reinterpret_cast<wl_proxy*>(layerShell_));
    }
    if (shm_) wl_shm_destroy(shm_);
    if (subcompositor_) wl_subcompositor_destroy(subcompositor_);
    if (compositor_) wl_compositor_destroy(compositor_);
    wl_registry_destroy(registry_);
    wl_display_flush(display_);
    wl_display_disconnect(display_);
}

namespace {
// Interfaces left unbound as if the compositor lacked them, named in
// ORVELLA_WAYLAND_WITHOUT (comma-separated): how the tests try the paths
// of compositors they cannot run.
bool leftOut(const char* interface) {
    static const std::vector<std::string> without = [] {
        std::vector<std::string> names;
        const char* value = std::getenv("ORVELLA_WAYLAND_WITHOUT");
        std::string rest = value ? value : "";
        for (std::size_t at = 0; at <= rest.size();) {
            const std::size_t comma = std::min(rest.find(',', at), rest.size());
            if (comma > at) names.push_back(rest.substr(at, comma - at));
            at = comma + 1;
        }
        return names;
    }();
    return std::find(without.begin(), without.end(), interface) != without.end();
}
}  // namespace

void WaylandConnection::global(wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    if (leftOut(interface)) return;
    auto is = [&](const wl_interface& i) { return std::strcmp(interface, i.name) == 0; };
    auto bind = [&](const wl_interface& i, uint32_t most) {
        return wl_registry_bind(registry, name, &i, std::min(version, most));
    };
    if (is(wl_compositor_interface)) {
        compositor_ = static_cast<wl_compositor*>(bind(wl_compositor_interface, 4));
    } else if (is(wl_subcompositor_interface)) {
        subcompositor_ = static_cast<wl_subcompositor*>(bind(wl_subcompositor_interface, 1));
    } else if (is(wl_shm_interface)) {
        shm_ = static_cast<wl_shm*>(bind(wl_shm_interface, 1));
    } else if (is(wl_seat_interface) && !seat_) {
        seat_ = static_cast<wl_seat*>(bind(wl_seat_interface, 5));
        wl_seat_add_listener(seat_, &seatListener, this);
    } else if (is(zwlr_layer_shell_v1_interface)) {
        layerShellVersion_ = static_cast<int>(std::min(version, 4u));
        layerShell_ = static_cast<zwlr_layer_shell_v1*>(bind(zwlr_layer_shell_v1_interface, 4));
        for (auto& output : outputs_) probe(*output);
    } else if (is(zxdg_output_manager_v1_interface)) {
        xdgOutputs_ = static_cast<zxdg_output_manager_v1*>(bind(zxdg_output_manager_v1_interface, 3));
        for (auto& output : outputs_) watchOutput(*output);
    } else if (is(wp_viewporter_interface)) {
        viewporter_ = static_cast<wp_viewporter*>(bind(wp_viewporter_interface, 1));
    } else if (is(wp_fractional_scale_manager_v1_interface)) {
        fractionalScale_ =
            static_cast<wp_fractional_scale_manager_v1*>(bind(wp_fractional_scale_manager_v1_interface, 1));
    } else if (is(xdg_activation_v1_interface)) {
        activation_ = static_cast<xdg_activation_v1*>(bind(xdg_activation_v1_interface, 1));
    } else if (is(zwlr_foreign_toplevel_manager_v1_interface) && !toplevels_) {
        toplevels_ = std::make_unique<ForeignToplevels>(
            display_, static_cast<zwlr_foreign_toplevel_manager_v1*>(bind(zwlr_foreign_toplevel_manager_v1_interface, 3)));
    } else if (is(wl_output_interface)) {
        auto output = std::make_unique<Output>();
        output->globalName = name;
        output->output = static_cast<wl_output*>(bind(wl_output_interface, 4));
        wl_output_add_listener(output->output, &outputListener, new OutputLink{this, output.get()});
        outputs_.push_back(std::move(output));
        watchOutput(*outputs_.back());
        probe(*outputs_.back());
    }
}

void WaylandConnection::watchOutput(Output& output) {
    if (!xdgOutputs_ || output.xdg) return;
    output.xdg = zxdg_output_manager_v1_get_xdg_output(xdgOutputs_, output.output);
    zxdg_output_v1_add_listener(output.xdg, &xdgOutputListener, wl_output_get_user_data(output.output));
}

void WaylandConnection::probe(Output& output) {
    if (!layerShell_ || !compositor_ || output.probe) return;
    output.probeSurface = wl_compositor_create_surface(compositor_);
    output.probe = zwlr_layer_shell_v1_get_layer_surface(layerShell_, output.probeSurface, output.output,
                                                         ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND, "orvella-probe");
    zwlr_layer_surface_v1_set_anchor(output.probe,
                                     ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                         ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_size(output.probe, 0, 0);
    zwlr_layer_surface_v1_set_exclusive_zone(output.probe, 0);
    zwlr_layer_surface_v1_add_listener(output.probe, &probeListener, wl_output_get_user_data(output.output));
    wl_surface_commit(output.probeSurface);
}

void WaylandConnection::probeConfigured(Output& output, uint32_t serial, uint32_t width, uint32_t height) {
    zwlr_layer_surface_v1_ack_configure(output.probe, serial);
    // The probe is never given a buffer, so it is never shown; its
    // configure says where panels end. Centred by the compositor when
    // panels take one side only, so the offset comes from the output's
    // size and the probe's when a side is known, else none.
    const QRect usable(0, 0, static_cast<int>(width), static_cast<int>(height));
    if (usable != output.usable) {
        output.usable = usable;
        outputsChangedSoon();
    }
}

void WaylandConnection::globalRemove(uint32_t name) {
    auto it = std::find_if(outputs_.begin(), outputs_.end(), [&](auto& o) { return o->globalName == name; });
    if (it == outputs_.end()) return;
    Output& output = **it;
    if (onOutputRemoved) onOutputRemoved(&output);
    if (output.probe) zwlr_layer_surface_v1_destroy(output.probe);
    if (output.probeSurface) wl_surface_destroy(output.probeSurface);
    if (output.xdg) zxdg_output_v1_destroy(output.xdg);
    delete static_cast<OutputLink*>(wl_output_get_user_data(output.output));
    releaseOutput(output.output);
    outputs_.erase(it);
    outputsChangedSoon();
}

void WaylandConnection::outputChanged(Output& output) {
    output.ready = !output.logical.isEmpty();
    outputsChangedSoon();
}

void WaylandConnection::outputDone(Output& output) {
    if (!output.xdg && !output.modePixels.isEmpty()) {
        // The mode is in pixels, before the output's turn and its scale: a
        // first guess, which the host's configure corrects (a fractional
        // scale tells itself only there).
        QSize size = output.modePixels;
        if (output.transform & 1) size.transpose();  // 90 and 270, flipped or not
        const int scale = std::max(1, output.scale);
        output.logical.setSize(QSize((size.width() + scale - 1) / scale, (size.height() + scale - 1) / scale));
    }
    outputChanged(output);
}

void WaylandConnection::hostSized(Output& output, QSize size) {
    if (output.xdg || size.isEmpty() || size == output.logical.size()) return;
    output.logical.setSize(size);
    outputChanged(output);
}

void WaylandConnection::outputsChangedSoon() {
    if (changeQueued_) return;
    changeQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        changeQueued_ = false;
        if (onOutputsChanged) onOutputsChanged();
    });
}

Output* WaylandConnection::outputFor(wl_output* output) const {
    for (auto& o : outputs_)
        if (o->output == output) return o.get();
    return nullptr;
}

void WaylandConnection::seatCapabilities(uint32_t capabilities) {
    const bool hasPointer = capabilities & WL_SEAT_CAPABILITY_POINTER;
    if (hasPointer && !pointer_) {
        pointer_ = wl_seat_get_pointer(seat_);
        wl_pointer_add_listener(pointer_, &pointerListener, this);
    } else if (!hasPointer && pointer_) {
        // Gone with whatever it held: no release will follow a press.
        pointerEvent({PointerEvent::Type::leave, nullptr, 0, 0, 0, 0, 0});
        releasePointer();
    }
}

void WaylandConnection::releasePointer() {
    if (!pointer_) return;
    // From version 3 the compositor lets go of its end only when told.
    if (wl_pointer_get_version(pointer_) >= WL_POINTER_RELEASE_SINCE_VERSION) wl_pointer_release(pointer_);
    else wl_pointer_destroy(pointer_);
    pointer_ = nullptr;
}

void WaylandConnection::pointerEvent(const PointerEvent& event) {
    PointerEvent e = event;
    switch (e.type) {
        case PointerEvent::Type::enter:
            pointerSurface_ = e.surface;
            pointerX_ = e.x;
            pointerY_ = e.y;
            break;
        case PointerEvent::Type::leave:
            // A destroyed surface is left with no surface at all.
            if (!e.surface || pointerSurface_ == e.surface) pointerSurface_ = nullptr;
            if (onPointer) onPointer(e);
            return;
        case PointerEvent::Type::motion:
            pointerX_ = e.x;
            pointerY_ = e.y;
            e.surface = pointerSurface_;
            break;
        case PointerEvent::Type::press:
            if (e.button == BTN_LEFT && pointerSurface_) {
                pressSerial_ = e.serial;
                pressSurface_ = pointerSurface_;
            }
            [[fallthrough]];
        case PointerEvent::Type::release:
            e.surface = pointerSurface_;
            e.x = pointerX_;
            e.y = pointerY_;
            break;
    }
    if (e.surface && onPointer) onPointer(e);
}

wl_region* WaylandConnection::emptyRegion() { return wl_compositor_create_region(compositor_); }

void WaylandConnection::flush() {
    if (display_) wl_display_flush(display_);
}

void WaylandConnection::roundtrip() { wl_display_roundtrip(display_); }

void WaylandConnection::lost() {
    if (lost_) return;
    lost_ = true;
    std::fprintf(stderr, "orvella: lost the connection to the Wayland compositor\n");
    notifier_->setEnabled(false);
    QCoreApplication::exit(1);
}

void WaylandConnection::setReadOnArrival(bool onArrival) {
    if (!lost_ && notifier_->isEnabled() != onArrival) notifier_->setEnabled(onArrival);
}

void WaylandConnection::readArrived() {
    if (lost_) return;
    while (wl_display_prepare_read(display_) != 0)
        if (wl_display_dispatch_pending(display_) < 0) return lost();
    // The socket does not block: with nothing there this reads nothing.
    if (wl_display_read_events(display_) < 0 || wl_display_dispatch_pending(display_) < 0) return lost();
    if (toplevels_ && !toplevels_->dispatchPending()) lost();
}

void WaylandConnection::surfaceDestroyed(wl_surface* surface) {
    if (pressSurface_ == surface) pressSurface_ = nullptr;
    if (pointerSurface_ == surface) pointerSurface_ = nullptr;
}

namespace {
struct TokenWait {
    std::string token;
    bool done = false;
};
const xdg_activation_token_v1_listener tokenListener = {
    .done = [](void* data, xdg_activation_token_v1*, const char* token) {
        auto* wait = static_cast<TokenWait*>(data);
        wait->token = token ? token : "";
        wait->done = true;
    },
};
}  // namespace

std::string WaylandConnection::activationToken(const std::string& appId) {
    if (lost_ || !activation_ || !seat_ || !pressSurface_) return {};
    // Asked and answered on a queue of its own: waiting for the answer
    // handles nothing else (no pointer event lands in the middle of the
    // click that asked).
    wl_event_queue* queue = wl_display_create_queue(display_);
    auto* activation = static_cast<xdg_activation_v1*>(wl_proxy_create_wrapper(activation_));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(activation), queue);
    xdg_activation_token_v1* token = xdg_activation_v1_get_activation_token(activation);
    wl_proxy_wrapper_destroy(activation);
    TokenWait wait;
    xdg_activation_token_v1_add_listener(token, &tokenListener, &wait);
    xdg_activation_token_v1_set_serial(token, pressSerial_, seat_);
    xdg_activation_token_v1_set_surface(token, pressSurface_);
    if (!appId.empty()) xdg_activation_token_v1_set_app_id(token, appId.c_str());
    xdg_activation_token_v1_commit(token);
    // The answer comes with the next round trip; a compositor that never
    // answers costs three, not a frozen school.
    for (int i = 0; i < 3 && !wait.done; ++i)
        if (wl_display_roundtrip_queue(display_, queue) < 0) break;
    xdg_activation_token_v1_destroy(token);
    wl_event_queue_destroy(queue);
    // The round trips read what came for the main queue too; it is handled
    // once this turn of the event loop is over.
    QTimer::singleShot(0, this, [this] { readArrived(); });
    return wait.token;
}

}  // namespace orvella::wayland
