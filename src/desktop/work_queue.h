#pragma once
// A serial queue on a thread of its own, with repeating timers.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "orvella/platform/scheduler.h"

namespace orvella::desktop {

class ThreadWorkQueue : public WorkQueue {
public:
    explicit ThreadWorkQueue(std::string label);
    // Lets the running item finish, drops the rest and joins the thread.
    ~ThreadWorkQueue() override;
    void async(std::function<void()> work) override;
    int scheduleRepeating(double interval, double leeway, std::function<void()> work) override;
    void cancel(int handle) override;

private:
    using Clock = std::chrono::steady_clock;
    struct Timer {
        Clock::duration interval;
        Clock::time_point next;
        std::function<void()> work;
    };
    void run();

    const std::string label_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> pending_;
    std::map<int, Timer> timers_;
    int next_ = 1;
    bool stopping_ = false;
    std::thread thread_;  // last: starts once everything above exists
};

}  // namespace orvella::desktop
