#include "desktop/click_counter.h"

#include <QGuiApplication>
#include <QStyleHints>

namespace orvella::desktop {

int ClickCounter::leftPress(std::uint32_t timeMs, QPointF at) {
    Limits limits{400, 5};
    if (given_) {
        limits = *given_;
    } else if (qGuiApp) {
        const auto* hints = QGuiApplication::styleHints();
        limits = {hints->mouseDoubleClickInterval(), hints->mouseDoubleClickDistance()};
    }
    // Unsigned difference: right across the clock's wrap.
    const bool again = last_ &&
                       static_cast<std::uint32_t>(timeMs - last_->time) <= static_cast<std::uint32_t>(limits.interval) &&
                       (at - last_->at).manhattanLength() <= limits.distance;
    count_ = again ? count_ + 1 : 1;
    last_ = Press{timeMs, at};
    return count_;
}

}  // namespace orvella::desktop
