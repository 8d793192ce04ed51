#include "support/recording_canvas.h"

namespace orvella::testing {

using K = CanvasOp::Kind;

CanvasOp RecordingCanvas::drawing(K kind, Color color) const {
    CanvasOp op(kind);
    op.color = color;
    op.lineWidth = state_.lineWidth;
    op.lineCap = state_.cap;
    op.globalAlpha = state_.globalAlpha;
    op.shadow = state_.shadow;
    return op;
}

void RecordingCanvas::save() {
    stack_.push_back(state_);
    ops_.push_back(CanvasOp(K::save));
}
void RecordingCanvas::restore() {
    if (!stack_.empty()) {
        state_ = stack_.back();
        stack_.pop_back();
    }
    ops_.push_back(CanvasOp(K::restore));
}
void RecordingCanvas::setShadow(Vector offset, double blur, Color color) {
    state_.shadow = Shadow{offset, blur, color};
    ops_.push_back(drawing(K::setShadow, color));
}
void RecordingCanvas::setFillColor(Color c) {
    state_.fill = c;
    ops_.push_back(drawing(K::setFillColor, c));
}
void RecordingCanvas::setStrokeColor(Color c) {
    state_.stroke = c;
    ops_.push_back(drawing(K::setStrokeColor, c));
}
void RecordingCanvas::setLineWidth(double w) {
    state_.lineWidth = w;
    ops_.push_back(drawing(K::setLineWidth, state_.stroke));
}
void RecordingCanvas::setLineCap(LineCap cap) {
    state_.cap = cap;
    ops_.push_back(drawing(K::setLineCap, state_.stroke));
}
void RecordingCanvas::setGlobalAlpha(double alpha) {
    state_.globalAlpha = alpha;
    ops_.push_back(drawing(K::setGlobalAlpha, state_.fill));
}
void RecordingCanvas::fillPath(const Path& path, FillRule rule) {
    auto op = drawing(K::fillPath, state_.fill);
    op.path = path;
    op.rule = rule;
    ops_.push_back(op);
}
void RecordingCanvas::strokePath(const Path& path) {
    auto op = drawing(K::strokePath, state_.stroke);
    op.path = path;
    ops_.push_back(op);
}
void RecordingCanvas::fillRect(const Rect& r, CompositeOp cop) {
    auto op = drawing(K::fillRect, state_.fill);
    op.rect = r;
    op.op = cop;
    ops_.push_back(op);
}
void RecordingCanvas::drawImage(const Image& image, const Rect& dest, CompositeOp cop, double fraction) {
    auto op = drawing(K::drawImage, state_.fill);
    op.image = &image;
    op.rect = dest;
    op.op = cop;
    op.fraction = fraction;
    ops_.push_back(op);
}
void RecordingCanvas::drawText(const std::string& utf8, Point baselineOrigin, double pointSize, bool bold) {
    auto op = drawing(K::drawText, state_.fill);
    op.text = utf8;
    op.bold = bold;
    op.rect = Rect{baselineOrigin, {pointSize, pointSize}};
    ops_.push_back(op);
}
TextMetrics RecordingCanvas::measureText(const std::string& utf8, double pointSize, bool) {
    return {0.6 * pointSize * static_cast<double>(utf8.size()), 0.8 * pointSize, 0.2 * pointSize};
}
void RecordingCanvas::setImageInterpolationHigh() { ops_.push_back(CanvasOp(K::setInterpolationHigh)); }

void RecordingCanvas::drawLayer(CanvasLayer& layer, const Rect& bounds, const std::function<void(Canvas&)>& draw) {
    auto op = drawing(K::drawLayer, state_.fill);
    op.rect = bounds;
    auto* kept = static_cast<std::vector<double>*>(layer.kept.get());
    op.kept = keepsLayers && kept && *kept == layer.key;
    ops_.push_back(op);
    if (op.kept) return;
    Canvas::drawLayer(layer, bounds, draw);
    if (keepsLayers) layer.kept = std::make_shared<std::vector<double>>(layer.key);
}

std::vector<CanvasOp> RecordingCanvas::opsOf(K kind) const {
    std::vector<CanvasOp> out;
    for (const auto& op : ops_)
        if (op.kind == kind) out.push_back(op);
    return out;
}

}  // namespace orvella::testing
