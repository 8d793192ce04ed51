#include "desktop/work_queue.h"

#include <pthread.h>

namespace orvella::desktop {

ThreadWorkQueue::ThreadWorkQueue(std::string label) : label_(std::move(label)), thread_([this] { run(); }) {}

ThreadWorkQueue::~ThreadWorkQueue() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        pending_.clear();
        timers_.clear();
    }
    wake_.notify_all();
    thread_.join();
}

void ThreadWorkQueue::async(std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        pending_.push_back(std::move(work));
    }
    wake_.notify_all();
}

int ThreadWorkQueue::scheduleRepeating(double interval, double, std::function<void()> work) {
    // The leeway only allows lateness; firing on time is within it.
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(interval));
    int id;
    {
        std::lock_guard lock(mutex_);
        id = next_++;
        timers_.emplace(id, Timer{std::max(period, Clock::duration(std::chrono::milliseconds(1))), Clock::now(),
                                  std::move(work)});
    }
    wake_.notify_all();
    return id;
}

void ThreadWorkQueue::cancel(int handle) {
    std::lock_guard lock(mutex_);
    timers_.erase(handle);
}

void ThreadWorkQueue::run() {
    // The name shows in top and gdb; the kernel keeps 15 characters.
    pthread_setname_np(pthread_self(), label_.substr(label_.rfind('.') + 1).substr(0, 15).c_str());
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (!pending_.empty()) {
            auto work = std::move(pending_.front());
            pending_.pop_front();
            lock.unlock();
            work();
            lock.lock();
            continue;
        }
        // The earliest timer; fire it if due, else sleep until it is.
        auto due = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it)
            if (due == timers_.end() || it->second.next < due->second.next) due = it;
        if (due == timers_.end()) {
            wake_.wait(lock);
            continue;
        }
        if (due->second.next > Clock::now()) {
            wake_.wait_until(lock, due->second.next);
            continue;
        }
        auto& timer = due->second;
        // Never fire twice to catch up after a pause (suspend, a slow read).
        do timer.next += timer.interval;
        while (timer.next <= Clock::now());
        auto work = timer.work;
        lock.unlock();
        work();
        lock.lock();
    }
}

}  // namespace orvella::desktop
