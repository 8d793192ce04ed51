#include "orvella/avoidance/active_window_monitor.h"

namespace orvella {

namespace {
constexpr double minimumWindowSide = 80;
}  // namespace

std::optional<ActiveWindowSnapshot> ActiveWindowMonitor::frontmostWindow(
    const std::set<std::string>& excluding) const {
    if (!platform_.accessibility.isProcessTrusted()) return std::nullopt;
    const auto front = platform_.workspace.frontmostApplication();
    if (!front) return std::nullopt;
    if (excluding.contains(front->bundleIdentifier)) return std::nullopt;

    const auto window = platform_.accessibility.frontWindow();
    if (!window) return std::nullopt;
    // The two reads are not atomic: if the focus moved between them, the
    // window belongs to someone else. The next poll reads both again.
    if (front->processID > 0 && window->processID > 0 && front->processID != window->processID)
        return std::nullopt;
    if (!(window->size.width > minimumWindowSide) || !(window->size.height > minimumWindowSide))
        return std::nullopt;

    const auto frame = appKitFrame(window->topLeftPosition, window->size);
    if (!frame) return std::nullopt;
    ActiveWindowSnapshot snapshot;
    snapshot.appName = front->localizedName;
    if (!front->bundleIdentifier.empty()) snapshot.bundleIdentifier = front->bundleIdentifier;
    snapshot.frame = *frame;
    return snapshot;
}

std::optional<Rect> ActiveWindowMonitor::appKitFrame(Point position, Size size) const {
    const auto screens = platform_.displays.screens();
    if (screens.empty()) return std::nullopt;
    auto onScreenArea = [&](const Rect& candidate) {
        double area = 0;
        for (const auto& screen : screens)
            if (auto shared = candidate.intersection(screen.frame))
                area += std::max(shared->width(), 0.0) * std::max(shared->height(), 0.0);
        return area;
    };
    std::optional<Rect> best;
    double bestArea = 0;
    for (const auto& screen : screens) {
        const Rect candidate =
            Rect::make(position.x, screen.frame.maxY() - position.y - size.height, size.width, size.height);
        const double area = onScreenArea(candidate);
        if (!best || area > bestArea) {
            best = candidate;
            bestArea = area;
        }
    }
    return best;
}

}  // namespace orvella
