#include "desktop/services.h"

#include <QEasingCurve>
#include <QPointF>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>
#include <sys/timerfd.h>
#include <unistd.h>
#include <QVariantAnimation>
#include <chrono>

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

int QtScheduler::scheduleRepeating(double interval, double, std::function<void()> action) {
    // A timerfd keeps the exact period (QTimer counts whole milliseconds, so
    // a 1/60 s QTimer runs at 62.5 or 58.8 Hz) and costs one read a firing.
    const int fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd < 0) return 0;
    const auto ns = static_cast<long long>(std::llround(std::max(interval, 0.001) * 1e9));
    itimerspec period{};
    period.it_interval.tv_sec = static_cast<time_t>(ns / 1000000000);
    period.it_interval.tv_nsec = static_cast<long>(ns % 1000000000);
    period.it_value = period.it_interval;
    ::timerfd_settime(fd, 0, &period, nullptr);
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this, fd, action = std::move(action)] {
        std::uint64_t expirations = 0;
        if (::read(fd, &expirations, sizeof expirations) != sizeof expirations) return;
        // Missed firings after a stall are not made up: one action.
        if (tickHook_) tickHook_();
        action();
        if (tickEndHook_) tickEndHook_();
    });
    const int id = next_++;
    timers_[id] = Timer{fd, notifier};
    return id;
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
