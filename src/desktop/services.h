#pragma once
// Timers, clock and randomness on the Linux desktop.

#include <QObject>
#include <map>
#include <random>

#include "orvella/platform/clock.h"
#include "orvella/platform/random.h"
#include "orvella/platform/scheduler.h"

class QSocketNotifier;

namespace orvella::desktop {

class SystemClock : public Clock {
public:
    Time now() const override;
};

class SystemRandom : public Random {
public:
    std::uint64_t nextUnit53() override;
    std::uint64_t nextBelow(std::uint64_t upperBound) override;

private:
    std::uint64_t next64();
    std::random_device device_;
};

class QtScheduler : public QObject, public Scheduler {
public:
    QtScheduler() = default;
    ~QtScheduler() override;
    int scheduleRepeating(double interval, double tolerance, std::function<void()> action) override;
    int scheduleGatedRepeating(double interval, double tolerance, std::function<void()> action,
                               std::function<bool(double)> actsIn) override;
    void cancel(int handle) override;
    void dispatchMain(std::function<void()> work) override;
    void animate(double from, double to, double duration, std::function<void(double)> apply,
                 std::function<void()> completion) override;
    std::unique_ptr<WorkQueue> makeWorkQueue(const std::string& label) override;
    // `before` runs before the action of every repeating timer's firing,
    // `after` once it is done.
    void setTickHooks(std::function<void()> before, std::function<void()> after) {
        tickHook_ = std::move(before);
        tickEndHook_ = std::move(after);
    }

private:
    std::function<void()> tickHook_;
    std::function<void()> tickEndHook_;
    struct Timer {
        int fd = -1;
        QSocketNotifier* notifier = nullptr;
        // Gated timers: the grid (first firing and period, in
        // CLOCK_MONOTONIC nanoseconds), the firing the fd is set for, and
        // whether a firing would act.
        long long origin = 0, period = 0, armed = 0;
        std::function<bool(double)> actsIn;
    };
    int start(double interval, std::function<void()> action, std::function<bool(double)> actsIn);
    // Sets a gated timer's fd for its next firing that would act.
    void arm(Timer& timer);
    std::map<int, Timer> timers_;
    bool watchingSleep_ = false;
    int next_ = 1;
};

}  // namespace orvella::desktop
