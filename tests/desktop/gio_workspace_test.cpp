// Desktop entries through GIO, on the sample applications.

#include <gtest/gtest.h>

#include <unistd.h>

#include <gio/gio.h>

#include <QImage>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "desktop/gio_workspace.h"
#include "render/canvas.h"

using namespace orvella;
using namespace orvella::desktop;
using namespace orvella::render;

namespace {
std::string entry(const char* name) { return std::string(ORVELLA_TEST_DATA) + "/applications/" + name + ".desktop"; }
}  // namespace

TEST(GioWorkspace, RolesResolveThroughDefaultsAndCategories) {
    GioWorkspace w;
    EXPECT_EQ(w.applicationForRole(ApplicationRole::webBrowser), entry("orvella-test-browser"));
    EXPECT_EQ(w.applicationForRole(ApplicationRole::mail), entry("orvella-test-mail"));
    EXPECT_EQ(w.applicationForRole(ApplicationRole::terminal), entry("orvella-test-terminal"));
    EXPECT_EQ(w.applicationForRole(ApplicationRole::notes), entry("orvella-test-editor"));
    EXPECT_EQ(w.applicationForRole(ApplicationRole::messaging), entry("orvella-test-chat"));
    EXPECT_EQ(w.applicationForRole(ApplicationRole::presentation), entry("orvella-test-noicon"));
    // The text editor opens calendars only as text: it is no calendar.
    EXPECT_FALSE(w.applicationForRole(ApplicationRole::calendar));
    EXPECT_FALSE(w.applicationForRole(ApplicationRole::reminders));
    EXPECT_FALSE(w.applicationForRole(ApplicationRole::chrome));
}

TEST(GioWorkspace, EntriesTheDesktopDoesNotShowFillNoRole) {
    // Four instant messengers sort before the chat entry, and none is shown
    // here: one is NoDisplay, one Hidden, one only for another desktop and
    // one not for this one.
    GioWorkspace w;
    for (const char* hidden : {"orvella-test-a-nodisplay", "orvella-test-a-hidden", "orvella-test-a-elsewhere",
                               "orvella-test-a-notshown"})
        EXPECT_NE(w.applicationForRole(ApplicationRole::messaging), entry(hidden));
    EXPECT_EQ(w.applicationForRole(ApplicationRole::messaging), entry("orvella-test-chat"));
}

TEST(GioWorkspace, NamesIconsAndExistence) {
    GioWorkspace w;
    EXPECT_EQ(w.displayName(entry("orvella-test-browser")), "Test Browser");
    EXPECT_EQ(w.displayName("/tmp"), "tmp");
    EXPECT_TRUE(w.fileExists(entry("orvella-test-mail")));
    EXPECT_FALSE(w.fileExists("/nowhere/x.desktop"));
    EXPECT_FALSE(w.fileExists(""));

    auto themed = std::dynamic_pointer_cast<QtImage>(w.iconForFile(entry("orvella-test-terminal")));
    ASSERT_TRUE(themed);
    EXPECT_GT(themed->image().width(), 0);
    // Without an icon of its own an entry still gets a visible one.
    for (const std::string& path : {entry("orvella-test-noicon"), std::string("/etc/hostname")}) {
        auto generic = std::dynamic_pointer_cast<QtImage>(w.iconForFile(path));
        ASSERT_TRUE(generic);
        const QImage& img = generic->image();
        ASSERT_GT(img.width(), 0);
        EXPECT_GT(qAlpha(img.pixel(img.width() / 2, img.height() / 2)), 0);
    }
}

TEST(GioWorkspace, LaunchesEntriesAndRefusesWhatIsNoEntry) {
    GioWorkspace w;
    EXPECT_TRUE(w.openApplication(entry("orvella-test-mail")));  // Exec=/bin/true
    EXPECT_FALSE(w.openApplication("/nowhere/x.desktop"));
    EXPECT_FALSE(GioWorkspace::detectIconTheme().empty());
}

namespace {

// A desktop that lists no windows and hands out what the test says.
class ScriptedWindows : public WindowList {
public:
    std::string startupId, token;
    std::vector<std::string> tokenAskedFor;
    int announced = 0;
    std::vector<ListedWindow> windows() override { return {}; }
    std::optional<ListedWindow> active() override { return std::nullopt; }
    bool activate(const ListedWindow&) override { return false; }
    std::string announceLaunch(const std::string&, const std::string&) override {
        ++announced;
        return startupId;
    }
    std::string activationToken(const std::string& appId) override {
        tokenAskedFor.push_back(appId);
        return token;
    }
};

// An entry whose program writes its environment to `out`.
std::string environmentEntry(const std::filesystem::path& dir, const std::string& id, bool startupNotify,
                             const std::filesystem::path& out) {
    const auto path = dir / (id + ".desktop");
    std::ofstream(path) << "[Desktop Entry]\nType=Application\nName=Env\nExec=/bin/sh -c \"env > " << out.string()
                        << ".part && mv " << out.string() << ".part " << out.string() << "\"\n"
                        << (startupNotify ? "StartupNotify=true\n" : "");
    return path.string();
}

std::map<std::string, std::string> environmentIn(const std::filesystem::path& file) {
    for (int i = 0; i < 100 && !std::filesystem::exists(file); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::map<std::string, std::string> vars;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        if (auto eq = line.find('='); eq != std::string::npos) vars[line.substr(0, eq)] = line.substr(eq + 1);
    return vars;
}

}  // namespace

TEST(GioWorkspace, ALaunchHandsTheProgramTheStartupIdElseTheCompositorsActivationToken) {
    const auto dir = std::filesystem::temp_directory_path() / ("orvella-launch-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    ScriptedWindows desktop;
    GioWorkspace w(&desktop);

    // No startup notification asked for: the compositor's token, asked for
    // the entry's id, under both names.
    desktop.token = "wl-token-1";
    ASSERT_TRUE(w.openApplication(environmentEntry(dir, "org.example.Plain", false, dir / "plain.env")));
    auto vars = environmentIn(dir / "plain.env");
    EXPECT_EQ(vars["XDG_ACTIVATION_TOKEN"], "wl-token-1");
    EXPECT_EQ(vars["DESKTOP_STARTUP_ID"], "wl-token-1");
    EXPECT_EQ(desktop.announced, 0);
    EXPECT_EQ(desktop.tokenAskedFor, std::vector<std::string>{"org.example.Plain"});

    // Announced on X11: the startup id, and no token asked.
    desktop.tokenAskedFor.clear();
    desktop.startupId = "orvella-1-x_TIME5";
    ASSERT_TRUE(w.openApplication(environmentEntry(dir, "org.example.Announced", true, dir / "announced.env")));
    vars = environmentIn(dir / "announced.env");
    EXPECT_EQ(vars["DESKTOP_STARTUP_ID"], "orvella-1-x_TIME5");
    EXPECT_EQ(vars["XDG_ACTIVATION_TOKEN"], "orvella-1-x_TIME5");
    EXPECT_EQ(desktop.announced, 1);
    EXPECT_TRUE(desktop.tokenAskedFor.empty());

    // A desktop that announces nothing (Wayland): the token after all.
    desktop.startupId.clear();
    desktop.token = "wl-token-2";
    ASSERT_TRUE(w.openApplication(environmentEntry(dir, "org.example.Quiet", true, dir / "quiet.env")));
    EXPECT_EQ(environmentIn(dir / "quiet.env")["XDG_ACTIVATION_TOKEN"], "wl-token-2");

    // Neither: the program is not handed the spent ones Orvella itself was
    // started with.
    desktop.token.clear();
    ::setenv("XDG_ACTIVATION_TOKEN", "spent", 1);
    ::setenv("DESKTOP_STARTUP_ID", "spent", 1);
    const bool launched = w.openApplication(environmentEntry(dir, "org.example.None", false, dir / "none.env"));
    ::unsetenv("XDG_ACTIVATION_TOKEN");
    ::unsetenv("DESKTOP_STARTUP_ID");
    ASSERT_TRUE(launched);
    vars = environmentIn(dir / "none.env");
    EXPECT_FALSE(vars.empty());
    EXPECT_EQ(vars.count("XDG_ACTIVATION_TOKEN"), 0u);
    EXPECT_EQ(vars.count("DESKTOP_STARTUP_ID"), 0u);
    std::filesystem::remove_all(dir);
}

namespace {

// org.freedesktop.Application as a D-Bus-activatable program offers it,
// recording the platform data it is activated with.
const char* kApplicationInterface = R"(<node><interface name="org.freedesktop.Application">
  <method name="Activate"><arg type="a{sv}" name="platform_data" direction="in"/></method>
  <method name="Open"><arg type="as" direction="in"/><arg type="a{sv}" direction="in"/></method>
  <method name="ActivateAction"><arg type="s" direction="in"/><arg type="av" direction="in"/>
    <arg type="a{sv}" direction="in"/></method>
</interface></node>)";

void activated(GDBusConnection*, const char*, const char*, const char*, const char* method, GVariant* parameters,
               GDBusMethodInvocation* invocation, gpointer data) {
    auto** received = static_cast<GVariant**>(data);
    if (g_strcmp0(method, "Activate") == 0 && !*received) *received = g_variant_get_child_value(parameters, 0);
    g_dbus_method_invocation_return_value(invocation, nullptr);
}

}  // namespace

TEST(GioWorkspace, ADBusActivatedEntryIsHandedTheIdInItsPlatformData) {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    ASSERT_TRUE(bus);
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kApplicationInterface, nullptr);
    ASSERT_TRUE(node);
    GVariant* received = nullptr;
    const GDBusInterfaceVTable vtable{activated, nullptr, nullptr, {}};
    const guint object = g_dbus_connection_register_object(bus, "/org/orvella/TestActivated", node->interfaces[0],
                                                           &vtable, &received, nullptr, nullptr);
    ASSERT_NE(object, 0u);
    GVariant* owned = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        g_variant_new("(su)", "org.orvella.TestActivated", 4u), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1,
        nullptr, nullptr);
    ASSERT_TRUE(owned);
    g_variant_unref(owned);

    const auto dir = std::filesystem::temp_directory_path() / ("orvella-dbus-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto entry = dir / "org.orvella.TestActivated.desktop";
    std::ofstream(entry) << "[Desktop Entry]\nType=Application\nName=Activated\nExec=/bin/false\n"
                            "DBusActivatable=true\nStartupNotify=true\n";
    ScriptedWindows desktop;
    desktop.token = "wl-token-dbus";
    GioWorkspace w(&desktop);
    ASSERT_TRUE(w.openApplication(entry.string()));
    for (int i = 0; i < 500 && !received; ++i) {
        g_main_context_iteration(nullptr, FALSE);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(received) << "the program was not activated over D-Bus";
    const char* id = nullptr;
    EXPECT_TRUE(g_variant_lookup(received, "desktop-startup-id", "&s", &id));
    EXPECT_STREQ(id, "wl-token-dbus");
    // GLib names it for Wayland programs too from 2.76.
    if (glib_check_version(2, 76, 0) == nullptr) {
        const char* token = nullptr;
        EXPECT_TRUE(g_variant_lookup(received, "activation-token", "&s", &token));
        EXPECT_STREQ(token, "wl-token-dbus");
    }
    g_variant_unref(received);
    g_dbus_connection_unregister_object(bus, object);
    g_dbus_node_info_unref(node);
    g_object_unref(bus);
    std::filesystem::remove_all(dir);
}
