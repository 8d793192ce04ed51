// Starts a private Xvfb (with RandR), points the desktop at the sample
// applications, then runs the backend tests inside one QGuiApplication.

// GLib first: its headers use names that Qt's keywords would replace.
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QGuiApplication>
#ifdef ORVELLA_TEST_WIDGETS
#include <QApplication>
#endif
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/backend_support.h"
#include "support/test_servers.h"

namespace orvella::testing {
int run(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
}  // namespace orvella::testing

using namespace orvella::testing;

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    std::string display;
    const pid_t xvfb = startXvfb(display);
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
        stopServer(bus);
    }
    stopServer(xvfb);
    std::filesystem::remove_all(tmp);
    return result;
}
