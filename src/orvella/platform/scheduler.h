#pragma once

#include <functional>

namespace orvella {

class Scheduler {
public:
    virtual ~Scheduler() = default;
    // A repeating main-thread timer that keeps firing while menus are open.
    // Returns a handle; 0 is never a valid handle.
    virtual int scheduleRepeating(double interval, double tolerance, std::function<void()> action) = 0;
    virtual void cancel(int handle) = 0;
    // Runs `work` on the main thread at the next turn of the event loop.
    virtual void dispatchMain(std::function<void()> work) = 0;
    // Eases a value from `from` to `to` over `duration` seconds with the
    // ease-out curve (cubic-bezier 0, 0, 0.58, 1), calling `apply` with each
    // value on the main thread and `completion` once at the end.
    virtual void animate(double from, double to, double duration, std::function<void(double)> apply,
                         std::function<void()> completion) = 0;
};

}  // namespace orvella
