#pragma once

#include <QObject>
#include <map>
#include <vector>

#include "desktop/handler_registry.h"
#include "orvella/platform/displays.h"

class QScreen;

namespace orvella::x11 {

// The screens Qt knows (RandR monitors), primary first. The list is cached
// and re-read when Qt reports a change; observers hear of a burst of changes
// once, on the next turn of the event loop.
class X11Displays : public QObject, public Displays {
public:
    X11Displays();
    std::vector<DisplayInfo> screens() const override;
    std::optional<DisplayInfo> mainScreen() const override;
    int addChangeObserver(std::function<void()> observer) override;
    void removeChangeObserver(int id) override;

private:
    void watch(QScreen* screen);
    void changed();
    void refresh() const;
    mutable bool stale_ = true;
    mutable std::vector<DisplayInfo> cache_;
    bool notifyQueued_ = false;
    desktop::HandlerRegistry<> observers_;
};

}  // namespace orvella::x11
