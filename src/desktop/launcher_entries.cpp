// GLib first: its headers use names that Qt's keywords would replace.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "desktop/launcher_entries.h"
#include "desktop/session_bus.h"

#include <filesystem>
#include <limits>

namespace orvella::desktop {

namespace {

constexpr const char* kInterface = "com.canonical.Unity.LauncherEntry";
constexpr std::string_view kScheme = "application://";

// A desktop-file id as launchers name them: "name.desktop", no path.
bool isDesktopID(const std::string& id) {
    return id.size() > 8 && id.size() <= 255 && id.ends_with(".desktop") && id.find('/') == std::string::npos &&
           id.front() != '.';
}

// Any D-Bus integer as a count; absent for other types and for values no
// count can have.
std::optional<std::int64_t> integer(GVariant* v) {
    if (g_variant_is_of_type(v, G_VARIANT_TYPE_BYTE)) return g_variant_get_byte(v);
    if (g_variant_is_of_type(v, G_VARIANT_TYPE_INT16)) return g_variant_get_int16(v);
    if (g_variant_is_of_type(v, G_VARIANT_TYPE_UINT16)) return g_variant_get_uint16(v);
    if (g_variant_is_of_type(v, G_VARIANT_TYPE_INT32)) return g_variant_get_int32(v);
    if (g_variant_is_of_type(v, G_VARIANT_TYPE_UINT32)) return g_variant_get_uint32(v);
    if (g_variant_is_of_type(v, G_VARIANT_TYPE_INT64)) return g_variant_get_int64(v);
    if (g_variant_is_of_type(v, G_VARIANT_TYPE_UINT64)) {
        const guint64 u = g_variant_get_uint64(v);
        if (u > static_cast<guint64>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
        return static_cast<std::int64_t>(u);
    }
    return std::nullopt;
}

}  // namespace

bool sessionBusExists() {
    if (g_getenv("DBUS_SESSION_BUS_ADDRESS")) return true;
    const char* runtime = g_getenv("XDG_RUNTIME_DIR");
    std::error_code error;
    return runtime && std::filesystem::exists(std::filesystem::path(runtime) / "bus", error);
}

LauncherEntries::LauncherEntries() {
    if (!sessionBusExists()) return;
    context_ = g_main_context_new();
    loop_ = g_main_loop_new(context_, FALSE);
    thread_ = std::thread([this] { listen(); });
}

LauncherEntries::~LauncherEntries() {
    if (!thread_.joinable()) return;
    g_main_context_invoke(
        context_, [](gpointer loop) -> gboolean {
            g_main_loop_quit(static_cast<GMainLoop*>(loop));
            return G_SOURCE_REMOVE;
        },
        loop_);
    thread_.join();
    g_main_loop_unref(loop_);
    g_main_context_unref(context_);
}

void LauncherEntries::listen() {
    g_main_context_push_thread_default(context_);
    GError* error = nullptr;
    // A private connection, so that this thread's context gets the signals.
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    GDBusConnection* bus = nullptr;
    if (address) {
        bus = g_dbus_connection_new_for_address_sync(
            address,
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &error);
        g_free(address);
    }
    if (error) g_error_free(error);
    guint subscription = 0, departures = 0;
    if (bus) {
        g_dbus_connection_set_exit_on_close(bus, FALSE);
        subscription = g_dbus_connection_signal_subscribe(
            bus, nullptr, kInterface, "Update", nullptr, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
            [](GDBusConnection*, const gchar* sender, const gchar*, const gchar*, const gchar*, GVariant* parameters,
               gpointer self) { static_cast<LauncherEntries*>(self)->handleUpdate(parameters, sender ? sender : ""); },
            this, nullptr);
        // The bus says when a connection closes: its unique name loses its
        // owner. Signals are delivered in the order the bus sent them, so a
        // count always arrives before its sender's departure.
        departures = g_dbus_connection_signal_subscribe(
            bus, "org.freedesktop.DBus", "org.freedesktop.DBus", "NameOwnerChanged", "/org/freedesktop/DBus",
            nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
            [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
               gpointer self) {
                if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(sss)"))) return;
                const gchar *name = nullptr, *oldOwner = nullptr, *newOwner = nullptr;
                g_variant_get(parameters, "(&s&s&s)", &name, &oldOwner, &newOwner);
                if (name && name[0] == ':' && newOwner && !*newOwner)
                    static_cast<LauncherEntries*>(self)->handleNameVanished(name);
            },
            this, nullptr);
        // Make sure the match rule reached the bus before anyone is told we
        // listen.
        g_dbus_connection_flush_sync(bus, nullptr, nullptr);
        GVariant* reply = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                      "org.freedesktop.DBus", "GetId", nullptr, nullptr,
                                                      G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
        if (reply) g_variant_unref(reply);
        std::lock_guard lock(mutex_);
        listening_ = true;
    }
    g_main_loop_run(loop_);
    if (bus) {
        g_dbus_connection_signal_unsubscribe(bus, subscription);
        g_dbus_connection_signal_unsubscribe(bus, departures);
        g_dbus_connection_close_sync(bus, nullptr, nullptr);
        g_object_unref(bus);
    }
    // Run what unsubscribing queued, then leave the context.
    while (g_main_context_iteration(context_, FALSE)) {
    }
    g_main_context_pop_thread_default(context_);
}

bool LauncherEntries::isListening() const {
    std::lock_guard lock(mutex_);
    return listening_;
}

bool LauncherEntries::handleUpdate(GVariant* parameters, const std::string& sender) {
    if (!parameters || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(sa{sv})"))) return false;
    const gchar* uri = nullptr;
    GVariant* properties = nullptr;
    g_variant_get(parameters, "(&s@a{sv})", &uri, &properties);
    const std::string value = uri ? uri : "";
    if (!value.starts_with(kScheme)) {
        g_variant_unref(properties);
        return false;
    }
    const std::string id = value.substr(kScheme.size());
    if (!isDesktopID(id)) {
        g_variant_unref(properties);
        return false;
    }

    std::optional<std::int64_t> count;
    std::optional<bool> visible;
    bool malformed = false;
    GVariantIter iter;
    g_variant_iter_init(&iter, properties);
    const gchar* key = nullptr;
    GVariant* v = nullptr;
    while (g_variant_iter_next(&iter, "{&sv}", &key, &v)) {
        const std::string name = key;
        if (name == "count") {
            count = integer(v);
            if (!count || *count < 0) malformed = true;
        } else if (name == "count-visible") {
            if (g_variant_is_of_type(v, G_VARIANT_TYPE_BOOLEAN))
                visible = g_variant_get_boolean(v);
            else
                malformed = true;
        }
        g_variant_unref(v);
    }
    g_variant_unref(properties);
    if (malformed) return false;

    std::lock_guard lock(mutex_);
    auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.id == id; });
    if (it == entries_.end()) {
        Entry entry;
        entry.id = id;
        entry.title = id;
        if (GDesktopAppInfo* info = g_desktop_app_info_new(id.c_str())) {
            if (const char* n = g_app_info_get_name(G_APP_INFO(info)); n && *n) entry.title = n;
            if (const char* file = g_desktop_app_info_get_filename(info)) entry.location = file;
            g_object_unref(info);
        }
        entries_.push_back(std::move(entry));
        it = entries_.end() - 1;
    }
    if (count) it->count = count;
    if (visible) it->countVisible = *visible;
    it->sender = sender;
    return true;
}

void LauncherEntries::handleNameVanished(const std::string& name) {
    std::lock_guard lock(mutex_);
    // The item stays, without its count: the application is still known,
    // and the reader then sees its count fall to nothing.
    for (auto& e : entries_)
        if (!e.sender.empty() && e.sender == name) {
            e.count.reset();
            e.countVisible = false;
            e.sender.clear();
        }
}

std::optional<std::vector<DockItem>> LauncherEntries::items() const {
    std::lock_guard lock(mutex_);
    if (!listening_ || entries_.empty()) return std::nullopt;
    std::vector<DockItem> out;
    for (const auto& e : entries_) {
        DockItem item;
        item.role = "AXDockItem";
        item.title = e.title;
        item.url = e.location;
        if (e.countVisible && e.count) item.statusLabel = std::to_string(*e.count);
        out.push_back(std::move(item));
    }
    return out;
}

}  // namespace orvella::desktop
