#include "desktop/services.h"

#include <QAbstractEventDispatcher>
#include <QEasingCurve>
#include <QPointF>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>
#include <sys/timerfd.h>
#include <unistd.h>
#include <QVariantAnimation>
#include <chrono>
#include <ctime>

#include "desktop/work_queue.h"

namespace orvella::desktop {

Time SystemClock::now() const {
    using namespace std::chrono;
    // 978307200 s separate 1970-01-01 from 2001-01-01.
    const double unix = duration<double>(system_clock::now().time_since_epoch()).count();
    return unix - 978307200.0;
}

std::uint64_t SystemRandom::next64() {
    return (static_cast<std::uint64_t>(device_()) << 32) ^ static_cast<std::uint64_t>(device_());
}

std::uint64_t SystemRandom::nextUnit53() {
    // Uniform in 0...2^53 inclusive: draw 54 bits, reject what lies beyond.
    while (true) {
        const std::uint64_t v = next64() >> 10;
        if (v <= kTwoPow53) return v;
    }
}

std::uint64_t SystemRandom::nextBelow(std::uint64_t upperBound) {
    if (upperBound <= 1) return 0;
    const std::uint64_t limit = UINT64_MAX - UINT64_MAX % upperBound;
    while (true) {
        const std::uint64_t v = next64();
        if (v < limit) return v % upperBound;
    }
}

namespace {
long long monotonicNanoseconds() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}
timespec asTimespec(long long ns) {
    return {static_cast<time_t>(ns / 1000000000LL), static_cast<long>(ns % 1000000000LL)};
}
}  // namespace

int QtScheduler::scheduleRepeating(double interval, double, std::function<void()> action) {
    return start(interval, std::move(action), nullptr);
}

int QtScheduler::scheduleGatedRepeating(double interval, double, std::function<void()> action,
                                        std::function<bool(double)> actsIn) {
    return start(interval, std::move(action), std::move(actsIn));
}

int QtScheduler::start(double interval, std::function<void()> action, std::function<bool(double)> actsIn) {
    // A timerfd keeps the exact period (QTimer counts whole milliseconds, so
    // a 1/60 s QTimer runs at 62.5 or 58.8 Hz) and costs one read a firing.
    const int fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd < 0) return 0;
    const auto ns = static_cast<long long>(std::llround(std::max(interval, 0.001) * 1e9));
    Timer timer;
    timer.fd = fd;
    timer.period = ns;
    timer.origin = monotonicNanoseconds() + ns;
    timer.armed = timer.origin;
    timer.actsIn = std::move(actsIn);
    itimerspec period{};
    period.it_interval = asTimespec(ns);
    period.it_value = asTimespec(timer.origin);
    ::timerfd_settime(fd, TFD_TIMER_ABSTIME, &period, nullptr);
    const int id = next_++;
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this, id, fd, action = std::move(action)] {
        std::uint64_t expirations = 0;
        if (::read(fd, &expirations, sizeof expirations) != sizeof expirations) return;
        // Missed firings after a stall are not made up: one action.
        if (tickHook_) tickHook_();
        action();
        if (tickEndHook_) tickEndHook_();
        if (auto it = timers_.find(id); it != timers_.end() && it->second.actsIn) arm(it->second);
    });
    timer.notifier = notifier;
    timers_[id] = std::move(timer);
    if (timers_[id].actsIn && !watchingSleep_) {
        // Whatever the process did while awake may have made an earlier
        // firing act (a press starting a drag): asked again before sleeping.
        if (auto* dispatcher = QAbstractEventDispatcher::instance()) {
            watchingSleep_ = true;
            connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] {
                for (auto& [handle, t] : timers_)
                    if (t.actsIn) arm(t);
            });
        }
    }
    return id;
}

void QtScheduler::arm(Timer& timer) {
    const long long now = monotonicNanoseconds();
    // The next firing on the grid, then on by whole periods while a firing
    // would not act; a second ahead at most, so a gate that never opens
    // still looks again.
    long long next = timer.origin;
    if (next <= now) next += ((now - next) / timer.period + 1) * timer.period;
    const long long horizon = now + 1000000000LL;
    while (next < horizon && !timer.actsIn(static_cast<double>(next - now) / 1e9)) next += timer.period;
    if (next == timer.armed) return;
    timer.armed = next;
    itimerspec at{};
    at.it_interval = asTimespec(timer.period);
    at.it_value = asTimespec(next);
    ::timerfd_settime(timer.fd, TFD_TIMER_ABSTIME, &at, nullptr);
}

void QtScheduler::cancel(int handle) {
    auto it = timers_.find(handle);
    if (it == timers_.end()) return;
    it->second.notifier->setEnabled(false);
    it->second.notifier->deleteLater();
    ::close(it->second.fd);
    timers_.erase(it);
}

QtScheduler::~QtScheduler() {
    for (auto& [id, t] : timers_) ::close(t.fd);
}

void QtScheduler::dispatchMain(std::function<void()> work) {
    QMetaObject::invokeMethod(this, [work = std::move(work)] { work(); }, Qt::QueuedConnection);
}

std::unique_ptr<WorkQueue> QtScheduler::makeWorkQueue(const std::string& label) {
    return std::make_unique<ThreadWorkQueue>(label);
}

void QtScheduler::animate(double from, double to, double duration, std::function<void(double)> apply,
                          std::function<void()> completion) {
    auto* animation = new QVariantAnimation(this);
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0, 0), QPointF(0.58, 1), QPointF(1, 1));
    animation->setEasingCurve(curve);
    animation->setStartValue(from);
    animation->setEndValue(to);
    animation->setDuration(std::max(1, static_cast<int>(std::lround(duration * 1000))));
    connect(animation, &QVariantAnimation::valueChanged, this,
            [apply](const QVariant& v) {
                if (apply) apply(v.toDouble());
            });
    connect(animation, &QVariantAnimation::finished, this, [apply, to, completion] {
        if (apply) apply(to);
        if (completion) completion();
    });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

}  // namespace orvella::desktop
