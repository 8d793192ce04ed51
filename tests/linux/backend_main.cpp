// Starts a private Xvfb (with RandR), points the desktop at the sample
// applications, then runs the backend tests inside one QGuiApplication.

// GLib first: its headers use names that Qt's keywords would replace.
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QGuiApplication>
#ifdef ORVELLA_TEST_WIDGETS
#include <QApplication>
#endif
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "backend_support.h"

namespace orvella::testing {
int run(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
}  // namespace orvella::testing

namespace {

// One line a child prints on a pipe; the pipe is closed after.
std::string readLine(int fd) {
    std::string line;
    char c = 0;
    while (true) {
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || c == '\n') break;
        line += c;
    }
    ::close(fd);
    return line;
}

pid_t startXvfb(std::string& display) {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1440x900x24", "+extension", "RANDR",
                 "-noreset", "-nolisten", "tcp", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    const std::string number = readLine(fds[0]);
    if (number.empty()) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
        return -1;
    }
    display.assign(1, ':');
    display += number;
    return pid;
}

// A private session bus; its address goes to DBUS_SESSION_BUS_ADDRESS.
pid_t startBus() {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const std::string print = "--print-address=" + std::to_string(fds[1]);
        ::execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", print.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    const std::string address = readLine(fds[0]);
    if (address.empty()) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
        return -1;
    }
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    return pid;
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    std::string display;
    // Another test starting its server at the same moment can take the
    // display number being claimed; try again.
    pid_t xvfb = -1;
    for (int attempt = 0; attempt < 5 && xvfb <= 0; ++attempt) xvfb = startXvfb(display);
    if (xvfb <= 0) {
        std::fprintf(stderr, "backend tests: could not start Xvfb\n");
        return 1;
    }
    ::setenv("DISPLAY", display.c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    ::unsetenv("WAYLAND_DISPLAY");

    char home[] = "/tmp/orvella-backend-XXXXXX";
    const std::string tmp = ::mkdtemp(home);
    const std::string config = tmp + "/config";
    std::filesystem::create_directories(config);
    std::filesystem::copy_file(std::string(ORVELLA_TEST_DATA) + "/config/mimeapps.list", config + "/mimeapps.list");
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (tmp + "/data").c_str(), 1);
    ::setenv("XDG_DATA_DIRS", (std::string(ORVELLA_TEST_DATA) + ":/usr/share").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", tmp.c_str(), 1);
    // Settings the tests write (the GNOME Shell extensions list) stay in
    // the test's own folder.
    ::setenv("GSETTINGS_BACKEND", "keyfile", 1);
    // The desktop the sample entries' OnlyShowIn/NotShowIn speak of.
    ::setenv("XDG_CURRENT_DESKTOP", "Orvella-Test", 1);

    const pid_t bus = startBus();
    if (bus <= 0) std::fprintf(stderr, "backend tests: no private session bus; its tests will fail\n");

    int result = 1;
    {
#ifdef ORVELLA_TEST_WIDGETS
        // The shell's tray and menus need the widgets application.
        QApplication app(argc, argv);
#else
        QGuiApplication app(argc, argv);
#endif
        result = RUN_ALL_TESTS();
    }
    if (bus > 0) {
        // GIO's shared connection ends the process when its bus goes away;
        // this bus going away is expected.
        if (GDBusConnection* shared = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr)) {
            g_dbus_connection_set_exit_on_close(shared, FALSE);
            g_object_unref(shared);
        }
        ::kill(bus, SIGTERM);
        ::waitpid(bus, nullptr, 0);
    }
    ::kill(xvfb, SIGTERM);
    ::waitpid(xvfb, nullptr, 0);
    std::filesystem::remove_all(tmp);
    return result;
}
