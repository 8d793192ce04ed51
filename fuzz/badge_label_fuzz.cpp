// Arbitrary text as badge labels, titles and names: parsing and
// normalisation never fail, stay in range, and matching copes with any mix.

#include <cstdint>
#include <string>

#include "orvella/badges/unread_badge_monitor.h"
#include "orvella/controller/orvella_controller.h"
#include "support/fake_desktop.h"

using namespace orvella;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (bool cue : {false, true})
        if (auto n = UnreadBadgeMonitor::numericBadgeCount(text, cue); n && (*n < 0 || *n > 999)) __builtin_trap();
    const std::string name = UnreadBadgeMonitor::normalizedName(text);
    // Normal form: no leading, trailing or double spaces. (Not idempotent:
    // ".app" goes in one pass, so "x.ap.appp" keeps the ".app" it forms.)
    if (!name.empty() && (name.front() == ' ' || name.back() == ' ')) __builtin_trap();
    if (name.find("  ") != std::string::npos) __builtin_trap();

    // The text cut into the fields of dock items and a catalogue name.
    std::vector<std::string> parts{""};
    for (char c : text) {
        if (c == '\n')
            parts.emplace_back();
        else
            parts.back() += c;
    }
    testing::FakeDesktop desk;
    std::vector<DockItem> items;
    for (size_t i = 0; i + 2 < parts.size() || i == 0; i += 3) {
        DockItem item;
        item.role = "AXDockItem";
        item.title = parts[i];
        if (i + 1 < parts.size()) item.statusLabel = parts[i + 1];
        if (i + 2 < parts.size()) item.url = parts[i + 2];
        items.push_back(item);
    }
    desk.accessibility.dock = items;
    OrvellaController controller(desk.platform);
    OrvellaApp app{parts.back(), "/apps/" + std::to_string(parts.size()) + ".desktop", nullptr};
    auto& monitor = controller.unreadBadgeMonitor;
    auto counts = monitor.readDockBadgeCounts({monitor.makeDescriptor(app)});
    if (!counts || counts->size() != 1) __builtin_trap();
    for (const auto& [path, n] : *counts)
        if (n < 0 || n > 999) __builtin_trap();
    return 0;
}
