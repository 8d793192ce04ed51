#pragma once
// Antialiased solid fills and hairline strokes of small paths, drawn
// straight into premultiplied 32-bit pixels. Standard library only.
//
// A fish's tail is a few thousand pixels, drawn 30 times a second. Qt's
// raster engine spends far more on it than its size asks: a QPainterPath
// built anew, flattened, run through a general span rasteriser and, for a
// hairline pen, a cosmetic stroker that blends pixel run by pixel run.
// Here each edge's signed area is added into a buffer of cells and summed
// along each row, the way font rasterisers do it: the exact area coverage
// of the flattened outline, in one pass over the shape's rows.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "orvella/platform/canvas.h"

namespace orvella::render {

// Canvas points to device pixels: x' = m11 x + m21 y + dx,
// y' = m12 x + m22 y + dy (the layout of a QTransform without perspective).
struct PixelTransform {
    double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;
    Point map(Point p) const { return {m11 * p.x + m21 * p.y + dx, m12 * p.x + m22 * p.y + dy}; }
};

// Premultiplied ARGB pixels, 0xAARRGGBB in native byte order (QImage's
// Format_ARGB32_Premultiplied), and the part of them that may be drawn on.
struct PixelBuffer {
    std::uint32_t* pixels = nullptr;
    int width = 0, height = 0;
    std::ptrdiff_t stride = 0;  // pixels from one row to the next
    int clipLeft = 0, clipTop = 0, clipRight = 0, clipBottom = 0;  // half-open
};

// Puts premultiplied pixels (`width` by `height`, `stride` pixels apart)
// down source-over at device pixel (x, y) of the target, within its clip,
// at `opacity`.
void blendPixels(const PixelBuffer& target, const std::uint32_t* source, int width, int height, std::ptrdiff_t stride,
                 int x, int y, double opacity);

class CoverageRaster {
public:
    // Shapes wider or taller than this, in device pixels, are left to the
    // caller's general rasteriser: the cells would outweigh the saving.
    static constexpr int maxSide = 1024;

    // Fills the path by the non-zero rule with `color` (straight alpha) at
    // `opacity`, blending source-over. Where parts of one path overlap with
    // opposite turning, the edge pixels of the overlap may differ from an
    // exact non-zero fill by their coverage; the fills drawn here do not
    // overlap themselves.
    // Returns false, having drawn nothing, when the shape is too large or
    // has a point that is not finite.
    bool fill(const PixelBuffer& target, const Path& path, const PixelTransform& transform, Color color,
              double opacity);

    // Strokes the path with a hairline: a line one pixel thick, across its
    // major axis, whose strength is `width` (device pixels, at most 1), with
    // no joins. Round and square caps extend the ends of open subpaths by
    // half a pixel. Returns false as `fill` does, or when `width` is above 1.
    bool strokeHairline(const PixelBuffer& target, const Path& path, const PixelTransform& transform, double width,
                        LineCap cap, Color color, double opacity);

private:
    struct Subpath {
        std::size_t first = 0, count = 0;
        bool closed = false;
    };
    // A hairline's segment between two device points, and the half-pixel
    // offset across its major axis.
    struct Segment {
        Point a, b, o;
    };
    // Flattens into points_ and subpaths_ in device pixels; false when a
    // point is not finite or the outline is too large.
    bool flatten(const Path& path, const PixelTransform& transform);
    // Readies the cells for a shape within these device bounds; false when
    // nothing of it lies within the clip.
    bool begin(const PixelBuffer& target, double minX, double minY, double maxX, double maxY);
    void edge(Point a, Point b);
    void composite(const PixelBuffer& target, Color color, double opacity);

    std::vector<Point> points_;
    std::vector<Subpath> subpaths_;
    std::vector<Segment> segments_;
    double minX_ = 0, minY_ = 0, maxX_ = 0, maxY_ = 0;

    // Cells of the shape's rows within the clip: (width_ + 2) per row, and
    // a bit for each cell an edge touched. Between touched cells a row's
    // coverage holds still, so those stretches are skipped (a hairline's
    // inside) or filled in one go (a fill's inside).
    std::vector<float> cells_;
    std::vector<std::uint64_t> touched_;
    std::vector<int> rowFirst_, rowLast_;
    int originX_ = 0, originY_ = 0, width_ = 0, rows_ = 0, words_ = 0;
};

}  // namespace orvella::render
