#include "wayland/toplevels.h"

#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>

#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

namespace orvella::wayland {

namespace {

using Window = ForeignToplevels::Window;

struct HandleLink {
    ForeignToplevels* list;
    Window* window;
};
Window& windowOf(void* data) { return *static_cast<HandleLink*>(data)->window; }

const zwlr_foreign_toplevel_handle_v1_listener handleListener = {
    .title = [](void*, zwlr_foreign_toplevel_handle_v1*, const char*) {},
    .app_id = [](void* data, zwlr_foreign_toplevel_handle_v1*,
                 const char* appId) { windowOf(data).pendingAppId = appId ? appId : ""; },
    .output_enter = [](void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {},
    .output_leave = [](void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {},
    .state =
        [](void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states) {
            bool activated = false;
            // The array holds uint32 states; a short tail is no state.
            const auto* first = static_cast<const uint32_t*>(states->data);
            for (size_t i = 0; i < states->size / sizeof(uint32_t); ++i)
                if (first[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED) activated = true;
            windowOf(data).pendingActivated = activated;
        },
    .done = [](void* data, zwlr_foreign_toplevel_handle_v1*) {
        auto* link = static_cast<HandleLink*>(data);
        link->list->done(*link->window);
    },
    .closed = [](void* data, zwlr_foreign_toplevel_handle_v1*) {
        auto* link = static_cast<HandleLink*>(data);
        link->list->closed(*link->window);
    },
    .parent = [](void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {},
};

const zwlr_foreign_toplevel_manager_v1_listener managerListener = {
    .toplevel = [](void* data, zwlr_foreign_toplevel_manager_v1*,
                   zwlr_foreign_toplevel_handle_v1* handle) { static_cast<ForeignToplevels*>(data)->added(handle); },
    .finished = [](void* data, zwlr_foreign_toplevel_manager_v1*) { static_cast<ForeignToplevels*>(data)->finished(); },
};

void destroyHandle(zwlr_foreign_toplevel_handle_v1* handle) {
    delete static_cast<HandleLink*>(zwlr_foreign_toplevel_handle_v1_get_user_data(handle));
    zwlr_foreign_toplevel_handle_v1_destroy(handle);
}

}  // namespace

ForeignToplevels::ForeignToplevels(wl_display* display, zwlr_foreign_toplevel_manager_v1* manager,
                                   std::string ownAppId)
    : display_(display), queue_(wl_display_create_queue(display)), manager_(manager), ownAppId_(std::move(ownAppId)) {
    // Bound a moment ago: nothing has come for it yet, and the handles it
    // announces are created on its queue.
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(manager_), queue_);
    zwlr_foreign_toplevel_manager_v1_add_listener(manager_, &managerListener, this);
}

ForeignToplevels::~ForeignToplevels() {
    for (auto& w : windows_) destroyHandle(w->handle);
    // Not waiting for finished: the connection ends, or the list does.
    if (manager_) zwlr_foreign_toplevel_manager_v1_destroy(manager_);
    wl_event_queue_destroy(queue_);
}

bool ForeignToplevels::dispatchPending() { return wl_display_dispatch_queue_pending(display_, queue_) >= 0; }

bool ForeignToplevels::refresh() {
    if (!manager_) return true;
    return wl_display_roundtrip_queue(display_, queue_) >= 0;
}

void ForeignToplevels::added(zwlr_foreign_toplevel_handle_v1* handle) {
    auto window = std::make_unique<Window>();
    window->handle = handle;
    window->id = nextId_++;
    zwlr_foreign_toplevel_handle_v1_add_listener(handle, &handleListener, new HandleLink{this, window.get()});
    windows_.push_back(std::move(window));
}

void ForeignToplevels::done(Window& window) {
    window.appId = window.pendingAppId;
    if (window.pendingActivated && !window.activated) window.focusedAt = ++focusClock_;
    window.activated = window.pendingActivated;
    window.shown = true;
}

void ForeignToplevels::closed(Window& window) {
    auto it = std::find_if(windows_.begin(), windows_.end(), [&](auto& w) { return w.get() == &window; });
    if (it == windows_.end()) return;
    destroyHandle(window.handle);
    windows_.erase(it);
}

void ForeignToplevels::finished() {
    // The compositor lists no more: what was listed can no longer be
    // trusted or activated.
    for (auto& w : windows_) destroyHandle(w->handle);
    windows_.clear();
    zwlr_foreign_toplevel_manager_v1_destroy(manager_);
    manager_ = nullptr;
}

desktop::ListedWindow ForeignToplevels::listed(const Window& window) const {
    desktop::ListedWindow out;
    out.id = window.id;
    out.instance = out.className = window.appId;
    // The protocol tells no process; our own windows are known by name.
    if (!ownAppId_.empty() && window.appId == ownAppId_) out.processID = static_cast<int>(::getpid());
    return out;
}

std::vector<desktop::ListedWindow> ForeignToplevels::windows() const {
    std::vector<const Window*> shown;
    for (auto& w : windows_)
        if (w->shown) shown.push_back(w.get());
    // Never focused ones first, in the order they came; then by focus.
    std::stable_sort(shown.begin(), shown.end(),
                     [](const Window* a, const Window* b) { return a->focusedAt < b->focusedAt; });
    std::vector<desktop::ListedWindow> out;
    for (const Window* w : shown) out.push_back(listed(*w));
    return out;
}

std::optional<desktop::ListedWindow> ForeignToplevels::active() const {
    for (auto& w : windows_)
        if (w->shown && w->activated) return listed(*w);
    return std::nullopt;
}

bool ForeignToplevels::activate(unsigned long id, wl_seat* seat) {
    if (!manager_ || !seat) return false;
    for (auto& w : windows_)
        if (w->id == id) {
            zwlr_foreign_toplevel_handle_v1_activate(w->handle, seat);
            wl_display_flush(display_);
            return true;
        }
    return false;
}

}  // namespace orvella::wayland
