#pragma once
// The displays are the compositor's outputs, in its layout's logical
// pixels; each one's visible frame is what panels' exclusive zones leave.

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "desktop/handler_registry.h"
#include "orvella/platform/displays.h"
#include "wayland/connection.h"

namespace orvella::wayland {

class WaylandDisplays : public Displays {
public:
    explicit WaylandDisplays(WaylandConnection& connection);
    std::vector<DisplayInfo> screens() const override;
    std::optional<DisplayInfo> mainScreen() const override;
    int addChangeObserver(std::function<void()> observer) override;
    void removeChangeObserver(int id) override { observers_.remove(id); }
    // Called by the connection when outputs or their usable areas change.
    void changed();

private:
    WaylandConnection& connection_;
    desktop::HandlerRegistry<> observers_;
};

// The visible part of an output (layout pixels) from the size the
// compositor gives a surface anchored to all four edges. The protocol tells
// the size, not where it sits: the free space is split evenly between the
// two ends of each axis, so a panel on either side is at most half wrong.
QRect visibleArea(const QRect& output, const QRect& usable);

// An output's display number: from its connector name ("HDMI-A-1"), which
// stays the same when it is unplugged and plugged in again, unlike the
// registry's name for it, which is new each time. Where the compositor
// names no connector, the registry's name.
std::uint32_t displayNumber(const std::string& connector, std::uint32_t globalName);

}  // namespace orvella::wayland
