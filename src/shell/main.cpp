// The process entry: one Orvella per session, the desktop backend, the
// controller and the shell around it, and a clean stop on SIGINT and SIGTERM.

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "desktop/backend.h"
#include "desktop/providers/gnome_extension.h"
#include "wayland/connection.h"
#include "wayland/desktop.h"
#include "x11/connection.h"
#include "x11/desktop.h"
#include "orvella/controller/orvella_controller.h"
#include "shell/dbus_control.h"
#include "shell/shell.h"
#include "shell/autostart.h"
#include "shell/single_instance.h"

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

void usage(FILE* to) {
    std::fputs("usage: orvella [--backend x11|wayland] [--quit | --call | --scatter | --autostart on|off |\n"
               "                --install-gnome-extension | --version]\n"
               "  Without arguments, starts Orvella, or shows the settings of the one running.\n"
               "  --quit            ends the running Orvella.\n"
               "  --call            calls the school to the pointer, as three quick clicks do.\n"
               "  --scatter         scatters the school from the pointer.\n"
               "  --autostart on    starts Orvella with every login; off stops that.\n"
               "  --backend x11|wayland\n"
               "                    draws the fish as X11 windows or as Wayland layer surfaces (by default\n"
               "                    Wayland where the compositor offers layer surfaces).\n"
               "  --install-gnome-extension\n"
               "                    installs and enables Orvella's GNOME Shell extension for this user.\n"
               "  --version         prints the version.\n",
               to);
}

// Installs the GNOME Shell extension for this user, in the style the
// installed shell loads, and says what is left to do.
int installGnomeExtension(int argc, char** argv) {
    namespace ext = orvella::desktop::gnome_extension;
    const QCoreApplication app(argc, argv);  // for the session bus
    const auto major = ext::installedShellMajor();
    const auto result = ext::install(ext::styleForShell(major));
    if (!result.ok) {
        std::fprintf(stderr, "orvella: could not install the GNOME Shell extension: %s\n", qPrintable(result.error));
        return 1;
    }
    std::printf("Installed the GNOME Shell extension %s in %s (for GNOME Shell %s).\n", ext::kUuid,
                qPrintable(result.folder), ext::styleForShell(major) == ext::Style::legacy ? "43 and 44" : "45 and newer");
    // A shell that will not run it is said so plainly: enabling it and
    // logging in again would change nothing.
    const auto running = ext::askRunningShell();
    QString version = running ? running->version : QString();
    if (version.isEmpty() && major) version = QString::number(*major);
    const int shell = ext::majorOf(version).toInt();
    if (shell > 0 && !ext::supportsShell(shell)) {
        std::fprintf(stderr, "orvella: %s\n", qPrintable(ext::problem(ext::ShellState::outOfDate, version)));
        return 1;
    }
    if (running && running->state == ext::ShellState::failed) {
        std::fprintf(stderr, "orvella: %s Log out and in again to have it try this copy.\n",
                     qPrintable(ext::problem(ext::ShellState::failed, version)));
        return 1;
    }
    if (result.enabled)
        std::puts("It is enabled. Log out and in again: GNOME Shell on Wayland loads new extensions at login.");
    else
        std::printf("Enable it with: gnome-extensions enable %s, then log out and in again.\n", ext::kUuid);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    using orvella::shell::Request;
    // Without arguments: show the running one's settings, or start.
    std::optional<Request> request;
    std::optional<orvella::desktop::BackendKind> backend;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--backend") == 0) {
            backend = orvella::desktop::backendNamed(i + 1 < argc ? argv[++i] : "");
            if (!backend) {
                std::fputs("orvella: --backend takes x11 or wayland\n", stderr);
                return 2;
            }
        } else if (std::strcmp(argv[i], "--quit") == 0) {
            request = Request::quit;
        } else if (std::strcmp(argv[i], "--call") == 0) {
            request = Request::attract;
        } else if (std::strcmp(argv[i], "--scatter") == 0) {
            request = Request::disperse;
        } else if (std::strcmp(argv[i], "--autostart") == 0) {
            const char* choice = i + 1 < argc ? argv[i + 1] : "";
            if (std::strcmp(choice, "on") != 0 && std::strcmp(choice, "off") != 0) {
                std::fputs("orvella: --autostart takes on or off\n", stderr);
                return 2;
            }
            std::string error;
            if (!orvella::shell::setAutostart(std::strcmp(choice, "on") == 0, error)) {
                std::fprintf(stderr, "orvella: %s\n", error.c_str());
                return 1;
            }
            return 0;
        } else if (std::strcmp(argv[i], "--install-gnome-extension") == 0) {
            return installGnomeExtension(argc, argv);
        } else if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("orvella %s\n", ORVELLA_VERSION);
            return 0;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            usage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "orvella: unknown option %s\n", argv[i]);
            usage(stderr);
            return 2;
        }
    }
    // A running Orvella takes the request; this process is then done.
    if (orvella::shell::handOver(request.value_or(Request::show))) return 0;
    if (request) {
        std::fprintf(stderr, "orvella: no running Orvella to %s\n",
                     *request == Request::quit ? "quit" : *request == Request::attract ? "call the school" : "scatter");
        return 1;
    }

    const orvella::desktop::BackendOpeners openers{
        [] { return orvella::wayland::WaylandConnection::offersLayerShell(); },
        [] { return orvella::x11::canOpenDisplay(); },
        [] { return orvella::x11::X11Desktop::open(); },
        [] { return orvella::wayland::WaylandDesktop::openDefault(); },
    };
    const auto kind = orvella::desktop::chooseBackend(backend, openers);
    if (const auto problem = orvella::desktop::prepareBackend(kind, openers)) {
        std::fprintf(stderr, "orvella: %s\n", problem->c_str());
        return 1;
    }
    // The panel is simple: Qt Quick's software renderer needs no GPU.
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND")) qputenv("QT_QUICK_BACKEND", "software");
    installSignalHandlers();

    QApplication app(argc, argv);
    QApplication::setApplicationName("orvella");
    QApplication::setDesktopFileName("orvella");
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationVersion(ORVELLA_VERSION);
    QApplication::setWindowIcon(QIcon::fromTheme("orvella", QIcon(":/orvella/icons/orvella.svg")));

    // Two started at once: the one that did not get the name hands over.
    const bool ownsName = orvella::shell::ControlObject::claimName();
    if (!ownsName && orvella::shell::handOver(Request::show)) return 0;

    std::unique_ptr<QSocketNotifier> notifier;
    if (signalPipe[0] >= 0) {
        notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, &app, [] {
            char byte;
            [[maybe_unused]] auto n = ::read(signalPipe[0], &byte, 1);
            QApplication::quit();
        });
    }

    std::string error;
    auto desktop = orvella::desktop::openBackend(kind, openers, error);
    if (!desktop) {
        std::fprintf(stderr, "orvella: %s\n", error.c_str());
        return 1;
    }
    auto controller = std::make_unique<orvella::OrvellaController>(desktop->platform());
    controller->start();
    auto shell = std::make_unique<orvella::shell::Shell>(*controller);
    orvella::shell::ControlObject control(*controller, shell.get());
    if (auto lister = desktop->surfaceLister()) control.surfaces = std::move(lister);
    if (ownsName) control.registerOnSessionBus();
    orvella::shell::InstanceServer server([&shell, &controller](Request request) {
        switch (request) {
            case Request::quit: QApplication::quit(); break;
            case Request::attract: controller->attractSchool(); break;
            case Request::disperse: controller->disperseSchool(); break;
            case Request::show: shell->showSettingsWindow(); break;
        }
    });
    server.listen();
    shell->announceStart();

    // Non-zero when the desktop went away under us (a lost compositor
    // connection says so and ends the loop with 1).
    const int status = app.exec();
    controller->stop();
    shell.reset();
    controller.reset();
    return status;
}
