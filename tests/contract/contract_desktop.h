#pragma once
// The desktop a port-contract run is held against: one real backend per
// process (X11 on a private Xvfb, or the Wayland backend in a compositor a
// wrapper started), with the means to drive its pointer, look at its screen
// and change its layout from outside, as a user would.

#include <QImage>
#include <QPoint>
#include <QRect>
#include <functional>
#include <string>
#include <vector>

#include "orvella/platform/platform.h"

namespace orvella::contract {

class ContractDesktop {
public:
    virtual ~ContractDesktop() = default;
    virtual std::string name() const = 0;
    virtual Platform& platform() = 0;
    // The outputs' logical rectangles, top-left origin and y down as the
    // compositor lays them out, primary first.
    virtual std::vector<QRect> layout() const = 0;
    // The pointer, at a point of that layout.
    virtual void movePointer(QPoint at) = 0;
    virtual void press() = 0;
    virtual void release() = 0;
    // The whole layout as shown; it may be scaled (a HiDPI output).
    virtual QImage screenshot() = 0;
    // Moves an output and back; false where the desktop cannot.
    virtual bool changeLayout() = 0;
    virtual void restoreLayout() = 0;
    // Turns the last output off and on again; false where the desktop cannot.
    virtual bool removeLastOutput() = 0;
    virtual void restoreLastOutput() = 0;
};

// The desktop of this run.
ContractDesktop& desktop();

// Runs the event loop until `done` holds or `seconds` pass.
bool spinUntil(const std::function<bool()>& done, double seconds = 5.0);

// Desktop points (y up from the primary's bottom-left) and the layout.
QPoint toLayout(Point p);
QRect toLayout(const Rect& r);
Point toDesktopPoint(QPoint p);

// The colour shown at a layout point of a screenshot of the whole layout.
QRgb shownAt(const QImage& shot, QPoint at);

}  // namespace orvella::contract
