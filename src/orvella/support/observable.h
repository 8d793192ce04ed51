#pragma once
// A value that tells its observers when it is set. The shell adapts these to
// Qt properties; the tank only publishes.

#include <functional>
#include <map>
#include <utility>

namespace orvella {

template <class T>
class Observable {
public:
    Observable() = default;
    explicit Observable(T initial) : value_(std::move(initial)) {}

    const T& get() const { return value_; }

    // Publishes even when the value is equal: observers may rely on every
    // assignment being seen.
    void set(T value) {
        value_ = std::move(value);
        // Copy so an observer may remove itself while being notified.
        auto observers = observers_;
        for (auto& [id, fn] : observers) fn();
    }

    // Puts a value in place without telling anyone (loading).
    void setSilently(T value) { value_ = std::move(value); }

    int observe(std::function<void()> fn) {
        const int id = nextID_++;
        observers_.emplace(id, std::move(fn));
        return id;
    }
    void unobserve(int id) { observers_.erase(id); }

private:
    T value_{};
    std::map<int, std::function<void()>> observers_;
    int nextID_ = 1;
};

}  // namespace orvella
