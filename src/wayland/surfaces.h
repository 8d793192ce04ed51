#pragma once
// Surfaces as subsurfaces of one layer surface per output: that host lies
// in the compositor's overlay layer, above every window, on every
// workspace, never focused, covering the output. Each surface is a
// subsurface of the host of the output that holds its centre; moving it is
// a position the compositor applies with the host's next commit, with no
// new buffer and no configure to answer.
//
// The host, not the surfaces, takes the pointer: its input region is the
// union of its surfaces' interactive regions, where they are, so clicks
// anywhere else reach the window beneath. A press is then on a surface
// that never moves, which compositors hold for the whole drag (sway holds
// only a layer surface itself), and positions measured from it are the
// layout's own, however the pressed surface moves meanwhile.

#include <QImage>
#include <QObject>
#include <QPainter>
#include <QRect>
#include <array>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "desktop/click_counter.h"
#include "orvella/platform/surfaces.h"
#include "wayland/buffers.h"
#include "wayland/connection.h"

struct wl_buffer;
struct wl_callback;
struct wl_subsurface;
struct wp_viewport;
struct wp_fractional_scale_v1;

namespace orvella::wayland {

class WaylandSurface;
class WaylandSurfaces;

struct Host;

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
    bool isOnScreen() const;
    const Host* host() const { return host_; }
    // Draws now if something asked for it and a buffer is free.
    void render();
    // A pointer event the host took at `at` (layout pixels), for this
    // surface: the one under a press, or the one pressed.
    void pointer(const PointerEvent& event, QPointF at);
    // A press whose release will not come ends, away from the surface.
    void cancelPress();
    // How far `at` (layout pixels) lies from its interactive region where
    // it is: 0 inside, infinite when it takes no presses.
    double distanceToRegion(QPointF at) const;
    // Adds its interactive region to its host's, which starts at `origin`.
    void addInputTo(wl_region* region, QPoint origin) const;
    void released(wl_buffer* buffer);
    // Its host can be drawn on, or changed its scale: drawn anew.
    void hostReady();
    // Its host went (the compositor closed it): placed afresh soon.
    void hostGone();
    // The output it is on went away, or outputs changed: placed again.
    void outputsChanged();
    // That output is about to go: the surface leaves it now.
    void outputRemoved(const Output* output);

private:
    friend class WaylandSurfaces;
    void map();
    void unmap();
    // Placed anew where the surface now is (on another output's host);
    // soon: once the layout has settled, if it is still shown and
    // misplaced.
    void replace();
    void replaceSoon();
    void place();
    // Its place or region changed: the host commits it, with a new input
    // region if it takes presses.
    void tellHost();
    // The drawing scale: the output's, or the fractional one the host
    // prefers.
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
    wl_subsurface* subsurface_ = nullptr;
    wp_viewport* viewport_ = nullptr;
    Host* host_ = nullptr;
    Output* output_ = nullptr;
    QRect placed_;
    int bufferWidth_ = 0;
    // What the compositor was last told of the buffers' scale and of the
    // viewport's size (-1 by -1: none), as a new surface starts.
    int sentScale_ = 1;
    QSize sentDestination_{-1, -1};
    BufferPool buffers_{[](void* data, wl_buffer* buffer) { static_cast<WaylandSurface*>(data)->released(buffer); },
                        this};
    bool dirty_ = true;
    desktop::ClickCounter clicks_;
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
    void noteMoved() { moved_ = true; }
    void beginBatch() { ++batchDepth_; }
    void endBatch();

    // The host of an output, made when first asked for.
    Host* hostFor(Output* output);
    // What its surfaces changed applies with the host's commit: at the end
    // of a motion step or of a round of drawing, else at once.
    void commitHost(Host* host);
    // A surface's interactive region moved or changed: the host's input
    // region is made anew before its commit.
    void hostRegionChanged(Host* host);
    // Puts a surface on top of the others of its kind on its host, beneath
    // those of a higher kind (a new one as well).
    void raise(WaylandSurface* s);
    // The output is about to go: its surfaces leave it, then its host goes.
    void outputRemoved(Output* output);
    // Listener entry points.
    void hostConfigured(Host& host, std::uint32_t serial, std::uint32_t width, std::uint32_t height);
    void hostClosed(Host& host);
    void hostScale(Host& host, std::uint32_t scale120);
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
    bool framePending(Host& host);
    void askFrame(WaylandSurface* s, Host& host);
    void waitForFrame(WaylandSurface* s) {
        waiting_.insert(s);
        waitForFrames();
    }
    void frameShown(Host& host, wl_callback* callback);
    // The surface is going: a frame asked through it will not be answered.
    void forgetFrame(WaylandSurface* s);
    // Whether something waits for the compositor to show a frame.
    bool awaitingFrames() const { return !hostCommits_.empty() || !waiting_.empty(); }

private:
    // How long a frame's answer is waited for: an output the compositor
    // no longer shows is still drawn, four times a second.
    static constexpr std::chrono::milliseconds frameWait{250};
    // Beyond any place a surface can be on a host, either side of it, and
    // twice it still fits a compositor's 32-bit coordinates.
    static constexpr std::int32_t regionReach = 1 << 29;
    void wakeWaiting();
    void waitForFrames();
    bool frameTimerArmed_ = false;
    void renderPendingSoon();
    // Counts the rounds of drawing.
    std::uint64_t round_ = 0;
    static constexpr int promptFramesToRelax = 30;
    std::set<WaylandSurface*> waiting_;
    std::map<const Output*, std::unique_ptr<Host>> hosts_;
    std::set<Host*> hostCommits_;
    void commitHosts();
    void destroyHost(const Output* output);
    bool rendering_ = false;
    void renderPending();
    QObject context_;
    WaylandConnection& connection_;
    std::set<WaylandSurface*> live_;
    std::set<WaylandSurface*> pending_;
    bool queued_ = false;
    bool moved_ = false;
    int batchDepth_ = 0;
    void pointer(const PointerEvent& event);
    // The surface under a press on a host, topmost first; or the nearest
    // within a few pixels, where the press met a place the surface held
    // when the compositor read it, a moment ago.
    WaylandSurface* surfaceAt(const Host& host, QPointF at) const;
    // Takes the drag and the release of the press it took.
    WaylandSurface* pressed_ = nullptr;
};

}  // namespace orvella::wayland
