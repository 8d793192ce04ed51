#pragma once
// The X server the backend tests run against, started by the test binary.

#include <QEventLoop>
#include <QTimer>
#include <functional>
#include <string>

namespace orvella::testing {

// Runs the Qt event loop until `done` holds or `seconds` pass.
inline bool spinUntil(const std::function<bool()>& done, double seconds = 3.0) {
    QEventLoop loop;
    QTimer poll;
    // The poll stops while `done` runs: a `done` that spins a loop of its
    // own is not entered again from within.
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        poll.stop();
        if (done())
            loop.quit();
        else
            poll.start(10);
    });
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    poll.start(10);
    if (!done()) loop.exec();
    return done();
}

// Runs a shell command against the test's X server; returns its exit status.
int run(const std::string& command);

}  // namespace orvella::testing
