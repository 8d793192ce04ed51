#pragma once
// A whole desktop in memory: manual clock, scripted displays and random
// values, recording surfaces and canvas, in-memory defaults.

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "orvella/platform/platform.h"
#include "support/recording_canvas.h"

namespace orvella::testing {

class ManualClock : public Clock {
public:
    Time now() const override { return now_; }
    void set(Time t) { now_ = t; }
    Time now_ = 1000;
};

// Plays back scripted values; once they run out, a fixed deterministic
// sequence follows so that tests which do not care still run.
class ScriptedRandom : public Random {
public:
    std::uint64_t nextUnit53() override;
    std::uint64_t nextBelow(std::uint64_t upperBound) override;
    // The next closed-interval draw yields lo + fraction * (hi - lo).
    void pushFraction(double fraction);
    void pushUnit(std::uint64_t u) { units.push_back(u); }
    void pushBelow(std::uint64_t v) { belows.push_back(v); }
    std::deque<std::uint64_t> units;
    std::deque<std::uint64_t> belows;
    int draws = 0;

private:
    std::uint64_t state_ = 0x9E3779B97F4A7C15ull;
    std::uint64_t nextState();
};

class FakeDisplays : public Displays {
public:
    std::vector<DisplayInfo> screens() const override { return screens_; }
    std::optional<DisplayInfo> mainScreen() const override { return main_; }
    int addChangeObserver(std::function<void()> observer) override;
    void removeChangeObserver(int id) override { observers_.erase(id); }

    // Replaces the layout and tells the observers, as the system would.
    void setScreens(std::vector<DisplayInfo> screens, bool notify = true);
    void setMainScreen(std::optional<DisplayInfo> main) { main_ = main; }
    size_t observerCount() const { return observers_.size(); }

private:
    std::vector<DisplayInfo> screens_;
    std::optional<DisplayInfo> main_;
    std::map<int, std::function<void()>> observers_;
    int next_ = 1;
};

class FakeImage : public Image {
public:
    FakeImage(std::string name, Size size) : name(std::move(name)), size_(size) {}
    Size size() const override { return size_; }
    std::string name;
    Size size_;
    int pixelWidth = 0, pixelHeight = 0;
    std::shared_ptr<RecordingCanvas> drawing;  // for bitmaps: what was drawn into it
    std::shared_ptr<Image> source;             // for resized images
};

class FakeBitmaps : public BitmapFactory {
public:
    std::shared_ptr<Image> makeBitmap(int pixelWidth, int pixelHeight, Size points,
                                      const std::function<void(Canvas&)>& draw) override;
    std::shared_ptr<Image> resized(const std::shared_ptr<Image>& image, Size points) override;
    bool failBitmaps = false;
};

class FakeSurface : public Surface {
public:
    FakeSurface(SurfaceKind kind, Rect frame, std::string title, std::function<void(Canvas&)> draw)
        : kind(kind), title(std::move(title)), frame_(frame), draw_(std::move(draw)) {}
    Rect frame() const override { return frame_; }
    void setOrigin(Point origin) override { frame_.origin = origin; }
    void setContentSize(Size size) override { frame_.size = size; }
    double alpha() const override { return alpha_; }
    void setAlpha(double alpha) override {
        alpha_ = alpha;
        alphaWrites.push_back(alpha);
    }
    std::vector<double> alphaWrites;
    void orderFront() override { visible_ = true; ++orderFrontCount; }
    void orderOut() override { visible_ = false; }
    bool isVisible() const override { return visible_ && !closed_; }
    void close() override {
        closed_ = true;
        visible_ = false;
        draw_ = nullptr;
        mouse = nullptr;
    }
    bool isClosed() const override { return closed_; }
    void setIgnoresMouseEvents(bool ignores) override { ignores_ = ignores; }
    bool ignoresMouseEvents() const override { return ignores_; }
    void setInteractiveRegion(const std::vector<Rect>& rects) override { region = rects; ++regionUpdates; }
    void setNeedsDisplay() override { ++needsDisplayCount; }
    void setNeedsDisplayIn(const Rect& rect) override {
        ++needsDisplayCount;
        dirtyRects.push_back(rect);
    }
    std::vector<Rect> dirtyRects;
    void setMouseHandler(std::function<void(const SurfaceMouseEvent&)> handler) override { mouse = std::move(handler); }

    // Draws the surface's content on a fresh recording canvas.
    // Draws the surface on a new recording canvas, which keeps layers when
    // asked to, as the real canvas does.
    std::shared_ptr<RecordingCanvas> render(bool keepingLayers = false);

    const SurfaceKind kind;
    const std::string title;
    std::vector<Rect> region;
    int regionUpdates = 0;
    int needsDisplayCount = 0;
    int orderFrontCount = 0;
    std::function<void(const SurfaceMouseEvent&)> mouse;

private:
    Rect frame_;
    std::function<void(Canvas&)> draw_;
    double alpha_ = 1;
    bool visible_ = false;
    bool closed_ = false;
    bool ignores_ = false;
};

class FakeSurfaces : public SurfaceFactory {
public:
    std::shared_ptr<Surface> createSurface(SurfaceKind kind, const Rect& contentRect, const std::string& title,
                                           std::function<void(Canvas&)> draw) override;
    std::vector<Rect> otherInteractiveWindowFrames() const override { return otherWindows; }
    std::vector<std::shared_ptr<FakeSurface>> all;
    std::vector<std::shared_ptr<FakeSurface>> ofKind(SurfaceKind kind, bool openOnly = true) const;
    // Frames of the application's other windows (settings, menus).
    std::vector<Rect> otherWindows;
};

class FakeWorkspace : public Workspace {
public:
    std::optional<std::string> applicationForRole(ApplicationRole role) override;
    std::string displayName(const std::string& path) override;
    std::shared_ptr<Image> iconForFile(const std::string& path) override;
    bool fileExists(const std::string& path) override { return existing.count(path) > 0; }
    bool reduceMotion() override { return reduceMotionOn; }
    Color systemBlue() override { return {0, 0.478, 1, 1}; }
    bool openApplication(const std::string& path) override;
    std::optional<std::string> bundleIdentifier(const std::string& path) override {
        auto it = bundleIDs.find(path);
        if (it == bundleIDs.end()) return std::nullopt;
        return it->second;
    }
    std::optional<RunningApplication> frontmostApplication() override { return frontmost; }
    std::optional<std::string> mainBundleIdentifier() const override { return ownIdentifier; }
    std::optional<std::string> canonicalPath(const std::string& path) override {
        auto it = canonical.find(path);
        if (it == canonical.end()) return std::nullopt;
        return it->second;
    }
    std::vector<std::string> bundleNames(const std::string& path) override {
        auto it = metadataNames.find(path);
        return it == metadataNames.end() ? std::vector<std::string>{} : it->second;
    }
    std::map<std::string, std::string> canonical;
    std::map<std::string, std::vector<std::string>> metadataNames;
    std::vector<RunningApplication> runningApplications() override { return running; }

    // Installs an application: it exists on disk and, optionally, fills a role.
    void install(const std::string& path, const std::string& name, std::optional<ApplicationRole> role = {});

    std::map<ApplicationRole, std::string> roles;
    std::set<std::string> existing;
    std::map<std::string, std::string> names;
    std::vector<std::string> opened;
    std::map<std::string, std::string> bundleIDs;
    std::vector<std::shared_ptr<Image>> icons;  // kept so recorded drawings stay valid
    bool reduceMotionOn = false;
    std::optional<RunningApplication> frontmost;
    std::optional<std::string> ownIdentifier = std::string("orvella");
    std::vector<RunningApplication> running;
};

class FakeMouse : public MouseMonitors {
public:
    int addGlobalMonitor(std::function<void(const MouseEvent&)> handler) override;
    int addLocalMonitor(std::function<void(const MouseEvent&)> handler) override;
    void removeMonitor(int handle) override { global.erase(handle); local.erase(handle); }
    Point mouseLocation() const override { return location; }
    Point location{100, 100};
    std::map<int, std::function<void(const MouseEvent&)>> global, local;

private:
    int next_ = 1;
};

class FakeAccessibility : public Accessibility {
public:
    bool isProcessTrusted() const override { return trusted; }
    bool isProcessTrustedWithPrompt() override { ++prompts; return trusted; }
    std::optional<FrontWindowInfo> frontWindow() override {
        ++frontReads;
        return front;
    }
    std::optional<std::vector<DockItem>> dockItems() override { return dock; }
    bool trusted = true;
    int prompts = 0;
    int frontReads = 0;
    std::optional<FrontWindowInfo> front;
    std::optional<std::vector<DockItem>> dock;
};

class FakeScheduler;

// A work queue that runs on the test's thread whenever the scheduler ticks:
// queued work first, then the timers that fell due.
class FakeWorkQueue : public WorkQueue {
public:
    FakeWorkQueue(FakeScheduler& scheduler, std::string label);
    ~FakeWorkQueue() override;
    void async(std::function<void()> work) override { pending_.push_back(std::move(work)); }
    int scheduleRepeating(double interval, double leeway, std::function<void()> work) override;
    void cancel(int handle) override { timers_.erase(handle); }
    void run(Time now);
    size_t timerCount() const { return timers_.size(); }
    const std::string label;

private:
    struct Timer {
        double interval;
        Time next;
        std::function<void()> work;
    };
    FakeScheduler& scheduler_;
    std::deque<std::function<void()>> pending_;
    std::map<int, Timer> timers_;
    int next_ = 1;
};

// Timers, dispatches and animations run when the test advances the clock.
class FakeScheduler : public Scheduler {
public:
    explicit FakeScheduler(ManualClock& clock) : clock_(clock) {}
    int scheduleRepeating(double interval, double tolerance, std::function<void()> action) override;
    void cancel(int handle) override { timers_.erase(handle); }
    void dispatchMain(std::function<void()> work) override { dispatched_.push_back(std::move(work)); }
    void animate(double from, double to, double duration, std::function<void(double)> apply,
                 std::function<void()> completion) override;
    std::unique_ptr<WorkQueue> makeWorkQueue(const std::string& label) override {
        return std::make_unique<FakeWorkQueue>(*this, label);
    }
    std::vector<FakeWorkQueue*> queues;
    Time now() const;

    // Moves the clock forward in steps of at most `step`, firing timers and
    // animation frames that fall due, then running queued dispatches.
    void advance(double seconds, double step = 1.0 / 240.0);
    void runDispatched();
    size_t timerCount() const { return timers_.size(); }
    size_t runningAnimations() const { return animations_.size(); }
    std::vector<double> timerIntervals() const;

    struct AnimationRecord {
        double from, to, duration;
    };
    std::vector<AnimationRecord> animationLog;

private:
    struct Timer {
        double interval;
        Time next;
        std::function<void()> action;
    };
    struct Animation {
        double from, to, duration;
        Time start;
        std::function<void(double)> apply;
        std::function<void()> completion;
    };
    void tick();
    ManualClock& clock_;
    std::map<int, Timer> timers_;
    std::vector<Animation> animations_;
    std::deque<std::function<void()>> dispatched_;
    int next_ = 1;
};

// A session whose abilities the test sets; it tells observers on change.
class FakeAwareness : public DesktopAwareness {
public:
    DesktopAbilities abilities() const override { return abilities_; }
    std::string providerName() const override { return name; }
    DesktopRemedy remedy() const override { return remedy_; }
    int addChangeObserver(std::function<void()> observer) override {
        observers_.emplace(next_, std::move(observer));
        return next_++;
    }
    void removeChangeObserver(int id) override { observers_.erase(id); }
    void set(DesktopAbilities abilities, DesktopRemedy remedy = DesktopRemedy::none) {
        abilities_ = abilities;
        remedy_ = remedy;
        auto observers = observers_;
        for (auto& [id, fn] : observers) fn();
    }
    std::string name = "x11";

private:
    DesktopAbilities abilities_{true, true, true};
    DesktopRemedy remedy_ = DesktopRemedy::none;
    std::map<int, std::function<void()>> observers_;
    int next_ = 1;
};

class MemoryDefaults : public UserDefaults {
public:
    std::optional<Value> object(const std::string& key) const override;
    void set(const std::string& key, Value value) override;
    void remove(const std::string& key) override;
    std::map<std::string, Value> values;
    std::vector<std::string> writes;  // keys, in the order written or removed
};

// Everything together, ready to hand to a controller.
struct FakeDesktop {
    FakeDesktop();
    ManualClock clock;
    ScriptedRandom random;
    FakeDisplays displays;
    FakeSurfaces surfaces;
    FakeBitmaps bitmaps;
    FakeWorkspace workspace;
    FakeMouse mouse;
    FakeAccessibility accessibility;
    FakeScheduler scheduler{clock};
    MemoryDefaults defaults;
    FakeAwareness awareness;
    Platform platform{displays,  surfaces, bitmaps, workspace, mouse,    accessibility,
                      scheduler, clock,    random,  defaults,  awareness};

    // One display with the given frame; its visible frame loses a 25-point
    // bar at the top.
    static DisplayInfo display(Rect frame, std::optional<std::uint32_t> number = {}, double topBar = 25);
};

}  // namespace orvella::testing
