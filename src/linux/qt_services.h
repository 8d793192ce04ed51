#pragma once
// Timers, clock, randomness, pointer and trust on the Linux desktop.

#include <QObject>
#include <map>
#include <random>

#include "linux/launcher_entries.h"
#include "linux/session_awareness.h"
#include "orvella/platform/accessibility.h"
#include "orvella/platform/canvas.h"
#include "orvella/platform/clock.h"
#include "orvella/platform/mouse.h"
#include "orvella/platform/random.h"
#include "orvella/platform/scheduler.h"

class QSocketNotifier;

namespace orvella::linux_desktop {

class SystemClock : public Clock {
public:
    Time now() const override;
};

class SystemRandom : public Random {
public:
    std::uint64_t nextUnit53() override;
    std::uint64_t nextBelow(std::uint64_t upperBound) override;

private:
    std::uint64_t next64();
    std::random_device device_;
};

class QtScheduler : public QObject, public Scheduler {
public:
    QtScheduler() = default;
    ~QtScheduler() override;
    int scheduleRepeating(double interval, double tolerance, std::function<void()> action) override;
    void cancel(int handle) override;
    void dispatchMain(std::function<void()> work) override;
    void animate(double from, double to, double duration, std::function<void(double)> apply,
                 std::function<void()> completion) override;
    std::unique_ptr<WorkQueue> makeWorkQueue(const std::string& label) override;
    // `before` runs before the action of every repeating timer's firing,
    // `after` once it is done.
    void setTickHooks(std::function<void()> before, std::function<void()> after) {
        tickHook_ = std::move(before);
        tickEndHook_ = std::move(after);
    }

private:
    std::function<void()> tickHook_;
    std::function<void()> tickEndHook_;
    struct Timer {
        int fd;
        QSocketNotifier* notifier;
    };
    std::map<int, Timer> timers_;
    int next_ = 1;
};

class QtBitmaps : public BitmapFactory {
public:
    std::shared_ptr<Image> makeBitmap(int pixelWidth, int pixelHeight, Size points,
                                      const std::function<void(Canvas&)>& draw) override;
    std::shared_ptr<Image> resized(const std::shared_ptr<Image>& image, Size points) override;
};

// Reading other applications' windows is possible exactly when there is an
// X11 connection; there is no prompt to show. The dock's badges are the
// launcher counts heard on the session bus.
class X11Accessibility : public Accessibility {
public:
    X11Accessibility();
    // Other applications' windows are readable through X11, or in a
    // Wayland session through the compositor's provider, whose abilities
    // then say what is known.
    bool isProcessTrusted() const override { return trusted_ || (session_ && session_->isWayland()); }
    bool isProcessTrustedWithPrompt() override { return isProcessTrusted(); }
    std::optional<FrontWindowInfo> frontWindow() override;
    std::optional<std::vector<DockItem>> dockItems() override { return launchers_.items(); }
    LauncherEntries& launcherEntries() { return launchers_; }
    // In a Wayland session the focused window comes from the compositor's
    // provider (XWayland knows only its own clients').
    void setSession(const SessionAwareness* session) { session_ = session; }

private:
    const SessionAwareness* session_ = nullptr;
    // Read once on the main thread; the badge reader asks from its queue.
    const bool trusted_;
    LauncherEntries launchers_;
};

}  // namespace orvella::linux_desktop
