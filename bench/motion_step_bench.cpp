// The cost of one motion step of the tank on the fake desktop (no drawing).

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "orvella/controller/orvella_controller.h"
#include "support/fake_desktop.h"

using namespace orvella;
using namespace orvella::testing;

namespace {

void MotionStep(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    FakeDesktop desk;
    desk.displays.setScreens({FakeDesktop::display(Rect::make(0, 0, 2560, 1440), 1)}, false);
    Value::Array paths;
    for (int i = 0; i < n; ++i) {
        const std::string path = "/apps/bench" + std::to_string(i) + ".desktop";
        desk.workspace.install(path, "Bench " + std::to_string(i));
        paths.emplace_back(path);
    }
    desk.defaults.values[OrvellaController::kApplicationPathsKey] = Value(paths);
    desk.mouse.location = {1280, 400};
    OrvellaController controller(desk.platform);
    controller.start();
    controller.stop();  // steps are driven here, not by the fake timer
    // Let the school spread out before measuring.
    for (int i = 0; i < 600; ++i) {
        desk.clock.set(desk.clock.now() + 1.0 / 60.0);
        controller.stepMotion();
    }
    for (auto _ : state) {
        desk.clock.set(desk.clock.now() + 1.0 / 60.0);
        controller.lastMotionStepAt = 0;
        controller.stepMotion();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

}  // namespace

BENCHMARK(MotionStep)->Arg(9)->Arg(30)->Arg(100)->Arg(300)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
