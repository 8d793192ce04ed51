#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "orvella/support/geometry.h"

namespace orvella {

struct Color {
    double r = 0, g = 0, b = 0, a = 1;
    friend bool operator==(const Color&, const Color&) = default;
    Color withAlpha(double alpha) const { return {r, g, b, alpha}; }
};

enum class LineCap { butt, round, square };
enum class FillRule { nonZero, evenOdd };
enum class CompositeOp { sourceOver, copy, clear };

// A vector path in the drawing's own coordinates (y up).
class Path {
public:
    enum class Kind { move, line, quad, cubic, arc, close };
    struct Element {
        Kind kind;
        Point p1{}, p2{}, p3{};  // end point, controls as the kind needs
        double radius = 0, startAngle = 0, endAngle = 0;
        bool clockwise = false;
    };

    void moveTo(Point p) { elements_.push_back({Kind::move, p}); }
    void lineTo(Point p) { elements_.push_back({Kind::line, p}); }
    // Control point first, end point second.
    void quadTo(Point control, Point end) { elements_.push_back({Kind::quad, end, control}); }
    void cubicTo(Point c1, Point c2, Point end) { elements_.push_back({Kind::cubic, end, c1, c2}); }
    void arc(Point center, double radius, double startAngle, double endAngle, bool clockwise) {
        Element e{Kind::arc, center};
        e.radius = radius;
        e.startAngle = startAngle;
        e.endAngle = endAngle;
        e.clockwise = clockwise;
        elements_.push_back(e);
    }
    void close() { elements_.push_back({Kind::close, {}}); }

    void addEllipse(const Rect& r);
    void addRoundedRect(const Rect& r, double radius);

    const std::vector<Element>& elements() const { return elements_; }
    bool empty() const { return elements_.empty(); }

private:
    std::vector<Element> elements_;
};

// A raster image the platform owns; its size is in points.
class Image {
public:
    virtual ~Image() = default;
    virtual Size size() const = 0;
};

// A line of text as a font sets it: its advance and its extent above and
// below the baseline, in points.
struct TextMetrics {
    double width = 0, ascent = 0, descent = 0;
    double height() const { return ascent + descent; }
};

// Drawing that looks the same from frame to frame, and what the canvas kept
// of it. The drawer owns it and sets `key` to whatever the drawing depends
// on: while the key is unchanged, the canvas may put its kept copy down
// again instead of drawing anew.
struct CanvasLayer {
    std::vector<double> key;
    std::shared_ptr<void> kept;
};

// The 2D drawing context. State (colours, line style, shadow) is saved and
// restored as a stack.
class Canvas {
public:
    virtual ~Canvas() = default;
    virtual void save() = 0;
    virtual void restore() = 0;
    virtual void setShadow(Vector offset, double blur, Color color) = 0;
    virtual void setFillColor(Color c) = 0;
    virtual void setStrokeColor(Color c) = 0;
    virtual void setLineWidth(double w) = 0;
    virtual void setLineCap(LineCap cap) = 0;
    // Multiplies everything drawn afterwards (part of the saved state).
    virtual void setGlobalAlpha(double alpha) = 0;
    // Shows the whole finished frame at this strength: applied once, when
    // the frame is put on its window, so that what lies beneath an opaque
    // part inside the frame never shows through it. Not part of the saved
    // state. A canvas that cannot fade a frame as a whole fades each
    // operation instead.
    virtual void setFrameAlpha(double alpha) { setGlobalAlpha(alpha); }
    virtual void fillPath(const Path& path, FillRule rule) = 0;
    virtual void strokePath(const Path& path) = 0;
    virtual void fillRect(const Rect& r, CompositeOp op) = 0;
    virtual void drawImage(const Image& image, const Rect& dest, CompositeOp op, double fraction) = 0;
    // The system font, bold or regular, at pointSize.
    virtual void drawText(const std::string& utf8, Point baselineOrigin, double pointSize, bool bold) = 0;
    virtual TextMetrics measureText(const std::string& utf8, double pointSize, bool bold) = 0;
    virtual void setImageInterpolationHigh() = 0;
    // Draws `draw`, which stays within `bounds` and sets no shadow, as one
    // group put down at the current global alpha. A canvas that keeps
    // layers draws it once for each key; this one just draws it.
    virtual void drawLayer(CanvasLayer& layer, const Rect& bounds, const std::function<void(Canvas&)>& draw) {
        (void)layer;
        (void)bounds;
        save();
        draw(*this);
        restore();
    }
};

// Offscreen bitmaps. Returns nullptr when a bitmap cannot be created.
class BitmapFactory {
public:
    virtual ~BitmapFactory() = default;
    // Draws into a new bitmap of pixelWidth x pixelHeight RGBA pixels whose
    // size is `points`, and returns it as an image.
    virtual std::shared_ptr<Image> makeBitmap(int pixelWidth, int pixelHeight, Size points,
                                              const std::function<void(Canvas&)>& draw) = 0;
    // The same image shown at another size, for when no bitmap could be made.
    virtual std::shared_ptr<Image> resized(const std::shared_ptr<Image>& image, Size points) = 0;
};

}  // namespace orvella
