#pragma once
// Handlers kept under the ids they were added with: display and session
// observers, mouse monitors. Every port that hands out an id for a callback
// keeps it here, so they all deliver the same way.
//
// Delivery policy: handlers are called in the order they were added; a
// handler removed while a delivery is under way (by itself or by another
// handler) is not called by it, and one added meanwhile waits for the next
// delivery. A handler may remove itself while it runs: it is called from a
// copy.

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace orvella::desktop {

template <class... Args>
class HandlerRegistry {
public:
    using Handler = std::function<void(Args...)>;

    // `group` sorts handlers into kinds delivered apart (the mouse's global
    // and local monitors) under one series of ids, so that removing an id
    // needs no kind. Ids start at 1 and are never handed out twice.
    int add(Handler handler, int group = 0) {
        const int id = next_++;
        entries_.push_back({id, group, std::move(handler)});
        return id;
    }

    // False when no handler has that id (never added, or removed before).
    bool remove(int id) {
        const auto it = std::find_if(entries_.begin(), entries_.end(), [id](const Entry& e) { return e.id == id; });
        if (it == entries_.end()) return false;
        entries_.erase(it);
        return true;
    }

    void deliver(Args... args) { deliverTo(0, args...); }

    void deliverTo(int group, Args... args) {
        std::vector<std::pair<int, Handler>> due;
        for (const Entry& e : entries_)
            if (e.group == group) due.emplace_back(e.id, e.handler);
        for (auto& [id, handler] : due)
            if (contains(id)) handler(args...);
    }

    bool contains(int id) const {
        return std::any_of(entries_.begin(), entries_.end(), [id](const Entry& e) { return e.id == id; });
    }
    bool empty() const { return entries_.empty(); }
    bool anyIn(int group) const {
        return std::any_of(entries_.begin(), entries_.end(), [group](const Entry& e) { return e.group == group; });
    }
    std::size_t size() const { return entries_.size(); }

private:
    struct Entry {
        int id;
        int group;
        Handler handler;
    };
    std::vector<Entry> entries_;
    int next_ = 1;
};

}  // namespace orvella::desktop
