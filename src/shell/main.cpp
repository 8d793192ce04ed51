// The process entry: the application object, the desktop backend and the
// controller, and a clean stop on SIGINT and SIGTERM.

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "linux/linux_desktop.h"
#include "shell/dbus_control.h"
#include "orvella/controller/orvella_controller.h"

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    // Nothing else is safe in a handler; the event loop does the rest.
    [[maybe_unused]] auto n = ::write(signalPipe[1], &byte, 1);
}

void installSignalHandlers() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    // Orvella works with X11 windows; under Wayland it runs through XWayland.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");
    installSignalHandlers();

    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName("orvella");
    QGuiApplication::setDesktopFileName("orvella");
    QGuiApplication::setQuitOnLastWindowClosed(false);

    std::unique_ptr<QSocketNotifier> notifier;
    if (signalPipe[0] >= 0) {
        notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, &app, [] {
            char byte;
            [[maybe_unused]] auto n = ::read(signalPipe[0], &byte, 1);
            QGuiApplication::quit();
        });
    }

    orvella::linux_desktop::LinuxDesktop desktop;
    auto controller = std::make_unique<orvella::OrvellaController>(desktop.platform());
    controller->start();
    orvella::shell::ControlObject control(*controller);
    control.registerOnSessionBus();

    app.exec();
    controller->stop();
    controller.reset();
    return 0;
}
