// The canvas's own rasteriser against Qt's painter: a fish drawn either way
// must look the same, and frames drawn without the painter stay on the main
// thread.

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cmath>
#include <numbers>

#include "render/canvas.h"
#include "orvella/fish/fish_icon_view.h"

using namespace orvella;
using namespace orvella::render;

namespace {

struct Difference {
    int worst = 0;
    double mean = 0;  // per channel, over every pixel
};

Difference compare(const QImage& a, const QImage& b) {
    Difference d;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (int v : {std::abs(qAlpha(p) - qAlpha(q)), std::abs(qRed(p) - qRed(q)),
                          std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))}) {
                d.worst = std::max(d.worst, v);
                sum += v;
            }
        }
    d.mean = sum / (4.0 * a.width() * a.height());
    return d;
}

int alphaSum(const QImage& image) {
    int sum = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) sum += qAlpha(image.pixel(x, y));
    return sum;
}

// A tail as a fish draws it: the forked outline filled, stroked with a
// 0.7-point line, and two 0.55-point rays with round caps.
void drawTail(Canvas& c, double heading, double waggle, double scale) {
    const double theta = heading + std::numbers::pi;
    const Point root{56 + 20 * scale * std::cos(theta), 56 + 20 * scale * std::sin(theta)};
    const Path tail = FishIconView::forkedTailPath(root, theta, 22 * scale, 14 * scale, waggle);
    c.setFillColor({0.06, 0.76, 1.0, 0.2});
    c.fillPath(tail, FillRule::nonZero);
    c.setLineWidth(0.7);
    c.setStrokeColor({0.2, 0.6, 1.0, 0.14});
    c.strokePath(tail);
    c.save();
    c.setLineWidth(0.55);
    c.setLineCap(LineCap::round);
    c.setStrokeColor({0.2, 0.6, 1.0, 0.1});
    Path rays;
    const Vector d{std::cos(theta), std::sin(theta)}, n{-d.dy, d.dx};
    rays.moveTo(root + d * 2);
    rays.quadTo(root + d * (10 * scale) + n * (3 * scale), root + d * (19 * scale) + n * (9.5 * scale));
    rays.moveTo(root + d * 2);
    rays.quadTo(root + d * (10 * scale) - n * (3 * scale), root + d * (19 * scale) - n * (9.5 * scale));
    c.strokePath(rays);
    c.restore();
    Path plate;
    plate.addRoundedRect(Rect::make(56 - 27 * scale, 56 - 27 * scale, 54 * scale, 54 * scale), 14);
    c.setFillColor({1, 1, 1, 0.025});
    c.fillPath(plate, FillRule::nonZero);
}

QImage renderWith(bool own, qreal dpr, double alpha, const std::function<void(Canvas&)>& draw) {
    QtCanvas::setOwnRasteriser(own);
    QImage out(QSize(112, 112) * dpr, QImage::Format_ARGB32_Premultiplied);
    out.setDevicePixelRatio(dpr);
    out.fill(qRgba(0, 0, 0, 0));
    {
        QPainter p(&out);
        QtCanvas c(p, 112, alpha);
        draw(c);
    }
    QtCanvas::setOwnRasteriser(true);
    return out;
}

}  // namespace

TEST(OwnRasteriser, AFishTailLooksAsThePainterDrawsIt) {
    // Headings all round, waggles both ways, three sizes, at the window
    // alpha of a quiet fish and at full strength.
    for (double heading = 0; heading < 2 * std::numbers::pi; heading += 0.37)
        for (double waggle : {-0.28, 0.0, 0.21})
            for (double scale : {0.62, 1.0, 1.5})
                for (double alpha : {0.58, 1.0}) {
                    auto draw = [&](Canvas& c) { drawTail(c, heading, waggle, scale); };
                    const QImage mine = renderWith(true, 1, alpha, draw), qt = renderWith(false, 1, alpha, draw);
                    const Difference d = compare(mine, qt);
                    SCOPED_TRACE(::testing::Message() << "heading " << heading << " waggle " << waggle << " scale "
                                                      << scale << " alpha " << alpha);
                    EXPECT_LE(d.worst, 12);
                    EXPECT_LT(d.mean, 0.15);
                    // As much ink overall, within 3 %.
                    EXPECT_NEAR(alphaSum(mine), alphaSum(qt), 0.03 * alphaSum(qt) + 20);
                }
}

TEST(OwnRasteriser, FillsMatchThePainterAtTwoPixelsPerPointAndInAnyShape) {
    auto draw = [](Canvas& c) {
        Path round;
        round.addEllipse(Rect::make(10.3, 12.8, 40.5, 27.2));
        c.setFillColor({0.9, 0.2, 0.1, 0.7});
        c.fillPath(round, FillRule::nonZero);
        Path pill;
        pill.addRoundedRect(Rect::make(40, 60, 50.5, 26), 13);
        c.setFillColor({1, 0.23, 0.19, 1});
        c.fillPath(pill, FillRule::nonZero);
        // Two squares turning the same way overlap: non-zero fills both once.
        Path both;
        for (double o : {0.0, 8.0}) {
            both.moveTo({70 + o, 10 + o});
            both.lineTo({90 + o, 10 + o});
            both.lineTo({90 + o, 30 + o});
            both.lineTo({70 + o, 30 + o});
            both.close();
        }
        c.setFillColor({0.1, 0.5, 0.3, 0.5});
        c.fillPath(both, FillRule::nonZero);
    };
    // Both flatten curves into short chords, each its own way (the painter's
    // chords cut inside the bends a little more): on a curved edge a pixel
    // may differ by a tenth of its coverage, and the ink by 1 %.
    for (qreal dpr : {1.0, 2.0}) {
        const QImage mine = renderWith(true, dpr, 0.8, draw), qt = renderWith(false, dpr, 0.8, draw);
        const Difference d = compare(mine, qt);
        EXPECT_LE(d.worst, 26) << dpr;
        EXPECT_LT(d.mean, 0.2) << dpr;
        EXPECT_NEAR(alphaSum(mine), alphaSum(qt), 0.01 * alphaSum(qt)) << dpr;
    }
}

TEST(OwnRasteriser, ClippedDrawingMatchesTheSamePartOfAWholeFrame) {
    auto draw = [](Canvas& c) { drawTail(c, 2.2, 0.1, 1.0); };
    const QImage whole = renderWith(true, 1, 1, draw);
    QImage part(112, 112, QImage::Format_ARGB32_Premultiplied);
    part.fill(qRgba(1, 2, 3, 4));  // marks what must stay untouched
    const QRect clip(30, 50, 37, 29);
    {
        QPainter p(&part);
        p.setClipRect(clip);
        QtCanvas c(p, 112, 1);
        c.setDeviceClip(clip);
        bool painterUsed = false;
        c.setPainterUseFlag(&painterUsed);
        draw(c);
        EXPECT_FALSE(painterUsed);
    }
    for (int y = 0; y < 112; ++y)
        for (int x = 0; x < 112; ++x) {
            if (clip.contains(x, y)) continue;
            ASSERT_EQ(part.pixel(x, y), qRgba(1, 2, 3, 4)) << x << "," << y;
        }
    // Inside, the part was drawn over the marker: compare with the whole
    // frame drawn over the same marker.
    QImage reference(112, 112, QImage::Format_ARGB32_Premultiplied);
    reference.fill(qRgba(1, 2, 3, 4));
    {
        QPainter p(&reference);
        QtCanvas c(p, 112, 1);
        draw(c);
    }
    EXPECT_EQ(compare(part.copy(clip), reference.copy(clip)).worst, 0);
    EXPECT_GT(alphaSum(whole.copy(clip)), 0);
}

TEST(OwnRasteriser, OnlyWhatItCannotDrawGoesToThePainter) {
    QImage out(112, 112, QImage::Format_ARGB32_Premultiplied);
    out.fill(0);
    QPainter p(&out);
    QtCanvas c(p, 112, 1);
    bool used = false;
    c.setPainterUseFlag(&used);
    drawTail(c, 1, 0, 1);
    EXPECT_FALSE(used);
    // A line wider than a pixel, an even-odd fill, a shadow and text are
    // the painter's.
    auto uses = [&](const std::function<void()>& op) {
        used = false;
        c.save();
        op();
        c.restore();
        return used;
    };
    Path line;
    line.moveTo({10, 10});
    line.lineTo({50, 30});
    EXPECT_TRUE(uses([&] {
        c.setLineWidth(2);
        c.strokePath(line);
    }));
    EXPECT_TRUE(uses([&] { c.fillPath(line, FillRule::evenOdd); }));
    EXPECT_TRUE(uses([&] {
        c.setShadow({0, -2}, 3, {0, 0, 0, 0.3});
        c.fillPath(line, FillRule::nonZero);
    }));
    EXPECT_TRUE(uses([&] { c.drawText("9", {20, 20}, 12, true); }));
    EXPECT_FALSE(uses([&] {
        c.setLineWidth(1);
        c.strokePath(line);
    }));
}

TEST(OwnRasteriser, AKeptLayerIsPutDownAsThePainterWouldAtAnyAlpha) {
    auto plate = [](Canvas& c) {
        Path rounded;
        rounded.addRoundedRect(Rect::make(30, 30, 52, 52), 14);
        c.setFillColor({0.3, 0.6, 0.9, 0.9});
        c.fillPath(rounded, FillRule::nonZero);
    };
    for (qreal dpr : {1.0, 2.0})
    for (double alpha : {1.0, 0.58, 0.2}) {
        CanvasLayer mine, theirs;
        auto draw = [&](CanvasLayer& layer) {
            return [&](Canvas& c) {
                c.setFillColor({1, 0, 0, 0.5});
                c.fillRect(Rect::make(0, 0, 56, 112), CompositeOp::sourceOver);
                c.drawLayer(layer, Rect::make(28, 28, 56, 56), plate);
            };
        };
        // The layer's own pixels are drawn by either rasteriser; how the
        // kept copy is put down is what is compared.
        const QImage qt = renderWith(false, dpr, alpha, draw(theirs));
        (void)renderWith(false, dpr, alpha, draw(mine));  // keeps the painter's layer
        EXPECT_LE(compare(renderWith(true, dpr, alpha, draw(mine)), qt).worst, 1) << dpr << " " << alpha;
    }
}
