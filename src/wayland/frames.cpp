#include "wayland/frames.h"

#include <wayland-client.h>

#include <QTimer>

#include "wayland/hosts.h"
#include "wayland/surfaces.h"

namespace orvella::wayland {

namespace {

const wl_callback_listener frameListener = {
    .done = [](void* data, wl_callback* callback, uint32_t) {
        auto& h = *static_cast<Host*>(data);
        h.factory->frameShown(h, callback);
    },
};

}  // namespace

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

}  // namespace orvella::wayland
