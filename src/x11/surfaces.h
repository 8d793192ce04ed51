#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QPainter>
#include <QImage>
#include <QRect>
#include <QTimer>
#include <QWindow>
#include <memory>
#include <optional>
#include <set>

#include "render/render_thread.h"
#include "x11/window_image.h"
#include "orvella/platform/surfaces.h"

namespace orvella::x11 {

class X11Surfaces;


class X11Surface : public Surface {
public:
    X11Surface(X11Surfaces& factory, SurfaceKind kind, const Rect& frame, const std::string& title,
              std::function<void(Canvas&)> draw);
    ~X11Surface() override;

    Rect frame() const override { return frame_; }
    void setOrigin(Point origin) override;
    void setContentSize(Size size) override;
    double alpha() const override { return alpha_; }
    void setAlpha(double alpha) override;
    void orderFront() override;
    void orderOut() override;
    bool isVisible() const override;
    void close() override;
    bool isClosed() const override { return closed_; }
    void setIgnoresMouseEvents(bool ignores) override;
    bool ignoresMouseEvents() const override { return ignores_; }
    void setInteractiveRegion(const std::vector<Rect>& rects) override;
    void setNeedsDisplay() override;
    void setNeedsDisplayIn(const Rect& rect) override;
    void setMouseHandler(std::function<void(const SurfaceMouseEvent&)> handler) override;

    SurfaceKind kind() const { return kind_; }
    std::uint64_t frontedAt() const { return frontedAt_; }
    SurfaceWindow* window() const { return window_.get(); }
    unsigned long windowID() const;
    void raise();

private:
    friend class SurfaceWindow;
    void applyGeometry();
    void watchStructure(bool watch);
    bool structureWatched_ = true;
    void applyInputShape();

    X11Surfaces& factory_;
    SurfaceKind kind_;
    Rect frame_;
    std::function<void(Canvas&)> draw_;
    std::function<void(const SurfaceMouseEvent&)> mouse_;
    std::unique_ptr<SurfaceWindow> window_;
    double alpha_ = 1;
    bool closed_ = false;
    bool ignores_ = false;
    bool shown_ = false;
    // When it was last ordered front: the later, the higher in its kind.
    std::uint64_t frontedAt_ = 0;
    std::vector<Rect> region_;
    QRect placed_;
};

// Makes surfaces and keeps them above other windows: override-redirect
// windows are not stacked by the window manager, so when the active window
// or the stacking order changes, the visible surfaces are raised again.
class X11Surfaces : public QObject, public SurfaceFactory, public QAbstractNativeEventFilter {
public:
    X11Surfaces();
    ~X11Surfaces() override;
    std::shared_ptr<Surface> createSurface(SurfaceKind kind, const Rect& contentRect, const std::string& title,
                                           std::function<void(Canvas&)> draw) override;
    std::vector<Rect> otherInteractiveWindowFrames() const override;
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    render::RenderThread& renderThread() { return renderThread_; }
    void track(X11Surface* s) { live_.insert(s); }
    void untrack(X11Surface* s);
    // Every surface asking for a redraw in one turn of the event loop is
    // drawn in one go: on the main thread when none of them needed the
    // painter last time, else in one visit to the render thread.
    void requestRender(SurfaceWindow* window);
    void renderNow(const std::vector<SurfaceWindow*>& windows);
    // Draws every window that asked for it since the last render.
    void renderPending();
    void flushSoon();
    // Between these, redraws and flushes are held back; the last endBatch
    // draws what was asked for and sends everything to the server at once.
    void beginBatch() { ++batchDepth_; }
    void endBatch();
    // Raises the shown surfaces of this stacking rank and above, in their
    // order: all of them for 0.
    void raiseFrom(int rank);
    std::uint64_t nextFront() { return ++fronts_; }
    // Puts a surface on top of other windows, but beneath Orvella's own
    // menus and its active dialog: a fish never covers them.
    void raise(SurfaceWindow* window);
    // Whether a compositing manager runs (owns _NET_WM_CM_S<screen>):
    // translucent windows need one.
    bool isComposited() const { return composited_; }
    void checkCompositor();

private:
    bool composited_ = true;
    QTimer* compositorTimer_ = nullptr;
    render::RenderThread renderThread_;
    std::set<X11Surface*> live_;
    std::uint64_t fronts_ = 0;
    std::vector<SurfaceWindow*> pending_;
    bool renderQueued_ = false;
    bool flushQueued_ = false;
    bool flushHeld_ = false;
    int batchDepth_ = 0;
    bool raiseQueued_ = false;
    unsigned long activeAtom_ = 0, stackingAtom_ = 0;
    // The lowest of Orvella's own windows that surfaces stay beneath (a
    // menu, a tooltip, the active settings window's frame): 0 for none.
    // Worked out again after windows appear, vanish or change focus.
    unsigned long ceiling();
    std::optional<unsigned long> ceiling_;
};

}  // namespace orvella::x11
