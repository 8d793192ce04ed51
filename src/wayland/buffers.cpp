#include "wayland/buffers.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>

namespace orvella::wayland {

void damageBuffer(wl_surface* surface, QRect area, int scale) {
    if (wl_surface_get_version(surface) >= WL_SURFACE_DAMAGE_BUFFER_SINCE_VERSION) {
        wl_surface_damage_buffer(surface, area.x(), area.y(), area.width(), area.height());
        return;
    }
    const int s = wl_surface_get_version(surface) >= WL_SURFACE_SET_BUFFER_SCALE_SINCE_VERSION ? std::max(scale, 1) : 1;
    const int left = area.x() / s, top = area.y() / s;
    const int right = (area.x() + area.width() + s - 1) / s, bottom = (area.y() + area.height() + s - 1) / s;
    wl_surface_damage(surface, left, top, right - left, bottom - top);
}

void setBufferScale(wl_surface* surface, int scale) {
    if (wl_surface_get_version(surface) >= WL_SURFACE_SET_BUFFER_SCALE_SINCE_VERSION)
        wl_surface_set_buffer_scale(surface, scale);
}

ShmBuffer createShmBuffer(wl_shm* shm, QSize pixels) {
    const int stride = pixels.width() * 4;
    const std::size_t size = static_cast<std::size_t>(stride) * static_cast<std::size_t>(pixels.height());
    const int fd = memfd_create("orvella-surface", MFD_CLOEXEC);
    if (fd < 0) return {};
    if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
        ::close(fd);
        return {};
    }
    void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) {
        ::close(fd);
        return {};
    }
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(size));
    wl_buffer* buffer =
        wl_shm_pool_create_buffer(pool, 0, pixels.width(), pixels.height(), stride, WL_SHM_FORMAT_ARGB8888);
    wl_shm_pool_destroy(pool);
    ::close(fd);
    return {buffer, data, size};
}

wl_buffer* createTransparentBuffer(wl_shm* shm, QSize pixels) {
    const ShmBuffer made = createShmBuffer(shm, pixels);
    if (made.data) munmap(made.data, made.size);
    return made.buffer;
}

namespace {
void destroyOne(SurfaceBuffer& b) {
    b.painter.reset();
    if (b.buffer) {
        wl_buffer_destroy(b.buffer);
        munmap(b.data, b.size);
    }
    b = SurfaceBuffer{};
}
}  // namespace

SurfaceBuffer* BufferPool::take(wl_shm* shm, QSize pixels) {
    for (auto& b : buffers_)
        if (!b.busy && b.buffer && b.image.size() == pixels) return &b;
    for (auto& b : buffers_) {
        if (b.busy) continue;
        destroyOne(b);
        const ShmBuffer made = createShmBuffer(shm, pixels);
        if (!made.buffer) return nullptr;
        static const wl_buffer_listener listener = {
            .release = [](void* data, wl_buffer* buffer) {
                auto* pool = static_cast<BufferPool*>(data);
                pool->released_(pool->data_, buffer);
            },
        };
        wl_buffer_add_listener(made.buffer, &listener, this);
        b.buffer = made.buffer;
        b.data = made.data;
        b.size = made.size;
        // ARGB8888 in the compositor's words is Qt's premultiplied ARGB32
        // on a little-endian machine.
        b.image = QImage(static_cast<uchar*>(made.data), pixels.width(), pixels.height(), pixels.width() * 4,
                         QImage::Format_ARGB32_Premultiplied);
        b.stale = b.image.rect();
        return &b;
    }
    return nullptr;  // all with the compositor: drawn when one comes back
}

void BufferPool::release(wl_buffer* buffer) {
    for (auto& b : buffers_)
        if (b.buffer == buffer) b.busy = false;
}

void BufferPool::allStale() {
    for (auto& b : buffers_) b.stale = b.image.rect();
}

void BufferPool::stale(const QRect& pixels) {
    for (auto& b : buffers_) b.stale |= pixels & b.image.rect();
}

void BufferPool::destroy() {
    for (auto& b : buffers_) destroyOne(b);
}

}  // namespace orvella::wayland
