// Arbitrary bytes as the stored defaults file: the store and every typed
// read the controller makes at start-up must cope, and what the store then
// writes must parse back to what it holds.

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "desktop/json.h"
#include "desktop/json_defaults.h"
#include "orvella/controller/orvella_controller.h"
#include "support/fake_desktop.h"

using namespace orvella;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static const std::filesystem::path dir = [] {
        char name[] = "/tmp/orvella-fuzz-XXXXXX";
        return std::filesystem::path(::mkdtemp(name));
    }();
    const std::string text(reinterpret_cast<const char*>(data), size);

    // The parser on its own: what parses serialises and parses back equal.
    if (auto value = desktop::parseJson(text)) {
        auto again = desktop::parseJson(desktop::serializeJson(*value));
        if (!again || !(*again == *value)) __builtin_trap();
    }

    const auto file = dir / "defaults.json";
    std::filesystem::remove(dir / "defaults.json.unreadable");
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    desktop::JsonFileDefaults store(file);
    testing::FakeDesktop desk;
    desk.workspace.install("/apps/a.desktop", "A", ApplicationRole::mail);
    Platform platform{desk.displays, desk.surfaces, desk.bitmaps, desk.workspace, desk.mouse,
                      desk.accessibility, desk.scheduler, desk.clock, desk.random, store, desk.awareness};
    OrvellaController controller(platform);
    // The values in force are within their ranges whatever the file said.
    if (!(controller.iconOpacity() >= 0.1 && controller.iconOpacity() <= 0.9)) __builtin_trap();
    if (!(controller.swimSpeed() >= 0.3 && controller.swimSpeed() <= 2.4)) __builtin_trap();
    controller.setSwimSpeed(1.5);
    desktop::JsonFileDefaults reread(file);
    auto speed = reread.object(OrvellaController::kSwimSpeedKey);
    if (!speed || !speed->isNumber() || speed->asNumber() != 1.5) __builtin_trap();
    return 0;
}
