#pragma once
// Frame pacing: one frame callback per output, asked with the first buffer
// after the last answer. Until the compositor answers, it has not shown
// that output's last frame, and a new buffer there would only be dropped.

#include <chrono>
#include <cstdint>

struct wl_callback;

namespace orvella::wayland {

class WaylandSurface;

// The frame an output's compositor was asked to answer: until it does, it
// has not shown that output's last frame.
struct FrameAsked {
    wl_callback* callback = nullptr;
    WaylandSurface* holder = nullptr;
    std::chrono::steady_clock::time_point asked;
    std::uint64_t round = 0;
};

// Whether an output's compositor keeps up: then only one frame in four is
// asked to be answered; once an answer comes after the next round, every
// frame is, until a second of answers has come in time.
struct FramePacing {
    bool strict = false;
    int skip = 0;
    int prompt = 0;
    // The round it was last decided in.
    std::uint64_t round = 0;
};

}  // namespace orvella::wayland
