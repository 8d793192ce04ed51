#pragma once
// Draws surfaces on a thread of Qt's global thread pool.
//
// Qt's raster engine splits every blend of more than 96 spans across the
// global pool unless the caller already runs in it. For small windows
// drawn 30 to 60 times a second that hand-over costs far more than the
// drawing, so surface drawing that needs the painter runs here, inline,
// while the main thread waits: no two threads ever touch the tank at once.
// Frames the canvas draws without the painter stay on the main thread.

#include <condition_variable>
#include <functional>
#include <mutex>

namespace orvella::render {

class RenderThread {
public:
    RenderThread();
    ~RenderThread();
    RenderThread(const RenderThread&) = delete;
    RenderThread& operator=(const RenderThread&) = delete;

    // Runs `work` on the render thread and returns when it is done; runs it
    // on the calling thread when the pool had no thread to give.
    void run(const std::function<void()>& work);

private:
    void loop();
    std::mutex mutex_;
    std::condition_variable wake_;
    const std::function<void()>* job_ = nullptr;
    bool done_ = false;
    bool stopping_ = false;
    bool running_ = false;
    bool exited_ = false;
};

}  // namespace orvella::render
