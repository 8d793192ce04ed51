#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "orvella/support/geometry.h"

namespace orvella {

struct DisplayInfo {
    Rect frame;                          // whole display, global points
    Rect visibleFrame;                   // without panels, docks and bars
    std::optional<std::uint32_t> number; // the system's display number, where readable
    friend bool operator==(const DisplayInfo&, const DisplayInfo&) = default;
};

class Displays {
public:
    virtual ~Displays() = default;
    // Displays in system order, primary first.
    virtual std::vector<DisplayInfo> screens() const = 0;
    // The display the system calls main, when it reports one.
    virtual std::optional<DisplayInfo> mainScreen() const = 0;
    // Called once per layout change (coalesced); returns an id for removal.
    virtual int addChangeObserver(std::function<void()> observer) = 0;
    virtual void removeChangeObserver(int id) = 0;
};

}  // namespace orvella
