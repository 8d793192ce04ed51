#include "wayland/displays.h"

#include <QGuiApplication>
#include <QScreen>

#include "desktop/coordinates.h"

namespace orvella::wayland {

QRect visibleArea(const QRect& output, const QRect& usable) {
    if (usable.isEmpty() || usable.width() > output.width() || usable.height() > output.height()) return output;
    return QRect(output.x() + (output.width() - usable.width()) / 2, output.y() + (output.height() - usable.height()) / 2,
                 usable.width(), usable.height());
}

std::uint32_t displayNumber(const std::string& connector, std::uint32_t globalName) {
    if (connector.empty()) return globalName;
    // FNV-1a: fixed across runs and builds, which std::hash is not bound to be.
    std::uint32_t hash = 2166136261u;
    for (const unsigned char c : connector) hash = (hash ^ c) * 16777619u;
    return hash;
}

WaylandDisplays::WaylandDisplays(WaylandConnection& connection) : connection_(connection) {}

std::vector<DisplayInfo> WaylandDisplays::screens() const {
    // Primary first: the output Qt calls primary, which the desktop
    // coordinates are measured from.
    const QRectF primary = desktop::primaryGeometry();
    std::vector<DisplayInfo> out;
    for (const auto& output : connection_.outputs()) {
        if (!output->ready) continue;
        DisplayInfo info;
        info.frame = desktop::toDesktop(QRectF(output->logical), primary);
        info.visibleFrame = desktop::toDesktop(QRectF(visibleArea(output->logical, output->usable)), primary);
        info.number = displayNumber(output->name.toStdString(), output->globalName);
        if (QRectF(output->logical) == primary)
            out.insert(out.begin(), info);
        else
            out.push_back(info);
    }
    return out;
}

std::optional<DisplayInfo> WaylandDisplays::mainScreen() const {
    const auto all = screens();
    if (all.empty()) return std::nullopt;
    return all.front();
}

int WaylandDisplays::addChangeObserver(std::function<void()> observer) { return observers_.add(std::move(observer)); }

void WaylandDisplays::changed() {
    observers_.deliver();
}

}  // namespace orvella::wayland
