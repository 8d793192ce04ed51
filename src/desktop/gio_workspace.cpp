// GLib first: its headers use names that Qt's keywords would replace.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "desktop/gio_workspace.h"

#include <unistd.h>

#include <QFile>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QStandardPaths>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "render/canvas.h"

namespace orvella::desktop {

namespace {

constexpr int kIconPixels = 144;

template <class T>
struct GObjectPtr {
    T* p = nullptr;
    explicit GObjectPtr(T* ptr) : p(ptr) {}
    ~GObjectPtr() {
        if (p) g_object_unref(p);
    }
    GObjectPtr(const GObjectPtr&) = delete;
    GObjectPtr& operator=(const GObjectPtr&) = delete;
    explicit operator bool() const { return p != nullptr; }
};

std::optional<std::string> filenameOf(GAppInfo* info) {
    if (!info || !G_IS_DESKTOP_APP_INFO(info)) return std::nullopt;
    const char* file = g_desktop_app_info_get_filename(G_DESKTOP_APP_INFO(info));
    if (!file) return std::nullopt;
    return std::string(file);
}

// The default handler of the type itself. GIO also answers with the handler
// of a parent type (a text editor for text/calendar, since calendars are
// text); such an answer does not fill the role.
std::optional<std::string> defaultForType(const char* type) {
    GObjectPtr<GAppInfo> info(g_app_info_get_default_for_type(type, FALSE));
    if (!info) return std::nullopt;
    bool handlesType = false;
    if (const char** types = g_app_info_get_supported_types(info.p))
        for (; *types; ++types)
            if (g_content_type_equals(*types, type)) handlesType = true;
    if (!handlesType) return std::nullopt;
    return filenameOf(info.p);
}

std::optional<std::string> desktopFileForID(const char* id) {
    GObjectPtr<GDesktopAppInfo> info(g_desktop_app_info_new(id));
    return filenameOf(G_APP_INFO(info.p));
}

// The first entry the desktop shows, by desktop-file id, that lists the
// category.
std::optional<std::string> firstInCategory(const char* category) {
    GList* all = g_app_info_get_all();
    std::vector<std::pair<std::string, std::string>> matches;
    for (GList* l = all; l; l = l->next) {
        auto* info = static_cast<GAppInfo*>(l->data);
        if (!G_IS_DESKTOP_APP_INFO(info)) continue;
        // Entries the desktop does not show (NoDisplay, Hidden, or not for
        // this desktop by OnlyShowIn/NotShowIn) fill no role.
        if (!g_app_info_should_show(info)) continue;
        const char* categories = g_desktop_app_info_get_categories(G_DESKTOP_APP_INFO(info));
        const char* id = g_app_info_get_id(info);
        auto file = filenameOf(info);
        if (!categories || !id || !file) continue;
        gchar** list = g_strsplit(categories, ";", -1);
        bool found = false;
        for (gchar** c = list; *c; ++c)
            if (g_strcmp0(*c, category) == 0) found = true;
        g_strfreev(list);
        if (found) matches.emplace_back(id, *file);
    }
    g_list_free_full(all, g_object_unref);
    if (matches.empty()) return std::nullopt;
    std::sort(matches.begin(), matches.end());
    return matches.front().second;
}

QImage iconImage(const QIcon& icon) {
    if (icon.isNull()) return {};
    QImage image = icon.pixmap(QSize(kIconPixels, kIconPixels)).toImage();
    if (image.isNull() || image.width() == 0) return {};
    return image;
}

QImage iconForGIcon(GIcon* gicon) {
    if (!gicon) return {};
    if (G_IS_THEMED_ICON(gicon)) {
        const gchar* const* names = g_themed_icon_get_names(G_THEMED_ICON(gicon));
        for (; names && *names; ++names) {
            const QString name = QString::fromUtf8(*names);
            QImage image = iconImage(QIcon::fromTheme(name));
            if (image.isNull() && QFile::exists(name)) image = iconImage(QIcon(name));
            if (!image.isNull()) return image;
        }
    } else if (G_IS_FILE_ICON(gicon)) {
        GFile* file = g_file_icon_get_file(G_FILE_ICON(gicon));
        gchar* path = file ? g_file_get_path(file) : nullptr;
        QImage image;
        if (path) image = iconImage(QIcon(QString::fromUtf8(path)));
        g_free(path);
        return image;
    }
    return {};
}

// Drawn when neither the entry nor the theme has an icon: never an empty
// square.
QImage genericApplicationIcon() {
    QImage image = iconImage(QIcon::fromTheme("application-x-executable"));
    if (!image.isNull()) return image;
    image = QImage(kIconPixels, kIconPixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, 0, kIconPixels);
    gradient.setColorAt(0, QColor(120, 150, 190));
    gradient.setColorAt(1, QColor(70, 95, 140));
    QPainterPath rounded;
    rounded.addRoundedRect(QRectF(12, 12, kIconPixels - 24, kIconPixels - 24), 26, 26);
    p.fillPath(rounded, gradient);
    p.setPen(QPen(QColor(255, 255, 255, 220), 8));
    p.drawRect(QRectF(44, 48, 56, 44));
    return image;
}

bool themeInstalled(const std::string& name) {
    std::vector<std::string> dirs;
    if (const char* home = std::getenv("HOME")) dirs.push_back(std::string(home) + "/.icons");
    const char* data = std::getenv("XDG_DATA_DIRS");
    std::string list = data && *data ? data : "/usr/local/share:/usr/share";
    size_t start = 0;
    while (start <= list.size()) {
        const size_t end = list.find(':', start);
        const std::string dir = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!dir.empty()) dirs.push_back(dir + "/icons");
        if (end == std::string::npos) break;
        start = end + 1;
    }
    for (const auto& d : dirs)
        if (std::filesystem::exists(d + "/" + name + "/index.theme")) return true;
    return false;
}

GSettings* settingsIfInstalled(const char* schemaID, const char* key) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source) return nullptr;
    GSettingsSchema* schema = g_settings_schema_source_lookup(source, schemaID, TRUE);
    if (!schema) return nullptr;
    const bool hasKey = g_settings_schema_has_key(schema, key);
    g_settings_schema_unref(schema);
    return hasKey ? g_settings_new(schemaID) : nullptr;
}

}  // namespace

GioWorkspace::GioWorkspace(WindowList* windows) : windows_(windows) {
    interfaceSettings_ = settingsIfInstalled("org.gnome.desktop.interface", "enable-animations");
    if (interfaceSettings_) {
        g_signal_connect_swapped(interfaceSettings_, "changed::enable-animations",
                                 G_CALLBACK(+[](GioWorkspace* self) { self->readReduceMotion(); }), this);
    }
    readReduceMotion();
}

GioWorkspace::~GioWorkspace() {
    if (interfaceSettings_) {
        g_signal_handlers_disconnect_by_data(interfaceSettings_, this);
        g_object_unref(interfaceSettings_);
    }
}

void GioWorkspace::readReduceMotion() {
    reduceMotion_ = interfaceSettings_ && !g_settings_get_boolean(interfaceSettings_, "enable-animations");
}

std::string GioWorkspace::detectIconTheme() {
    if (GSettings* settings = settingsIfInstalled("org.gnome.desktop.interface", "icon-theme")) {
        gchar* name = g_settings_get_string(settings, "icon-theme");
        std::string theme = name ? name : "";
        g_free(name);
        g_object_unref(settings);
        if (!theme.empty() && themeInstalled(theme)) return theme;
    }
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    const std::string kdeglobals =
        (config && *config ? std::string(config) : std::string(home ? home : "") + "/.config") + "/kdeglobals";
    std::ifstream in(kdeglobals);
    std::string line;
    bool inIcons = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == '[') inIcons = line.rfind("[Icons]", 0) == 0;
        else if (inIcons && line.rfind("Theme=", 0) == 0 && themeInstalled(line.substr(6))) return line.substr(6);
    }
    for (const char* theme : {"Adwaita", "breeze", "hicolor"})
        if (themeInstalled(theme)) return theme;
    return "hicolor";
}

std::optional<std::string> GioWorkspace::applicationForRole(ApplicationRole role) {
    switch (role) {
        case ApplicationRole::webBrowser: return defaultForType("x-scheme-handler/https");
        case ApplicationRole::mail: return defaultForType("x-scheme-handler/mailto");
        case ApplicationRole::calendar: return defaultForType("text/calendar");
        case ApplicationRole::terminal:
            if (auto t = defaultForType("x-scheme-handler/terminal")) return t;
            return firstInCategory("TerminalEmulator");
        case ApplicationRole::notes: return defaultForType("text/plain");
        case ApplicationRole::messaging: return firstInCategory("InstantMessaging");
        case ApplicationRole::reminders: return firstInCategory("ProjectManagement");
        case ApplicationRole::design: return defaultForType("image/svg+xml");
        case ApplicationRole::presentation: return defaultForType("application/vnd.oasis.opendocument.presentation");
        case ApplicationRole::fileManager: return defaultForType("inode/directory");
        case ApplicationRole::systemSettings:
            for (const char* id : {"org.gnome.Settings.desktop", "gnome-control-center.desktop",
                                   "systemsettings.desktop", "xfce-settings-manager.desktop", "lxqt-config.desktop"})
                if (auto f = desktopFileForID(id)) return f;
            return std::nullopt;
        case ApplicationRole::chrome: return desktopFileForID("google-chrome.desktop");
        case ApplicationRole::codeEditor: return desktopFileForID("code.desktop");
    }
    return std::nullopt;
}

std::string GioWorkspace::displayName(const std::string& path) {
    GObjectPtr<GDesktopAppInfo> info(g_desktop_app_info_new_from_filename(path.c_str()));
    if (info) {
        const char* name = g_app_info_get_display_name(G_APP_INFO(info.p));
        if (name && *name) return name;
    }
    GObjectPtr<GFile> file(g_file_new_for_path(path.c_str()));
    GObjectPtr<GFileInfo> fileInfo(
        g_file_query_info(file.p, G_FILE_ATTRIBUTE_STANDARD_DISPLAY_NAME, G_FILE_QUERY_INFO_NONE, nullptr, nullptr));
    if (fileInfo) {
        const char* name = g_file_info_get_display_name(fileInfo.p);
        if (name && *name) return name;
    }
    return std::filesystem::path(path).filename().string();
}

std::shared_ptr<Image> GioWorkspace::iconForFile(const std::string& path) {
    QImage image;
    GObjectPtr<GDesktopAppInfo> info(g_desktop_app_info_new_from_filename(path.c_str()));
    if (info) image = iconForGIcon(g_app_info_get_icon(G_APP_INFO(info.p)));
    if (image.isNull()) image = genericApplicationIcon();
    const double dpr = image.devicePixelRatio() > 0 ? image.devicePixelRatio() : 1.0;
    return std::make_shared<render::QtImage>(image, Size{image.width() / dpr, image.height() / dpr});
}

bool GioWorkspace::fileExists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::exists(path, ec);
}

namespace {

std::string lowered(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// An entry's desktop-file id as it is spelt: its file name without ".desktop".
std::string desktopFileID(const std::string& path) {
    std::string id = std::filesystem::path(path).filename().string();
    if (id.size() > 8 && id.ends_with(".desktop")) id.resize(id.size() - 8);
    return id;
}

// The names a window of the entry's application carries in WM_CLASS: the
// entry's StartupWMClass, else its desktop-file id without ".desktop".
std::vector<std::string> windowClassesOf(GDesktopAppInfo* info, const std::string& path) {
    std::vector<std::string> names;
    if (const char* wmclass = g_desktop_app_info_get_startup_wm_class(info)) names.push_back(lowered(wmclass));
    names.push_back(lowered(desktopFileID(path)));
    return names;
}

// The one rule that ties a window to a desktop entry, both ways: the window's
// WM_CLASS instance or class names one of the entry's window classes.
bool windowBelongsTo(const ListedWindow& window, const std::vector<std::string>& classes) {
    const std::string instance = lowered(window.instance), cls = lowered(window.className);
    return std::any_of(classes.begin(), classes.end(),
                       [&](const std::string& name) { return name == instance || name == cls; });
}

// Every desktop entry with its window classes, in GIO's order.
struct KnownEntry {
    std::string path;
    std::vector<std::string> classes;
};
std::vector<KnownEntry> knownEntries() {
    std::vector<KnownEntry> out;
    GList* all = g_app_info_get_all();
    for (GList* l = all; l; l = l->next) {
        auto* info = static_cast<GAppInfo*>(l->data);
        auto file = filenameOf(info);
        if (!file) continue;
        out.push_back({*file, windowClassesOf(G_DESKTOP_APP_INFO(info), *file)});
    }
    g_list_free_full(all, g_object_unref);
    return out;
}

// A launch context that hands GIO our startup id: GIO puts it in the
// platform data of a D-Bus activation ("desktop-startup-id", and from
// GLib 2.76 "activation-token" too), which no environment reaches.
struct OrvellaLaunchContext {
    GAppLaunchContext parent;
    char* id;
};
struct OrvellaLaunchContextClass {
    GAppLaunchContextClass parent;
};
G_DEFINE_TYPE(OrvellaLaunchContext, orvella_launch_context, G_TYPE_APP_LAUNCH_CONTEXT)

void orvella_launch_context_init(OrvellaLaunchContext* self) { self->id = nullptr; }

void orvella_launch_context_finalize(GObject* object) {
    g_free(reinterpret_cast<OrvellaLaunchContext*>(object)->id);
    G_OBJECT_CLASS(orvella_launch_context_parent_class)->finalize(object);
}

char* orvella_launch_context_startup_id(GAppLaunchContext* context, GAppInfo*, GList*) {
    const char* id = reinterpret_cast<OrvellaLaunchContext*>(context)->id;
    return id ? g_strdup(id) : nullptr;
}

void orvella_launch_context_class_init(OrvellaLaunchContextClass* klass) {
    G_OBJECT_CLASS(klass)->finalize = orvella_launch_context_finalize;
    G_APP_LAUNCH_CONTEXT_CLASS(klass)->get_startup_notify_id = orvella_launch_context_startup_id;
}

GAppLaunchContext* launchContextWith(const std::string& id) {
    auto* context = static_cast<OrvellaLaunchContext*>(g_object_new(orvella_launch_context_get_type(), nullptr));
    if (!id.empty()) context->id = g_strdup(id.c_str());
    return G_APP_LAUNCH_CONTEXT(context);
}

}  // namespace

bool GioWorkspace::openApplication(const std::string& path) {
    GObjectPtr<GDesktopAppInfo> info(g_desktop_app_info_new_from_filename(path.c_str()));
    if (!info) return false;
    // A window of the application is open: bring the topmost one forward.
    const auto classes = windowClassesOf(info.p, path);
    const auto windows = windows_ ? windows_->windows() : std::vector<ListedWindow>{};
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if (windowBelongsTo(*it, classes) && windows_->activate(*it)) return true;
    // Otherwise launch the entry. GIO splits its Exec line into arguments
    // itself; nothing goes through a shell.
    // Startup notification (the desktop shows the launch, and the program
    // learns its id from DESKTOP_STARTUP_ID) where the entry asks for it;
    // else, or where the desktop announces no launches, a Wayland
    // compositor's activation token, so the new window takes the focus.
    std::string id;
    if (windows_ && g_desktop_app_info_get_boolean(info.p, "StartupNotify")) {
        const char* name = g_app_info_get_display_name(G_APP_INFO(info.p));
        const char* binary = g_app_info_get_executable(G_APP_INFO(info.p));
        id = windows_->announceLaunch(name ? name : "", binary ? binary : "");
    }
    if (id.empty() && windows_) id = windows_->activationToken(desktopFileID(path));
    GObjectPtr<GAppLaunchContext> context(launchContextWith(id));
    // The same id under both names, as GLib itself hands it from 2.76: X11
    // programs read the first, Wayland programs the second.
    // Without one, none: an id Orvella was itself started with is spent,
    // and handed on it would make the compositor refuse the program.
    for (const char* name : {"DESKTOP_STARTUP_ID", "XDG_ACTIVATION_TOKEN"}) {
        if (id.empty())
            g_app_launch_context_unsetenv(context.p, name);
        else
            g_app_launch_context_setenv(context.p, name, id.c_str());
    }
    return g_app_info_launch(G_APP_INFO(info.p), nullptr, context.p, nullptr);
}

std::optional<std::string> GioWorkspace::bundleIdentifier(const std::string& path) {
    GObjectPtr<GDesktopAppInfo> info(g_desktop_app_info_new_from_filename(path.c_str()));
    if (!info) return std::nullopt;
    return windowClassesOf(info.p, path).back();
}

namespace {

RunningApplication runningApplicationOf(const ListedWindow& window, const std::vector<KnownEntry>& entries) {
    RunningApplication app;
    app.bundleIdentifier = lowered(window.instance.empty() ? window.className : window.instance);
    app.processID = window.processID;
    app.localizedName = window.className;
    if (window.processID == ::getpid()) {
        app.bundleIdentifier = GioWorkspace::kOwnIdentifier;
        app.localizedName = "Orvella";
        return app;
    }
    // The entry the window belongs to, by the rule opening an application
    // uses to find its window: the window then has that entry's location
    // and identifier, whether its class is the entry's id or the entry's
    // StartupWMClass.
    for (const auto& entry : entries)
        if (windowBelongsTo(window, entry.classes)) {
            app.location = entry.path;
            app.bundleIdentifier = entry.classes.back();
            break;
        }
    return app;
}

}  // namespace

std::optional<RunningApplication> GioWorkspace::frontmostApplication() {
    if (waylandFocus_) {
        const auto focused = waylandFocus_();
        if (!focused) return std::nullopt;
        ListedWindow window;
        window.instance = window.className = focused->windowClass;
        window.processID = focused->processID;
        return runningApplicationOf(window, knownEntries());
    }
    auto window = windows_ ? windows_->active() : std::nullopt;
    if (!window) return std::nullopt;
    return runningApplicationOf(*window, knownEntries());
}

std::vector<RunningApplication> GioWorkspace::runningApplications() {
    std::vector<RunningApplication> out;
    const auto entries = knownEntries();
    for (const auto& window : windows_ ? windows_->windows() : std::vector<ListedWindow>{}) {
        auto app = runningApplicationOf(window, entries);
        const bool seen = std::any_of(out.begin(), out.end(), [&](const RunningApplication& other) {
            return other.bundleIdentifier == app.bundleIdentifier && other.processID == app.processID;
        });
        if (!seen) out.push_back(std::move(app));
    }
    return out;
}

std::optional<std::string> GioWorkspace::canonicalPath(const std::string& path) {
    std::error_code error;
    auto canonical = std::filesystem::canonical(path, error);
    if (error) return std::nullopt;
    return canonical.string();
}

std::vector<std::string> GioWorkspace::bundleNames(const std::string& path) {
    std::vector<std::string> names;
    GObjectPtr<GDesktopAppInfo> info(g_desktop_app_info_new_from_filename(path.c_str()));
    if (!info) return names;
    // Localised, then as written in the file.
    if (const char* name = g_app_info_get_name(G_APP_INFO(info.p))) names.emplace_back(name);
    if (char* name = g_desktop_app_info_get_string(info.p, "Name")) {
        names.emplace_back(name);
        g_free(name);
    }
    // The program name of the Exec line.
    if (const char* binary = g_app_info_get_executable(G_APP_INFO(info.p)))
        names.push_back(std::filesystem::path(binary).filename().string());
    return names;
}

}  // namespace orvella::desktop
