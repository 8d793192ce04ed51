#pragma once
// The hosts: one transparent layer surface per output that Orvella's
// surfaces hang from as subsurfaces, taking presses exactly where their
// interactive regions are.

#include <QSize>
#include <cstdint>
#include <vector>

#include "wayland/connection.h"
#include "wayland/frames.h"

struct wl_buffer;
struct wl_region;
struct wl_surface;
struct wp_viewport;
struct wp_fractional_scale_v1;
struct zwlr_layer_surface_v1;

namespace orvella::wayland {

class WaylandSurface;
class WaylandSurfaces;

// One per output, made when a surface first shows there: a transparent
// layer surface covering the output, that the surfaces there hang from. It
// takes presses exactly where its surfaces' interactive regions are.
struct Host {
    WaylandSurfaces* factory = nullptr;
    Output* output = nullptr;
    wl_surface* surface = nullptr;
    zwlr_layer_surface_v1* layer = nullptr;
    wp_viewport* viewport = nullptr;
    wp_fractional_scale_v1* fractional = nullptr;
    // Transparent: one pixel stretched over the output where the
    // compositor can stretch, else the output's size.
    wl_buffer* buffer = nullptr;
    // Buffers of a size the output no longer has, which the compositor
    // may still be reading: freed with the host.
    std::vector<wl_buffer*> retired;
    QSize size;
    bool configured = false;
    // Its surfaces, bottom to top.
    std::vector<WaylandSurface*> stack;
    bool regionStale = false;
    // Where its surfaces take presses, as last set.
    wl_region* input = nullptr;
    // The fractional scale the compositor prefers there, in 120ths.
    std::uint32_t scale120 = 0;
    FrameAsked frame;
    FramePacing pacing;
};

}  // namespace orvella::wayland
