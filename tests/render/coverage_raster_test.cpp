// The coverage rasteriser on plain pixel buffers: exact coverage, clipping,
// the non-zero rule, hairlines and blending. Needs no desktop, so it also
// runs under the sanitizers.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "render/coverage_raster.h"

using namespace orvella;
using namespace orvella::render;

namespace {

struct Buffer {
    int width, height;
    std::vector<std::uint32_t> pixels;
    Buffer(int w, int h, std::uint32_t fill = 0) : width(w), height(h), pixels(static_cast<size_t>(w * h), fill) {}
    PixelBuffer target() { return {pixels.data(), width, height, width, 0, 0, width, height}; }
    std::uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
    int alpha(int x, int y) const { return static_cast<int>(at(x, y) >> 24); }
    double ink() const {
        double sum = 0;
        for (auto p : pixels) sum += (p >> 24) / 255.0;
        return sum;
    }
};

const Color kWhite{1, 1, 1, 1};

Path rect(double x0, double y0, double x1, double y1, bool reversed = false) {
    Path p;
    p.moveTo({x0, y0});
    if (reversed) {
        p.lineTo({x0, y1});
        p.lineTo({x1, y1});
        p.lineTo({x1, y0});
    } else {
        p.lineTo({x1, y0});
        p.lineTo({x1, y1});
        p.lineTo({x0, y1});
    }
    p.close();
    return p;
}

// Adds the straight-edged subpaths of `from` to `to`.
void append(Path& to, const Path& from) {
    for (const auto& e : from.elements()) {
        if (e.kind == Path::Kind::move) to.moveTo(e.p1);
        else if (e.kind == Path::Kind::line) to.lineTo(e.p1);
        else to.close();
    }
}

Path line(Point a, Point b) {
    Path p;
    p.moveTo(a);
    p.lineTo(b);
    return p;
}

}  // namespace

TEST(CoverageRaster, FillsCoverExactlyTheShapesArea) {
    CoverageRaster raster;
    Buffer b(12, 12);
    ASSERT_TRUE(raster.fill(b.target(), rect(2.5, 3.5, 7.5, 6.5), {}, kWhite, 1));
    EXPECT_EQ(b.at(4, 4), 0xffffffffu);  // inside: white, opaque
    EXPECT_NEAR(b.alpha(2, 4), 128, 1);  // half a pixel on the left edge
    EXPECT_NEAR(b.alpha(7, 5), 128, 1);
    EXPECT_NEAR(b.alpha(2, 3), 64, 1);   // a quarter in the corner
    EXPECT_EQ(b.alpha(1, 4), 0);
    EXPECT_EQ(b.alpha(4, 7), 0);
    EXPECT_NEAR(b.ink(), 15.0, 0.05);

    // A slanted triangle and a circle of curves hold their areas too.
    Buffer t(40, 40);
    Path tri;
    tri.moveTo({3.2, 4.1});
    tri.lineTo({35.7, 9.3});
    tri.lineTo({12.4, 33.9});
    tri.close();
    ASSERT_TRUE(raster.fill(t.target(), tri, {}, kWhite, 1));
    const double area = std::abs((35.7 - 3.2) * (33.9 - 4.1) - (12.4 - 3.2) * (9.3 - 4.1)) / 2;
    EXPECT_NEAR(t.ink(), area, 0.003 * area);
    Buffer c(40, 40);
    Path circle;
    circle.addEllipse(Rect::make(5.3, 6.1, 27, 27));
    ASSERT_TRUE(raster.fill(c.target(), circle, {}, kWhite, 1));
    EXPECT_NEAR(c.ink(), std::numbers::pi * 13.5 * 13.5, 0.002 * std::numbers::pi * 13.5 * 13.5);
}

TEST(CoverageRaster, TheTransformPlacesAndScalesTheShape) {
    CoverageRaster raster;
    Buffer b(20, 20);
    // Two pixels per point, y flipped about a 10-point height, as a canvas
    // on a doubled window maps its points.
    const PixelTransform flip{2, 0, 0, -2, 0, 20};
    ASSERT_TRUE(raster.fill(b.target(), rect(1, 1, 3, 2), flip, kWhite, 1));
    EXPECT_EQ(b.alpha(2, 17), 255);  // points (1..3, 1..2) are pixels (2..6, 16..18)
    EXPECT_EQ(b.alpha(5, 16), 255);
    EXPECT_EQ(b.alpha(6, 17), 0);
    EXPECT_EQ(b.alpha(3, 15), 0);
    EXPECT_NEAR(b.ink(), 8, 0.01);
}

TEST(CoverageRaster, OppositeTurningCutsAHoleAndLikeTurningFillsOnce) {
    CoverageRaster raster;
    Buffer ring(20, 20);
    Path p = rect(2, 2, 18, 18);
    append(p, rect(6, 6, 14, 14, true));
    ASSERT_TRUE(raster.fill(ring.target(), p, {}, kWhite, 1));
    EXPECT_EQ(ring.alpha(10, 10), 0);
    EXPECT_EQ(ring.alpha(3, 10), 255);
    EXPECT_NEAR(ring.ink(), 16 * 16 - 8 * 8, 0.01);

    Buffer twice(20, 20);
    Path q = rect(2, 2, 12, 12);
    append(q, rect(6, 6, 16, 16));
    ASSERT_TRUE(raster.fill(twice.target(), q, {}, Color{1, 1, 1, 0.5}, 1));
    EXPECT_EQ(twice.alpha(8, 8), twice.alpha(3, 3));  // the overlap is not darker
    EXPECT_NEAR(twice.alpha(8, 8), 128, 1);
}

TEST(CoverageRaster, NothingIsDrawnOutsideTheClipOrTheBuffer) {
    CoverageRaster raster;
    // A shape reaching past every side of a small buffer, clipped further:
    // outside the clip the marker stays; the sanitizers watch the bounds.
    Buffer b(10, 8, 0x01020304u);
    PixelBuffer t = b.target();
    t.clipLeft = 2;
    t.clipTop = 1;
    t.clipRight = 7;
    t.clipBottom = 6;
    Path big;
    big.addEllipse(Rect::make(-6.5, -5.2, 24.1, 19.7));
    ASSERT_TRUE(raster.fill(t, big, {}, kWhite, 1));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x) {
            const bool inside = x >= 2 && x < 7 && y >= 1 && y < 6;
            if (inside) EXPECT_EQ(b.at(x, y), 0xffffffffu) << x << "," << y;
            else EXPECT_EQ(b.at(x, y), 0x01020304u) << x << "," << y;
        }
    // Wholly outside: nothing, and still a success.
    Buffer c(10, 10);
    EXPECT_TRUE(raster.fill(c.target(), rect(-30, -30, -20, -20), {}, kWhite, 1));
    EXPECT_TRUE(raster.fill(c.target(), rect(3, 40, 8, 50), {}, kWhite, 1));
    EXPECT_EQ(c.ink(), 0);
    // Afterwards the cells are clean: a small shape draws as if first.
    EXPECT_TRUE(raster.fill(c.target(), rect(1, 1, 3, 3), {}, kWhite, 1));
    EXPECT_NEAR(c.ink(), 4, 0.01);
}

TEST(CoverageRaster, ShapesItCannotDrawAreLeftUntouched) {
    CoverageRaster raster;
    Buffer b(10, 10);
    const double nan = std::nan("");
    EXPECT_FALSE(raster.fill(b.target(), rect(1, 1, nan, 5), {}, kWhite, 1));
    EXPECT_FALSE(raster.fill(b.target(), rect(1, 1, 5, 5), {1, 0, 0, 1, INFINITY, 0}, kWhite, 1));
    EXPECT_FALSE(raster.fill(b.target(), rect(0, 0, 5000, 5), {}, kWhite, 1));  // too wide to be worth it
    EXPECT_FALSE(raster.strokeHairline(b.target(), line({1, 1}, {8, 8}), {}, 1.5, LineCap::butt, kWhite, 1));
    EXPECT_EQ(b.ink(), 0);
}

TEST(CoverageRaster, BlendsSourceOverInPremultipliedPixels) {
    CoverageRaster raster;
    Buffer b(4, 4, 0xff0000ffu);  // opaque blue
    ASSERT_TRUE(raster.fill(b.target(), rect(0, 0, 4, 4), {}, Color{1, 0, 0, 0.5}, 1));
    const std::uint32_t p = b.at(1, 1);
    EXPECT_EQ(p >> 24, 255u);
    EXPECT_NEAR(static_cast<int>((p >> 16) & 0xff), 128, 1);
    EXPECT_EQ((p >> 8) & 0xff, 0u);
    EXPECT_NEAR(static_cast<int>(p & 0xff), 127, 1);
    // Opacity multiplies the colour's own alpha.
    Buffer c(4, 4);
    ASSERT_TRUE(raster.fill(c.target(), rect(0, 0, 4, 4), {}, Color{0, 1, 0, 0.5}, 0.5));
    EXPECT_NEAR(c.alpha(2, 2), 64, 1);
    EXPECT_NEAR(static_cast<int>((c.at(2, 2) >> 8) & 0xff), 64, 1);
}

TEST(CoverageRaster, HairlinesAreOnePixelAcrossAtTheStrengthOfTheirWidth) {
    CoverageRaster raster;
    Buffer centred(12, 10);
    ASSERT_TRUE(raster.strokeHairline(centred.target(), line({1, 4.5}, {9, 4.5}), {}, 1, LineCap::butt, kWhite, 1));
    for (int x = 1; x < 9; ++x) EXPECT_EQ(centred.alpha(x, 4), 255) << x;
    EXPECT_EQ(centred.alpha(4, 3), 0);
    EXPECT_EQ(centred.alpha(4, 5), 0);
    EXPECT_EQ(centred.alpha(0, 4), 0);
    EXPECT_EQ(centred.alpha(9, 4), 0);

    Buffer between(12, 10);
    ASSERT_TRUE(raster.strokeHairline(between.target(), line({1, 5}, {9, 5}), {}, 0.5, LineCap::butt, kWhite, 1));
    EXPECT_NEAR(between.alpha(4, 4), 64, 1);  // half the pixel, half the strength
    EXPECT_NEAR(between.alpha(4, 5), 64, 1);

    // A steep diagonal: every row holds one pixel's worth, no gaps.
    Buffer steep(20, 20);
    ASSERT_TRUE(raster.strokeHairline(steep.target(), line({3.3, 1}, {9.1, 18}), {}, 1, LineCap::butt, kWhite, 1));
    for (int y = 2; y < 17; ++y) {
        double row = 0;
        for (int x = 0; x < 20; ++x) row += steep.alpha(x, y) / 255.0;
        EXPECT_NEAR(row, 1.0, 0.02) << y;
    }
}

TEST(CoverageRaster, HairlineOutlinesJoinWithoutDoubleStrengthAndCapsReachHalfAPixel) {
    CoverageRaster raster;
    Buffer square(20, 20);
    ASSERT_TRUE(raster.strokeHairline(square.target(), rect(3.5, 3.5, 15.5, 15.5), {}, 0.6, LineCap::butt, kWhite, 1));
    int strongest = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) strongest = std::max(strongest, square.alpha(x, y));
    EXPECT_NEAR(strongest, 153, 1);  // 0.6 of full, corners included
    EXPECT_NEAR(square.alpha(3, 3), 153, 1);
    EXPECT_NEAR(square.alpha(9, 3), 153, 1);
    EXPECT_EQ(square.alpha(9, 9), 0);

    Buffer capped(12, 10);
    ASSERT_TRUE(raster.strokeHairline(capped.target(), line({2, 4.5}, {6, 4.5}), {}, 1, LineCap::round, kWhite, 1));
    EXPECT_NEAR(capped.alpha(1, 4), 128, 1);
    EXPECT_EQ(capped.alpha(2, 4), 255);
    EXPECT_NEAR(capped.alpha(6, 4), 128, 1);
    EXPECT_EQ(capped.alpha(0, 4), 0);
    Buffer butt(12, 10);
    ASSERT_TRUE(raster.strokeHairline(butt.target(), line({2, 4.5}, {6, 4.5}), {}, 1, LineCap::butt, kWhite, 1));
    EXPECT_EQ(butt.alpha(1, 4), 0);
    EXPECT_EQ(butt.alpha(6, 4), 0);
}

// What a hairline is by definition: for each segment a parallelogram one
// pixel across its major axis, all turning the same way, summed.
Path parallelograms(const std::vector<Point>& points, bool closed) {
    Path out;
    const std::size_t n = points.size();
    for (std::size_t i = 0; i + 1 < n + (closed ? 1 : 0); ++i) {
        const Point a = points[i], b = points[(i + 1) % n];
        const double dx = b.x - a.x, dy = b.y - a.y;
        const Point o = std::abs(dx) >= std::abs(dy) ? Point{0, dx > 0 ? 0.5 : -0.5} : Point{dy > 0 ? -0.5 : 0.5, 0};
        Path q;
        q.moveTo({a.x + o.x, a.y + o.y});
        q.lineTo({b.x + o.x, b.y + o.y});
        q.lineTo({b.x - o.x, b.y - o.y});
        q.lineTo({a.x - o.x, a.y - o.y});
        q.close();
        append(out, q);
    }
    return out;
}

TEST(CoverageRaster, HairlinesOfManySegmentsDrawWhatTheirParallelogramsCover) {
    // A many-sided outline (long runs of segments sharing an offset, and
    // the turns between them) and an open line of collinear pieces.
    std::vector<Point> ring;
    for (int i = 0; i < 40; ++i) {
        const double t = 2 * std::numbers::pi * i / 40;
        ring.push_back({20.3 + 13.7 * std::cos(t), 19.6 + 11.2 * std::sin(t)});
    }
    const std::vector<Point> pieces = {{3.2, 36.5}, {9.7, 35.1}, {16.2, 33.7}, {22.7, 32.3}, {24.1, 25.0}, {25.3, 18.9}};
    for (const bool closed : {true, false}) {
        const auto& points = closed ? ring : pieces;
        Path path;
        path.moveTo(points[0]);
        for (std::size_t i = 1; i < points.size(); ++i) path.lineTo(points[i]);
        if (closed) path.close();
        CoverageRaster raster;
        Buffer drawn(44, 44), expected(44, 44);
        ASSERT_TRUE(raster.strokeHairline(drawn.target(), path, {}, 0.8, LineCap::butt, kWhite, 1));
        ASSERT_TRUE(raster.fill(expected.target(), parallelograms(points, closed), {}, kWhite, 0.8));
        int worst = 0;
        for (int y = 0; y < 44; ++y)
            for (int x = 0; x < 44; ++x) worst = std::max(worst, std::abs(drawn.alpha(x, y) - expected.alpha(x, y)));
        EXPECT_LE(worst, 1) << (closed ? "ring" : "pieces");
        EXPECT_GT(drawn.ink(), 10);
    }
}

TEST(CoverageRaster, PixelsArePutDownWithinTheClipAtTheirOpacity) {
    Buffer b(8, 8, 0xff000000u);  // opaque black
    std::vector<std::uint32_t> source(16, 0xffffffffu);  // 4 x 4 opaque white
    source[4] = 0;  // one clear pixel, in the row that lands on row 0
    PixelBuffer t = b.target();
    t.clipRight = 6;
    blendPixels(t, source.data(), 4, 4, 4, 3, -1, 0.5);
    EXPECT_EQ(b.at(3, 0), 0xff000000u);  // the clear pixel leaves black
    EXPECT_NEAR(static_cast<int>((b.at(4, 0) >> 16) & 0xff), 128, 1);
    EXPECT_NEAR(static_cast<int>((b.at(5, 2) >> 16) & 0xff), 128, 1);
    EXPECT_EQ(b.at(6, 1), 0xff000000u);  // beyond the clip
    EXPECT_EQ(b.at(4, 3), 0xff000000u);  // below the source
    blendPixels(t, source.data(), 4, 4, 4, 3, -1, 0);
    EXPECT_NEAR(static_cast<int>((b.at(4, 0) >> 16) & 0xff), 128, 1);  // nothing at no opacity
}
