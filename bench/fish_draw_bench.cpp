// The cost of drawing one fish with the Qt canvas into a 112-point image,
// quiet and captured (wall time on the render thread).

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstring>

#include "render/canvas.h"
#include "render/render_thread.h"
#include "render/surface_frame.h"
#include "orvella/fish/fish_icon_view.h"
#include "support/fake_desktop.h"

using namespace orvella;
using namespace orvella::render;
using namespace orvella::testing;

namespace {

// A fish of a 72-point icon at 2x, grown to 0.86, whose window is at 0.58.
std::unique_ptr<FishIconView> benchFish(FakeDesktop& desk) {
    QImage iconImage(144, 144, QImage::Format_ARGB32_Premultiplied);
    iconImage.fill(qRgba(40, 120, 200, 255));
    iconImage.setDevicePixelRatio(2);
    OrvellaApp app{"Bench", "/bench.desktop", std::make_shared<QtImage>(iconImage, Size{72, 72})};
    auto view = std::make_unique<FishIconView>(app, FishViewServices{desk.clock, desk.random, desk.scheduler,
                                                                     desk.workspace, [] {
                                                                         return std::optional<double>(0.58);
                                                                     },
                                                                     {}, {}});
    view->setGrowthScale(0.86, false);
    return view;
}

void FishDraw(benchmark::State& state) {
    FakeDesktop desk;
    auto fish = benchFish(desk);
    FishIconView& view = *fish;
    if (state.range(0) == 1) view.showCapture(desk.clock.now() + 1e9);
    // The second argument 0 draws everything with the painter alone.
    QtCanvas::setOwnRasteriser(state.range(1) == 1);
    QImage target(112, 112, QImage::Format_ARGB32_Premultiplied);
    // Drawn as the fish windows draw, on the render thread, and all of the
    // loop there: the figure is the drawing, not the hand-over to it.
    RenderThread renderer;
    renderer.run([&] {
        QPainter painter(&target);
        for (auto _ : state) {
            desk.clock.set(desk.clock.now() + 1.0 / 60.0);
            std::memset(target.bits(), 0, static_cast<size_t>(target.sizeInBytes()));
            QtCanvas canvas(painter, 112, 0.58);
            view.draw(canvas);
        }
    });
    QtCanvas::setOwnRasteriser(true);
}

// A quiet fish's frame as its window draws it while the school idles: the
// part its tail swept since the last frame is cleared, drawn again over the
// kept plate and faded to the window's alpha, on the main thread.
void QuietFrame(benchmark::State& state) {
    FakeDesktop desk;
    auto fish = benchFish(desk);
    FishIconView& view = *fish;
    FakeSurface surface(SurfaceKind::fish, Rect::make(0, 0, 112, 112), "fish", {});
    surface.setAlpha(0.58);
    view.setWindow(&surface);
    QImage target(112, 112, QImage::Format_ARGB32_Premultiplied);
    std::unique_ptr<QPainter> painter;
    auto draw = [&](Canvas& canvas) { view.draw(canvas); };
    render::drawSurfaceFrame(target, painter, {target.rect(), 112, 0.58, true}, draw);
    for (auto _ : state) {
        desk.clock.set(desk.clock.now() + 1.0 / 30.0);
        view.heading += 0.004;  // steering turns an idle fish a little each step
        surface.dirtyRects.clear();
        view.setNeedsDisplay();
        QRect area = target.rect();
        if (!surface.dirtyRects.empty()) {
            const Rect r = surface.dirtyRects.back();
            area = QRectF(r.minX(), 112 - r.maxY(), r.width(), r.height()).toAlignedRect() & target.rect();
        }
        render::drawSurfaceFrame(target, painter, {area, 112, 0.58, true}, draw);
    }
}

}  // namespace

BENCHMARK(QuietFrame)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(FishDraw)->ArgsProduct({{0, 1}, {1, 0}})->ArgNames({"captured", "own"})->Unit(benchmark::kMicrosecond)->UseRealTime();

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
