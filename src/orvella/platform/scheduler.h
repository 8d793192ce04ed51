#pragma once

#include <functional>
#include <memory>
#include <string>

namespace orvella {

// Work that runs off the main thread, one item at a time in order. Every
// method may be called from any thread.
class WorkQueue {
public:
    // Waits for the item that is running and drops the rest.
    virtual ~WorkQueue() = default;
    virtual void async(std::function<void()> work) = 0;
    // Runs `work` on the queue at once and then every `interval` seconds,
    // each firing up to `leeway` late. Returns a handle; 0 is never valid.
    virtual int scheduleRepeating(double interval, double leeway, std::function<void()> work) = 0;
    virtual void cancel(int handle) = 0;
};

class Scheduler {
public:
    virtual ~Scheduler() = default;
    // A repeating main-thread timer that keeps firing while menus are open.
    // Returns a handle; 0 is never a valid handle.
    virtual int scheduleRepeating(double interval, double tolerance, std::function<void()> action) = 0;
    // The same for an action that acts on some firings only (it checks for
    // itself and returns at once on the others): `actsIn(s)` tells whether
    // a firing s seconds from now would act, so that the platform may sleep
    // through the firings that would not. Firings stay on the grid of
    // `interval`. Here every firing runs.
    virtual int scheduleGatedRepeating(double interval, double tolerance, std::function<void()> action,
                                       std::function<bool(double)> actsIn) {
        (void)actsIn;
        return scheduleRepeating(interval, tolerance, std::move(action));
    }
    virtual void cancel(int handle) = 0;
    // Runs `work` on the main thread at the next turn of the event loop.
    // May be called from any thread.
    virtual void dispatchMain(std::function<void()> work) = 0;
    // A new serial queue; `label` names it for debugging tools.
    virtual std::unique_ptr<WorkQueue> makeWorkQueue(const std::string& label) = 0;
    // Eases a value from `from` to `to` over `duration` seconds with the
    // ease-out curve (cubic-bezier 0, 0, 0.58, 1), calling `apply` with each
    // value on the main thread and `completion` once at the end.
    virtual void animate(double from, double to, double duration, std::function<void(double)> apply,
                         std::function<void()> completion) = 0;
};

}  // namespace orvella
