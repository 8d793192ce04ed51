#pragma once
// The reports the KWin script and the GNOME Shell extension send, one JSON
// object each: {"kind": "pointer", x, y}, {"kind": "window", x, y, width,
// height, pid, class, title} (no frame: no focused window), {"kind":
// "press", x, y, shift, control, alt, super}, {"kind": "windows", windows:
// [{id, app, instance, class, pid}], bottom first, the focused one last;
// an id is a number, or a string where the compositor's ids are no numbers}.
// Anything else, or a report missing what its kind needs, is ignored.

#include <QPointF>
#include <optional>
#include <string>
#include <vector>

#include "desktop/providers/provider.h"
#include "orvella/platform/user_defaults.h"

namespace orvella::desktop {

struct ProviderReport {
    enum class Kind { other, pointer, window, press, windows };
    Kind kind = Kind::other;
    QPointF at;                           // pointer and press
    std::optional<ProviderWindow> window; // window: absent when none has the focus
    Modifiers modifiers;                  // press
    std::vector<ListedWindow> windows;    // windows
};

std::optional<ProviderReport> parseProviderReport(const std::string& json);
// A window's description; absent without a whole frame.
std::optional<ProviderWindow> parseProviderWindow(const Value& object);
// A point {x, y}; absent unless both are numbers.
std::optional<QPointF> parseProviderPoint(const Value& object);
// A list of windows; entries without a whole id are left out.
std::vector<ListedWindow> parseListedWindows(const Value& list);

// A provider fed by such reports: it keeps the pointer and the focused
// window they tell, and passes presses on.
class ReportedProvider : public DesktopProvider {
public:
    using DesktopProvider::DesktopProvider;
    std::optional<QPointF> pointer() const override { return pointer_; }
    std::optional<ProviderWindow> focusedWindow() const override { return window_; }
    // Absent until the first list comes: an older script or extension
    // lists none.
    std::optional<std::vector<ListedWindow>> windows() const override { return windows_; }

protected:
    void apply(const ProviderReport& report);
    void forget() {
        pointer_.reset();
        window_.reset();
        windows_.reset();
    }
    std::optional<QPointF> pointer_;
    std::optional<ProviderWindow> window_;
    std::optional<std::vector<ListedWindow>> windows_;
};

}  // namespace orvella::desktop
