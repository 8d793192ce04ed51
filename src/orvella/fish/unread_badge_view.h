#pragma once

#include <string>

#include "orvella/platform/canvas.h"

namespace orvella {

// The unread-count pill: a red, white-rimmed rounded label.
class UnreadBadgeView {
public:
    static constexpr double kHeight = 26;
    // Any count from 100 up reads "99+".
    static std::string label(int count) { return count < 100 ? std::to_string(count) : "99+"; }
    // (max(9 * label characters + 17, 26), 26)
    static Size fittingSize(int count);

    int count = 0;  // not clamped
    void draw(Canvas& canvas, Size bounds) const;
};

}  // namespace orvella
