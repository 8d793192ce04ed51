#pragma once
// Other clients' top-level windows as a compositor without a window-listing
// interface of its own lists them (labwc and other wlroots compositors):
// their app ids and which has the focus, and a way to bring one forward.
// Kept on an event queue of its own, so that refreshing the list in the
// middle of a click handles no other event.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "desktop/window_list.h"

struct wl_display;
struct wl_event_queue;
struct wl_seat;
struct zwlr_foreign_toplevel_manager_v1;
struct zwlr_foreign_toplevel_handle_v1;

namespace orvella::wayland {

class ForeignToplevels {
public:
    // Takes the bound manager; `ownAppId` names our own windows (the
    // settings window), which are listed with this process's id.
    ForeignToplevels(wl_display* display, zwlr_foreign_toplevel_manager_v1* manager, std::string ownAppId = "orvella");
    ~ForeignToplevels();
    ForeignToplevels(const ForeignToplevels&) = delete;
    ForeignToplevels& operator=(const ForeignToplevels&) = delete;

    // Handles what has been read for the list; false when the connection
    // has failed.
    bool dispatchPending();
    // Asks the compositor for what changed and waits for the answer.
    bool refresh();
    // The windows, least recently focused first: the protocol tells no
    // stacking, and the window focused last is the one on top.
    std::vector<desktop::ListedWindow> windows() const;
    std::optional<desktop::ListedWindow> active() const;
    // Asks for the window with this id to be raised and focused.
    bool activate(unsigned long id, wl_seat* seat);

    struct Window {
        zwlr_foreign_toplevel_handle_v1* handle = nullptr;
        unsigned long id = 0;
        std::string appId, pendingAppId;
        bool activated = false, pendingActivated = false;
        bool shown = false;  // a first done has come
        std::uint64_t focusedAt = 0;
    };
    // Listener entry points.
    void added(zwlr_foreign_toplevel_handle_v1* handle);
    void done(Window& window);
    void closed(Window& window);
    void finished();

private:
    desktop::ListedWindow listed(const Window& window) const;
    wl_display* display_;
    wl_event_queue* queue_;
    zwlr_foreign_toplevel_manager_v1* manager_;
    std::string ownAppId_;
    std::vector<std::unique_ptr<Window>> windows_;
    unsigned long nextId_ = 1;
    std::uint64_t focusClock_ = 0;
};

}  // namespace orvella::wayland
