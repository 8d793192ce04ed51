#pragma once
// A canvas that records what is drawn, with the state each drawing used.

#include <optional>
#include <string>
#include <vector>

#include "orvella/platform/canvas.h"

namespace orvella::testing {

struct Shadow {
    Vector offset;
    double blur = 0;
    Color color;
    friend bool operator==(const Shadow&, const Shadow&) = default;
};

struct CanvasOp {
    enum class Kind {
        save, restore, setShadow, setFillColor, setStrokeColor, setLineWidth, setLineCap, setGlobalAlpha,
        fillPath, strokePath, fillRect, drawImage, drawText, setInterpolationHigh, drawLayer,
    };
    explicit CanvasOp(Kind k) : kind(k) {}
    Kind kind;
    // For drawing operations: the state in force.
    Color color;
    double lineWidth = 1;
    LineCap lineCap = LineCap::butt;
    double globalAlpha = 1;
    std::optional<Shadow> shadow;
    // Operation arguments.
    Path path;
    FillRule rule = FillRule::nonZero;
    Rect rect;
    CompositeOp op = CompositeOp::sourceOver;
    double fraction = 1;
    const Image* image = nullptr;
    std::string text;
    bool bold = false;
    // For drawLayer: whether a kept copy was put down instead of drawing.
    bool kept = false;
};

class RecordingCanvas : public Canvas {
public:
    void save() override;
    void restore() override;
    void setShadow(Vector offset, double blur, Color color) override;
    void setFillColor(Color c) override;
    void setStrokeColor(Color c) override;
    void setLineWidth(double w) override;
    void setLineCap(LineCap cap) override;
    void setGlobalAlpha(double alpha) override;
    void setFrameAlpha(double alpha) override { frameAlpha = alpha; }
    // What the drawer asked the finished frame to be shown at.
    double frameAlpha = 1;
    void fillPath(const Path& path, FillRule rule) override;
    void strokePath(const Path& path) override;
    void fillRect(const Rect& r, CompositeOp op) override;
    void drawImage(const Image& image, const Rect& dest, CompositeOp op, double fraction) override;
    void drawText(const std::string& utf8, Point baselineOrigin, double pointSize, bool bold) override;
    // A fixed-pitch stand-in: 0.6 em per code unit, 0.8 em up, 0.2 em down.
    TextMetrics measureText(const std::string& utf8, double pointSize, bool bold) override;
    void setImageInterpolationHigh() override;
    // Records the layer; with keepsLayers, keeps its key as a platform would
    // keep its pixels and draws it only when the key is new.
    void drawLayer(CanvasLayer& layer, const Rect& bounds, const std::function<void(Canvas&)>& draw) override;
    bool keepsLayers = false;

    const std::vector<CanvasOp>& ops() const { return ops_; }
    std::vector<CanvasOp> opsOf(CanvasOp::Kind kind) const;
    int count(CanvasOp::Kind kind) const { return static_cast<int>(opsOf(kind).size()); }
    int depth() const { return static_cast<int>(stack_.size()); }

private:
    struct State {
        Color fill{0, 0, 0, 1};
        Color stroke{0, 0, 0, 1};
        double lineWidth = 1;
        LineCap cap = LineCap::butt;
        double globalAlpha = 1;
        std::optional<Shadow> shadow;
    };
    CanvasOp drawing(CanvasOp::Kind kind, Color color) const;
    State state_;
    std::vector<State> stack_;
    std::vector<CanvasOp> ops_;
};

}  // namespace orvella::testing
