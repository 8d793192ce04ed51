// An application announcing launcher counts, for the end-to-end tests. It
// stays on the session bus until its input ends, as a real application
// stays while it runs. Each input line "DESKTOP-ID COUNT VISIBLE" (VISIBLE:
// true or false) is sent as one LauncherEntry Update; "sent" is printed
// once it has left.

#include <gio/gio.h>

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

int main() {
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) {
        std::fprintf(stderr, "no session bus: %s\n", error ? error->message : "?");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string id, visible;
        long long count = 0;
        if (!(in >> id >> count >> visible)) continue;
        GVariantBuilder props;
        g_variant_builder_init(&props, G_VARIANT_TYPE("a{sv}"));
        g_variant_builder_add(&props, "{sv}", "count", g_variant_new_int64(count));
        g_variant_builder_add(&props, "{sv}", "count-visible", g_variant_new_boolean(visible == "true"));
        const std::string uri = "application://" + id + ".desktop";
        g_dbus_connection_emit_signal(bus, nullptr, "/com/canonical/unity/launcherentry/orvella_test",
                                      "com.canonical.Unity.LauncherEntry", "Update",
                                      g_variant_new("(sa{sv})", uri.c_str(), &props), nullptr);
        g_dbus_connection_flush_sync(bus, nullptr, nullptr);
        std::printf("sent\n");
        std::fflush(stdout);
    }
    g_object_unref(bus);
    return 0;
}
