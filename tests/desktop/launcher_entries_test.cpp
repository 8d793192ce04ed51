// Launcher badge counts heard on a real (private) session bus, sent with
// gdbus as applications send them, read back as dock items; and the work
// queue the badge reader polls on.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/backend_support.h"
#include "desktop/launcher_entries.h"
#include "desktop/work_queue.h"

#include <gio/gio.h>

using namespace orvella;
using namespace orvella::desktop;
using namespace orvella::testing;

namespace {

// An application on the session bus: a connection of its own (so a unique
// name of its own) that announces counts and stays until closed.
struct Announcer {
    GDBusConnection* bus = nullptr;
    Announcer() {
        gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        if (address)
            bus = g_dbus_connection_new_for_address_sync(
                address,
                static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                  G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                nullptr, nullptr, nullptr);
        g_free(address);
        if (bus) g_dbus_connection_set_exit_on_close(bus, FALSE);
    }
    ~Announcer() { close(); }
    Announcer(const Announcer&) = delete;
    Announcer& operator=(const Announcer&) = delete;
    bool emit(const std::string& uri, const std::string& properties) {
        if (!bus) return false;
        GVariant* props = g_variant_parse(G_VARIANT_TYPE("a{sv}"), properties.c_str(), nullptr, nullptr, nullptr);
        if (!props) return false;
        const bool sent = g_dbus_connection_emit_signal(bus, nullptr, "/com/canonical/unity/launcherentry/1",
                                                        "com.canonical.Unity.LauncherEntry", "Update",
                                                        g_variant_new("(s@a{sv})", uri.c_str(), props), nullptr);
        g_dbus_connection_flush_sync(bus, nullptr, nullptr);
        return sent;
    }
    void close() {
        if (!bus) return;
        g_dbus_connection_close_sync(bus, nullptr, nullptr);
        g_object_unref(bus);
        bus = nullptr;
    }
};

Announcer& application() {
    static Announcer app;
    return app;
}

int emitUpdate(const std::string& uri, const std::string& properties) {
    return application().emit(uri, properties) ? 0 : 1;
}

const DockItem* find(const std::vector<DockItem>& items, const std::string& title) {
    for (const auto& item : items)
        if (item.title == title) return &item;
    return nullptr;
}

bool waitFor(const std::function<bool()>& done, double seconds = 5) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace

TEST(LauncherEntries, CountsFromTheBusBecomeDockItemsOfTheirDesktopEntries) {
    LauncherEntries entries;
    ASSERT_TRUE(waitFor([&] { return entries.isListening(); }));
    EXPECT_FALSE(entries.items()) << "nothing heard yet: the dock was not read";

    ASSERT_EQ(emitUpdate("application://orvella-test-mail.desktop", "{'count': <int64 7>, 'count-visible': <true>}"), 0);
    ASSERT_TRUE(waitFor([&] { return entries.items().has_value(); }));
    auto items = *entries.items();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].role, "AXDockItem");
    EXPECT_EQ(items[0].title, "Test Mail");
    EXPECT_EQ(items[0].url, std::string(ORVELLA_TEST_DATA) + "/applications/orvella-test-mail.desktop");
    EXPECT_EQ(items[0].statusLabel, "7");

    // Any integer type; hiding the count keeps the item without a label;
    // an entry that does not exist is named by its id.
    emitUpdate("application://orvella-test-chat.desktop", "{'count': <uint32 42>, 'count-visible': <true>}");
    emitUpdate("application://no-such-app.desktop", "{'count': <byte 3>, 'count-visible': <true>}");
    emitUpdate("application://orvella-test-mail.desktop", "{'count-visible': <false>}");
    ASSERT_TRUE(waitFor([&] {
        auto now = entries.items();
        return now && now->size() == 3 && !find(*now, "Test Mail")->statusLabel;
    }));
    items = *entries.items();
    EXPECT_EQ(find(items, "Test Chat")->statusLabel, "42");
    ASSERT_NE(find(items, "no-such-app.desktop"), nullptr);
    EXPECT_FALSE(find(items, "no-such-app.desktop")->url);

    // Malformed signals change nothing: wrong argument types, a count of the
    // wrong type or below zero, odd URIs. A signal without a count keeps it.
    emitUpdate("application://orvella-test-chat.desktop", "{'count': <'9'>, 'count-visible': <true>}");
    emitUpdate("application://orvella-test-chat.desktop", "{'count': <int32 -4>}");
    emitUpdate("application://orvella-test-chat.desktop", "{'count': <uint64 18446744073709551615>}");
    emitUpdate("application://orvella-test-chat.desktop", "{'count-visible': <1>}");
    emitUpdate("application://", "{'count': <int64 1>, 'count-visible': <true>}");
    emitUpdate("application://../../etc/passwd.desktop", "{'count': <int64 1>, 'count-visible': <true>}");
    emitUpdate("file:///usr/share/applications/x.desktop", "{'count': <int64 1>, 'count-visible': <true>}");
    emitUpdate("application://orvella-test-chat.desktop", "{'progress': <0.5>}");
    run("gdbus emit --session --object-path /x --signal com.canonical.Unity.LauncherEntry.Update 5 \"{'count': <1>}\"");
    run("gdbus emit --session --object-path /x --signal com.canonical.Unity.LauncherEntry.Update "
        "\"application://orvella-test-chat.desktop\"");
    // A well-formed signal after them all: once it is seen, the ones before
    // it have been handled too.
    emitUpdate("application://orvella-test-editor.desktop", "{'count': <int16 1>, 'count-visible': <true>}");
    ASSERT_TRUE(waitFor([&] { return entries.items()->size() == 4; }));
    items = *entries.items();
    EXPECT_EQ(find(items, "Test Chat")->statusLabel, "42");
    EXPECT_EQ(find(items, "Test Editor")->statusLabel, "1");
}

TEST(LauncherEntries, ACountGoesWithTheApplicationThatAnnouncedIt) {
    LauncherEntries entries;
    ASSERT_TRUE(waitFor([&] { return entries.isListening(); }));
    auto label = [&](const std::string& title) -> std::optional<std::string> {
        auto items = entries.items();
        const DockItem* item = items ? find(*items, title) : nullptr;
        return item ? item->statusLabel : std::nullopt;
    };
    Announcer chat, mail;
    ASSERT_TRUE(chat.emit("application://orvella-test-chat.desktop", "{'count': <int64 5>, 'count-visible': <true>}"));
    ASSERT_TRUE(mail.emit("application://orvella-test-mail.desktop", "{'count': <int64 2>, 'count-visible': <true>}"));
    ASSERT_TRUE(waitFor([&] { return label("Test Chat") == "5" && label("Test Mail") == "2"; }));
    // The chat program quits: its count goes, the mail's stays, and the
    // chat item is still there (without a count), so the reader sees its
    // count drop rather than the dock going unread.
    chat.close();
    ASSERT_TRUE(waitFor([&] { return !label("Test Chat"); }));
    EXPECT_EQ(label("Test Mail"), "2");
    ASSERT_TRUE(entries.items());
    EXPECT_NE(find(*entries.items(), "Test Chat"), nullptr);
    // A count announced by one that quit at once (as gdbus emit does) is gone
    // as soon as it came.
    run("gdbus emit --session --object-path /x --signal com.canonical.Unity.LauncherEntry.Update "
        "application://orvella-test-editor.desktop \"{'count': <int64 9>, 'count-visible': <true>}\"");
    ASSERT_TRUE(waitFor([&] { return entries.items() && find(*entries.items(), "Test Editor"); }));
    EXPECT_TRUE(waitFor([&] { return !label("Test Editor"); }));
}

TEST(LauncherEntries, WithoutASessionBusNothingIsRead) {
    const std::string saved = std::getenv("DBUS_SESSION_BUS_ADDRESS") ? std::getenv("DBUS_SESSION_BUS_ADDRESS") : "";
    const std::string runtime = std::getenv("XDG_RUNTIME_DIR") ? std::getenv("XDG_RUNTIME_DIR") : "";
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    ::setenv("XDG_RUNTIME_DIR", "/nonexistent-orvella-runtime", 1);
    {
        LauncherEntries entries;
        EXPECT_FALSE(entries.isListening());
        EXPECT_FALSE(entries.items());
    }
    ::setenv("DBUS_SESSION_BUS_ADDRESS", saved.c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
}

TEST(WorkQueue, RunsInOrderOffTheCallingThreadAndRepeatsUntilCancelled) {
    ThreadWorkQueue queue("Orvella.Test");
    std::atomic<int> seen{0};
    std::atomic<bool> offThread{false};
    const auto caller = std::this_thread::get_id();
    std::vector<int> order;
    std::mutex m;
    for (int i = 0; i < 5; ++i)
        queue.async([&, i] {
            std::lock_guard lock(m);
            order.push_back(i);
            offThread = std::this_thread::get_id() != caller;
            ++seen;
        });
    ASSERT_TRUE(waitFor([&] { return seen == 5; }));
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_TRUE(offThread);

    std::atomic<int> ticks{0};
    const auto started = std::chrono::steady_clock::now();
    std::atomic<double> firstAt{-1};
    const int timer = queue.scheduleRepeating(0.05, 0.01, [&] {
        if (ticks++ == 0)
            firstAt = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    });
    ASSERT_TRUE(waitFor([&] { return ticks >= 4; }));
    EXPECT_LT(firstAt.load(), 0.04) << "the first firing is at once";
    queue.cancel(timer);
    // A firing already under way may still finish.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const int after = ticks;
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(ticks, after);
}
