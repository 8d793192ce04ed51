#pragma once
// Counts presses in quick succession at about the same place (1, 2, 3, ...),
// as the desktop's double-click setting says: the one rule both backends
// give a surface's presses.

#include <QPointF>
#include <cstdint>
#include <optional>

namespace orvella::desktop {

class ClickCounter {
public:
    // The double-click interval (ms) and distance (Manhattan, points) are
    // the desktop's (Qt's style hints, read at each press: the user may
    // change them) unless given.
    ClickCounter() = default;
    ClickCounter(int intervalMs, int distance) : given_(Limits{intervalMs, distance}) {}

    // A left press at `at` (any fixed coordinates: global or layout) at
    // `timeMs`, a 32-bit millisecond clock that may wrap (X server and
    // Wayland event times are): its count, 1 for a press that starts a run.
    int leftPress(std::uint32_t timeMs, QPointF at);
    // Another button only breaks a run: a right click then a quick left
    // click is a single click.
    void otherPress() { last_.reset(); }
    // The count of the last left press, which its drags and release carry.
    int count() const { return count_; }

private:
    struct Press {
        std::uint32_t time;
        QPointF at;
    };
    struct Limits {
        int interval;
        int distance;
    };
    std::optional<Limits> given_;
    std::optional<Press> last_;
    int count_ = 1;
};

}  // namespace orvella::desktop
