#pragma once
// Pixels shared with the compositor: wl_shm buffers in memory files, and a
// surface's three of them, each knowing what changed since it was last
// drawn.

#include <QImage>
#include <QPainter>
#include <QRect>
#include <QSize>
#include <array>
#include <cstddef>
#include <memory>

struct wl_buffer;
struct wl_shm;
struct wl_surface;

namespace orvella::wayland {

// Damages `area` of the buffer attached to `surface`, whose pixels are
// `scale` to a point: in buffer pixels where the surface's version has
// damage_buffer (4), else in surface points, rounded out.
void damageBuffer(wl_surface* surface, QRect area, int scale);
// Says the buffer's scale where the surface's version can (3); before
// that the compositor takes every buffer at one pixel a point.
void setBufferScale(wl_surface* surface, int scale);

// A buffer of shared memory, cleared (a new file reads as zeros: fully
// transparent), and where its pixels are mapped; empty when it could not
// be made.
struct ShmBuffer {
    wl_buffer* buffer = nullptr;
    void* data = nullptr;
    std::size_t size = 0;
};
ShmBuffer createShmBuffer(wl_shm* shm, QSize pixels);
// A buffer the compositor may stretch or show as it is, whose pixels are
// never touched again: only the buffer is kept.
wl_buffer* createTransparentBuffer(wl_shm* shm, QSize pixels);

struct SurfaceBuffer {
    wl_buffer* buffer = nullptr;
    void* data = nullptr;
    std::size_t size = 0;
    QImage image;
    // Kept from one frame to the next: beginning a painter is a good part
    // of a small surface's frame.
    std::unique_ptr<QPainter> painter;
    // What changed since this buffer was last drawn (its pixels).
    QRect stale;
    // With the compositor until it releases it.
    bool busy = false;
};

// Three, so that one is nearly always free: the compositor may hold the one
// shown and the one before it.
class BufferPool {
public:
    // Told when the compositor releases one of them.
    using Released = void (*)(void* data, wl_buffer* buffer);
    BufferPool(Released released, void* data) : released_(released), data_(data) {}
    ~BufferPool() { destroy(); }
    BufferPool(const BufferPool&) = delete;
    BufferPool& operator=(const BufferPool&) = delete;

    // A free buffer of that size, made (all stale) when none is; null while
    // all are with the compositor, or when memory for it cannot be had.
    SurfaceBuffer* take(wl_shm* shm, QSize pixels);
    // The compositor is done with it.
    void release(wl_buffer* buffer);
    // Every buffer draws all of itself, or `pixels` too, next time.
    void allStale();
    void stale(const QRect& pixels);
    void destroy();

private:
    Released released_;
    void* data_;
    std::array<SurfaceBuffer, 3> buffers_{};
};

}  // namespace orvella::wayland
