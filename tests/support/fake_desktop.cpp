#include "support/fake_desktop.h"

#include <algorithm>
#include <cmath>

namespace orvella::testing {

std::uint64_t ScriptedRandom::nextState() {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return state_;
}

std::uint64_t ScriptedRandom::nextUnit53() {
    ++draws;
    if (!units.empty()) {
        auto u = units.front();
        units.pop_front();
        return u;
    }
    return nextState() >> 11;
}

std::uint64_t ScriptedRandom::nextBelow(std::uint64_t upperBound) {
    ++draws;
    if (!belows.empty()) {
        auto v = belows.front();
        belows.pop_front();
        return v % upperBound;
    }
    return (nextState() >> 11) % upperBound;
}

void ScriptedRandom::pushFraction(double fraction) {
    units.push_back(static_cast<std::uint64_t>(std::llround(fraction * static_cast<double>(kTwoPow53))));
}

int FakeDisplays::addChangeObserver(std::function<void()> observer) {
    observers_.emplace(next_, std::move(observer));
    return next_++;
}

void FakeDisplays::setScreens(std::vector<DisplayInfo> screens, bool notify) {
    screens_ = std::move(screens);
    if (!notify) return;
    auto observers = observers_;
    for (auto& [id, fn] : observers) fn();
}

std::shared_ptr<Image> FakeBitmaps::makeBitmap(int pixelWidth, int pixelHeight, Size points,
                                               const std::function<void(Canvas&)>& draw) {
    if (failBitmaps) return nullptr;
    auto image = std::make_shared<FakeImage>("bitmap", points);
    image->pixelWidth = pixelWidth;
    image->pixelHeight = pixelHeight;
    image->drawing = std::make_shared<RecordingCanvas>();
    draw(*image->drawing);
    return image;
}

std::shared_ptr<Image> FakeBitmaps::resized(const std::shared_ptr<Image>& image, Size points) {
    auto out = std::make_shared<FakeImage>("resized", points);
    out->source = image;
    return out;
}

std::shared_ptr<RecordingCanvas> FakeSurface::render(bool keepingLayers) {
    auto canvas = std::make_shared<RecordingCanvas>();
    canvas->keepsLayers = keepingLayers;
    if (draw_) draw_(*canvas);
    return canvas;
}

std::shared_ptr<Surface> FakeSurfaces::createSurface(SurfaceKind kind, const Rect& contentRect,
                                                     const std::string& title, std::function<void(Canvas&)> draw) {
    auto surface = std::make_shared<FakeSurface>(kind, contentRect, title, std::move(draw));
    all.push_back(surface);
    return surface;
}

std::vector<std::shared_ptr<FakeSurface>> FakeSurfaces::ofKind(SurfaceKind kind, bool openOnly) const {
    std::vector<std::shared_ptr<FakeSurface>> out;
    for (const auto& s : all)
        if (s->kind == kind && (!openOnly || !s->isClosed())) out.push_back(s);
    return out;
}

std::optional<std::string> FakeWorkspace::applicationForRole(ApplicationRole role) {
    auto it = roles.find(role);
    if (it == roles.end()) return std::nullopt;
    return it->second;
}

std::string FakeWorkspace::displayName(const std::string& path) {
    auto it = names.find(path);
    if (it != names.end()) return it->second;
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::shared_ptr<Image> FakeWorkspace::iconForFile(const std::string& path) {
    auto icon = std::make_shared<FakeImage>("icon:" + path, Size{512, 512});
    icons.push_back(icon);
    return icon;
}

bool FakeWorkspace::openApplication(const std::string& path) {
    opened.push_back(path);
    return existing.count(path) > 0;
}

void FakeWorkspace::install(const std::string& path, const std::string& name, std::optional<ApplicationRole> role) {
    existing.insert(path);
    names[path] = name;
    if (role) roles[*role] = path;
}

int FakeMouse::addGlobalMonitor(std::function<void(const MouseEvent&)> handler) {
    global.emplace(next_, std::move(handler));
    return next_++;
}

int FakeMouse::addLocalMonitor(std::function<void(const MouseEvent&)> handler) {
    local.emplace(next_, std::move(handler));
    return next_++;
}

int FakeScheduler::scheduleRepeating(double interval, double, std::function<void()> action) {
    timers_.emplace(next_, Timer{interval, clock_.now() + interval, std::move(action)});
    return next_++;
}

void FakeScheduler::animate(double from, double to, double duration, std::function<void(double)> apply,
                            std::function<void()> completion) {
    animationLog.push_back({from, to, duration});
    if (apply) apply(from);
    animations_.push_back({from, to, duration, clock_.now(), std::move(apply), std::move(completion)});
}

std::vector<double> FakeScheduler::timerIntervals() const {
    std::vector<double> out;
    for (const auto& [id, t] : timers_) out.push_back(t.interval);
    return out;
}

namespace {
// cubic-bezier(0, 0, 0.58, 1): solve x(s) = p for s, return y(s).
double easeOut(double p) {
    auto x = [](double s) { return 3 * (1 - s) * s * s * 0.58 + s * s * s; };
    auto y = [](double s) { return 3 * (1 - s) * (1 - s) * s * 0 + 3 * (1 - s) * s * s * 1 + s * s * s; };
    double lo = 0, hi = 1;
    for (int i = 0; i < 50; ++i) {
        const double mid = (lo + hi) / 2;
        (x(mid) < p ? lo : hi) = mid;
    }
    return y((lo + hi) / 2);
}
}  // namespace

FakeWorkQueue::FakeWorkQueue(FakeScheduler& scheduler, std::string label)
    : label(std::move(label)), scheduler_(scheduler) {
    scheduler_.queues.push_back(this);
}

FakeWorkQueue::~FakeWorkQueue() { std::erase(scheduler_.queues, this); }

int FakeWorkQueue::scheduleRepeating(double interval, double, std::function<void()> work) {
    timers_.emplace(next_, Timer{interval, scheduler_.now(), std::move(work)});
    return next_++;
}

void FakeWorkQueue::run(Time now) {
    while (!pending_.empty()) {
        auto work = std::move(pending_.front());
        pending_.pop_front();
        work();
    }
    std::vector<int> due;
    for (auto& [id, t] : timers_)
        if (t.next <= now + 1e-12) due.push_back(id);
    for (int id : due) {
        auto it = timers_.find(id);
        if (it == timers_.end()) continue;
        it->second.next += it->second.interval;
        auto work = it->second.work;
        work();
    }
}

Time FakeScheduler::now() const { return clock_.now(); }

void FakeScheduler::tick() {
    const Time now = clock_.now();
    for (FakeWorkQueue* q : std::vector<FakeWorkQueue*>(queues)) q->run(now);
    std::vector<int> due;
    for (auto& [id, t] : timers_)
        if (t.next <= now + 1e-12) due.push_back(id);
    for (int id : due) {
        auto it = timers_.find(id);
        if (it == timers_.end()) continue;  // cancelled by an earlier action
        it->second.next += it->second.interval;
        auto action = it->second.action;
        action();
    }
    auto running = std::move(animations_);
    animations_.clear();
    std::vector<Animation> keep;
    for (auto& a : running) {
        const double p = a.duration > 0 ? std::clamp((now - a.start) / a.duration, 0.0, 1.0) : 1.0;
        if (a.apply) a.apply(a.from + (a.to - a.from) * easeOut(p));
        if (p >= 1) {
            if (a.completion) a.completion();
        } else {
            keep.push_back(std::move(a));
        }
    }
    // Animations started during this tick were appended to animations_.
    keep.insert(keep.end(), std::make_move_iterator(animations_.begin()), std::make_move_iterator(animations_.end()));
    animations_ = std::move(keep);
}

void FakeScheduler::advance(double seconds, double step) {
    const Time end = clock_.now() + seconds;
    while (clock_.now() < end - 1e-12) {
        clock_.set(std::min(end, clock_.now() + step));
        tick();
    }
    runDispatched();
}

void FakeScheduler::runDispatched() {
    while (!dispatched_.empty()) {
        auto work = std::move(dispatched_.front());
        dispatched_.pop_front();
        work();
    }
}

std::optional<Value> MemoryDefaults::object(const std::string& key) const {
    auto it = values.find(key);
    if (it == values.end()) return std::nullopt;
    return it->second;
}

void MemoryDefaults::set(const std::string& key, Value value) {
    values[key] = std::move(value);
    writes.push_back(key);
}

void MemoryDefaults::remove(const std::string& key) {
    values.erase(key);
    writes.push_back(key);
}

FakeDesktop::FakeDesktop() {
    displays.setScreens({display(Rect::make(0, 0, 1440, 900), 1)}, false);
}

DisplayInfo FakeDesktop::display(Rect frame, std::optional<std::uint32_t> number, double topBar) {
    Rect visible = frame;
    visible.size.height -= topBar;
    return {frame, visible, number};
}

}  // namespace orvella::testing
