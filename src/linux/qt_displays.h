#pragma once

#include <QObject>
#include <map>
#include <vector>

#include "orvella/platform/displays.h"

class QScreen;

namespace orvella::linux_desktop {

// The screens Qt knows (RandR monitors), primary first. The list is cached
// and re-read when Qt reports a change; observers hear of a burst of changes
// once, on the next turn of the event loop.
class QtDisplays : public QObject, public Displays {
public:
    QtDisplays();
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
    std::map<int, std::function<void()>> observers_;
    int next_ = 1;
};

}  // namespace orvella::linux_desktop
