#include "render/render_thread.h"

#include <QThreadPool>

namespace orvella::render {

RenderThread::RenderThread() {
    running_ = QThreadPool::globalInstance()->tryStart([this] { loop(); });
}

RenderThread::~RenderThread() {
    if (!running_) return;
    std::unique_lock lock(mutex_);
    stopping_ = true;
    wake_.notify_all();
    wake_.wait(lock, [this] { return exited_; });
}

void RenderThread::run(const std::function<void()>& work) {
    if (!running_) {
        work();
        return;
    }
    std::unique_lock lock(mutex_);
    job_ = &work;
    done_ = false;
    wake_.notify_all();
    wake_.wait(lock, [this] { return done_; });
}

void RenderThread::loop() {
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return job_ != nullptr || stopping_; });
        if (job_) {
            const auto* job = job_;
            job_ = nullptr;
            (*job)();
            done_ = true;
            wake_.notify_all();
            continue;
        }
        if (stopping_) break;
    }
    exited_ = true;
    wake_.notify_all();
}

}  // namespace orvella::render
