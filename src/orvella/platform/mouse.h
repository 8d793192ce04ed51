#pragma once

#include <functional>

#include "orvella/support/geometry.h"

namespace orvella {

// Command = Super, Option = Alt on Linux; caps and num lock are ignored.
struct Modifiers {
    bool command = false;
    bool option = false;
    bool control = false;
    bool shift = false;
    friend bool operator==(const Modifiers&, const Modifiers&) = default;
    bool none() const { return !command && !option && !control && !shift; }
};

struct MouseEvent {
    enum class Type { leftMouseDown, mouseMoved } type = Type::leftMouseDown;
    Modifiers modifiers;
    Point location;  // global desktop points
};

class MouseMonitors {
public:
    virtual ~MouseMonitors() = default;
    // Every left mouse-down and mouse move of the desktop that goes to other
    // applications; read, never consumed. Returns a handle for removal.
    virtual int addGlobalMonitor(std::function<void(const MouseEvent&)> handler) = 0;
    // The same events aimed at this application's own windows, handled
    // synchronously before the window sees them.
    virtual int addLocalMonitor(std::function<void(const MouseEvent&)> handler) = 0;
    virtual void removeMonitor(int handle) = 0;
    // The pointer position now, in global desktop points.
    virtual Point mouseLocation() const = 0;
};

}  // namespace orvella
