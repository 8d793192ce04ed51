#pragma once
// Surfaces as layer surfaces of the compositor's overlay layer: above every
// window, on every workspace, never focused. Each sits on the output that
// holds its centre, anchored to its top-left corner; moving it changes its
// margins, which the compositor applies without a new buffer. Its input
// region is exactly the interactive region, so clicks elsewhere reach the
// window beneath.

#include <QImage>
#include <QObject>
#include <QPainter>
#include <QRect>
#include <array>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "orvella/platform/surfaces.h"
#include "wayland/wayland_connection.h"

struct wl_buffer;
struct wl_callback;
struct wp_viewport;
struct wp_fractional_scale_v1;

namespace orvella::wayland {

class WaylandSurfaces;

class WaylandSurface : public Surface {
public:
    WaylandSurface(WaylandSurfaces& factory, SurfaceKind kind, const Rect& frame, std::string title,
                   std::function<void(Canvas&)> draw);
    ~WaylandSurface() override;

    Rect frame() const override { return frame_; }
    void setOrigin(Point origin) override;
    void setContentSize(Size size) override;
    double alpha() const override { return alpha_; }
    void setAlpha(double alpha) override;
    void orderFront() override;
    void orderOut() override;
    bool isVisible() const override { return shown_ && !closed_; }
    void close() override;
    bool isClosed() const override { return closed_; }
    void setIgnoresMouseEvents(bool ignores) override;
    bool ignoresMouseEvents() const override { return ignores_; }
    void setInteractiveRegion(const std::vector<Rect>& rects) override;
    void setNeedsDisplay() override;
    void setNeedsDisplayIn(const Rect& rect) override;
    void setMouseHandler(std::function<void(const SurfaceMouseEvent&)> handler) override;

    SurfaceKind kind() const { return kind_; }
    const std::string& title() const { return title_; }
    wl_surface* surface() const { return surface_; }
    // Where the compositor shows it: the layout rectangle (logical pixels).
    QRect placed() const { return placed_; }
    // The width in pixels of the buffer last drawn (0 before the first).
    int bufferWidth() const { return bufferWidth_; }
    bool isOnScreen() const { return configured_ && bufferWidth_ > 0; }
    // Draws now if something asked for it and a buffer is free.
    void render();
    void pointer(const PointerEvent& event);
    // Listener entry points.
    void configured(std::uint32_t serial, std::uint32_t width, std::uint32_t height);
    void closedByCompositor();
    void released(wl_buffer* buffer);
    // A move of this motion step not yet sent with a buffer: sent now.
    void commitOwed();
    void preferredScale(std::uint32_t scale120);
    // The compositor has read every move of batches up to `batch`.
    void movesApplied(std::uint64_t batch);
    // The output it is on went away, or outputs changed: placed again.
    void outputsChanged();
    // That output is about to go: the surface leaves it now.
    void outputRemoved(const Output* output);

private:
    struct Buffer {
        wl_buffer* buffer = nullptr;
        void* data = nullptr;
        std::size_t size = 0;
        QImage image;
        // Kept from one frame to the next: beginning a painter is a good
        // part of a small surface's frame.
        std::unique_ptr<QPainter> painter;
        // What changed since this buffer was last drawn (its pixels).
        QRect stale;
        bool busy = false;
    };
    void map();
    void unmap();
    // A new layer surface where the surface now is (another output); soon:
    // once the layout has settled, if it is still shown and misplaced.
    void replace();
    void replaceSoon();
    void place();
    void applyInputRegion();
    Buffer* freeBuffer(QSize pixels);
    void destroyBuffers();
    // The drawing scale: the output's, or the fractional one it prefers.
    double scale() const;

    WaylandSurfaces& factory_;
    SurfaceKind kind_;
    Rect frame_;
    std::string title_;
    std::function<void(Canvas&)> draw_;
    std::function<void(const SurfaceMouseEvent&)> mouse_;
    double alpha_ = 1;
    bool shown_ = false, closed_ = false, ignores_ = false;
    std::vector<Rect> region_;

    wl_surface* surface_ = nullptr;
    zwlr_layer_surface_v1* layer_ = nullptr;
    wp_viewport* viewport_ = nullptr;
    wp_fractional_scale_v1* fractional_ = nullptr;
    Output* output_ = nullptr;
    bool configured_ = false;
    QRect placed_;
    QSize sizeAsked_;
    // Where the compositor has the surface: pointer events are relative to
    // it, and a move is applied only when the compositor reads it. Each
    // move waits for a sync's answer, in order.
    QRect shownAt_;
    QRect pressOrigin_;
    // Moves committed, with the batch each went out in.
    std::deque<std::pair<std::uint64_t, QRect>> moves_;
    void commitMove();
    std::uint32_t scale120_ = 0;
    int bufferWidth_ = 0;
    // Three, so that one is nearly always free: the compositor may hold
    // the one shown and the one before it.
    std::array<Buffer, 3> buffers_{};
    bool dirty_ = true;
    bool commitOwed_ = false;
    // Presses in quick succession at about the same place count up.
    int clickCount_ = 1;
    std::uint32_t lastPressTime_ = 0;
    QPointF lastPressAt_;
    bool pressed_ = false;
};

class WaylandSurfaces : public SurfaceFactory {
public:
    explicit WaylandSurfaces(WaylandConnection& connection);
    ~WaylandSurfaces() override;
    std::shared_ptr<Surface> createSurface(SurfaceKind kind, const Rect& contentRect, const std::string& title,
                                           std::function<void(Canvas&)> draw) override;
    // Qt's windows on Wayland have no known place on the desktop, and a
    // press on them never reaches the desktop's monitors.
    std::vector<Rect> otherInteractiveWindowFrames() const override { return {}; }

    WaylandConnection& connection() { return connection_; }
    void track(WaylandSurface* s) { live_.insert(s); }
    void untrack(WaylandSurface* s);
    // Redraws asked for in one turn of the event loop are drawn together.
    void renderSoon(WaylandSurface* s);
    // Whether a surface moved since the last asking.
    bool takeMoved() { return std::exchange(moved_, false); }
    // A move goes out in the current batch; when the caller awaits it, one
    // sync after the batch tells when the compositor has read them all.
    std::uint64_t noteMoved(bool awaitApplied);
    bool pointerOnSurface() const { return pointerOnSurface_; }
    void syncAnswered(wl_callback* callback);
    // A moved surface was configured again and has answered.
    void moveConfigured();
    void beginBatch() { ++batchDepth_; }
    bool inBatch() const { return batchDepth_ > 0; }
    void commitLater(WaylandSurface* s) { commits_.insert(s); }
    void endBatch();
    // Told of every press, drag and move on a surface, in global desktop
    // points (for the mouse's local monitors).
    std::function<void(const PointerEvent&, Point global)> onPointer;
    std::vector<WaylandSurface*> surfaces() const { return {live_.begin(), live_.end()}; }
    bool isLive(const WaylandSurface* s) const { return live_.count(const_cast<WaylandSurface*>(s)) > 0; }
    // What later turns of the event loop run on; gone with the factory.
    QObject* context() { return &context_; }

    // Frame pacing: one frame callback per output, asked with the first
    // buffer after the last answer. Until the compositor answers, it has
    // not shown that output's last frame, and a new buffer on it would only
    // be dropped: surfaces there wait for the answer.
    bool framePending(const Output* output);
    void askFrame(WaylandSurface* s, const Output* output);
    void waitForFrame(WaylandSurface* s) { waiting_.insert(s); }
    void frameShown(wl_callback* callback);
    // The surface is going: a frame asked through it will not be answered.
    void forgetFrame(WaylandSurface* s);

private:
    void wakeWaiting();
    struct Frame {
        wl_callback* callback = nullptr;
        WaylandSurface* holder = nullptr;
        std::chrono::steady_clock::time_point asked;
        std::uint64_t round = 0;
    };
    // Counts the rounds of drawing.
    std::uint64_t round_ = 0;
    std::map<const Output*, Frame> frames_;
    std::set<WaylandSurface*> waiting_;
    std::set<WaylandSurface*> commits_;
    void renderPending();
    QObject context_;
    WaylandConnection& connection_;
    std::set<WaylandSurface*> live_;
    std::set<WaylandSurface*> pending_;
    void syncMoves();
    bool queued_ = false;
    bool moved_ = false;
    // Moves need the compositor's word on when they apply only while the
    // pointer is on a surface: pointer positions are measured from it.
    bool pointerOnSurface_ = false;
    std::uint64_t batch_ = 1;
    bool syncNeeded_ = false;
    std::deque<std::pair<wl_callback*, std::uint64_t>> syncs_;
    int batchDepth_ = 0;
};

}  // namespace orvella::wayland
