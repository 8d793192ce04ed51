// Arbitrary bytes as the body of a launcher-entry signal (a GVariant of any
// type, serialised data of any shape): decoding changes nothing it should
// not and never fails.

// GLib first: its headers use names that Qt's keywords would replace.
#include <glib.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "desktop/launcher_entries.h"

using namespace orvella::desktop;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    // No bus is ever reached: only the decoding runs.
    static bool once = [] {
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
        ::setenv("XDG_RUNTIME_DIR", "/nonexistent-orvella-fuzz", 1);
        return true;
    }();
    (void)once;
    if (size < 1) return 0;
    // The first byte picks the claimed type, so that wrong types are tried too.
    static const char* const types[] = {"(sa{sv})", "(s)", "(sv)", "(ia{sv})", "a{sv}", "(sa{ss})"};
    const char* type = types[data[0] % (sizeof types / sizeof *types)];
    GBytes* bytes = g_bytes_new(data + 1, size - 1);
    GVariant* value = g_variant_new_from_bytes(G_VARIANT_TYPE(type), bytes, FALSE);
    g_variant_ref_sink(value);
    LauncherEntries entries;
    const bool accepted = entries.handleUpdate(value);
    if (accepted && std::string(type) != "(sa{sv})") __builtin_trap();
    // The same signal through the normal form, as the bus would deliver it.
    GVariant* normal = g_variant_get_normal_form(value);
    entries.handleUpdate(normal);
    g_variant_unref(normal);
    g_variant_unref(value);
    g_bytes_unref(bytes);
    if (auto items = entries.items()) (void)items;
    return 0;
}
