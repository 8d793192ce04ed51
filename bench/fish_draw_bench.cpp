// The cost of drawing one fish with the Qt canvas into a 112-point image,
// quiet and captured.

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "linux/qt_canvas.h"
#include "linux/render_thread.h"
#include "orvella/fish/fish_icon_view.h"
#include "support/fake_desktop.h"

using namespace orvella;
using namespace orvella::linux_desktop;
using namespace orvella::testing;

namespace {

void FishDraw(benchmark::State& state) {
    FakeDesktop desk;
    QImage iconImage(144, 144, QImage::Format_ARGB32_Premultiplied);
    iconImage.fill(qRgba(40, 120, 200, 255));
    iconImage.setDevicePixelRatio(2);
    OrvellaApp app{"Bench", "/bench.desktop", std::make_shared<QtImage>(iconImage, Size{72, 72})};
    FishIconView view(app, FishViewServices{desk.clock, desk.random, desk.scheduler, desk.workspace, [] {
                          return std::optional<double>(0.58);
                      }, {}, {}});
    view.setGrowthScale(0.86, false);
    if (state.range(0) == 1) view.showCapture(desk.clock.now() + 1e9);
    QImage target(112, 112, QImage::Format_ARGB32_Premultiplied);
    // Drawn as the fish windows draw: on the render thread.
    RenderThread renderer;
    const std::function<void()> draw = [&] {
        target.fill(0);
        QPainter painter(&target);
        QtCanvas canvas(painter, 112, 0.58);
        view.draw(canvas);
    };
    for (auto _ : state) {
        desk.clock.set(desk.clock.now() + 1.0 / 60.0);
        renderer.run(draw);
    }
}

}  // namespace

BENCHMARK(FishDraw)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
