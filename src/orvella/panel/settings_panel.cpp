#include "orvella/panel/settings_panel.h"

#include <cmath>
#include <cstdio>

namespace orvella {

std::string rawValue(SettingsTab tab) {
    switch (tab) {
        case SettingsTab::apps: return "apps";
        case SettingsTab::appearance: return "appearance";
        case SettingsTab::controls: return "controls";
        case SettingsTab::settings: return "settings";
    }
    return "apps";
}

std::string label(SettingsTab tab) {
    switch (tab) {
        case SettingsTab::apps: return "应用";
        case SettingsTab::appearance: return "外观";
        case SettingsTab::controls: return "操控";
        case SettingsTab::settings: return "设置";
    }
    return "应用";
}

double panelHeight(SettingsTab tab, bool conflict) {
    switch (tab) {
        case SettingsTab::apps: return 428;
        case SettingsTab::appearance: return 408;
        case SettingsTab::controls: return conflict ? 428 : 388;
        case SettingsTab::settings: return 396;
    }
    return 428;
}

double scrollAreaHeight(SettingsTab tab, bool conflict) { return panelHeight(tab, conflict) - 190; }

namespace {
std::string remedyText(DesktopRemedy remedy, const std::string& shellVersion) {
    const std::string shell = shellVersion.empty() ? "当前的 GNOME Shell" : "GNOME Shell " + shellVersion;
    switch (remedy) {
        case DesktopRemedy::enableGnomeShellExtension:
            return "在“扩展”应用中启用 Orvella 扩展，然后重新登录即可。";
        case DesktopRemedy::installGnomeShellExtension:
            return "运行 orvella --install-gnome-extension 安装 GNOME 扩展，启用后重新登录即可。";
        // Enabling does nothing here: say what is wrong instead.
        case DesktopRemedy::gnomeShellExtensionOutOfDate:
            return "Orvella 的扩展尚不支持 " + shell + "，需等待 Orvella 的新版本。";
        case DesktopRemedy::gnomeShellExtensionFailed:
            return shell + " 未能运行 Orvella 的扩展。";
        case DesktopRemedy::kwinScriptDidNotStart:
            return "Orvella 的 KWin 脚本没有启动，重新启动 Orvella 可再试一次。";
        case DesktopRemedy::none: break;
    }
    return "";
}
}  // namespace

std::optional<std::string> windowAvoidanceNote(const DesktopAbilities& abilities, DesktopRemedy remedy,
                                               const std::string& shellVersion) {
    if (abilities.focusedWindow) return std::nullopt;
    return "当前桌面不告诉 Orvella 哪个窗口在前台，窗口避让不起作用。" + remedyText(remedy, shellVersion);
}

std::optional<std::string> screenGestureNote(const DesktopAbilities& abilities, DesktopRemedy remedy,
                                             const std::string& shellVersion) {
    if (abilities.desktopPresses) return std::nullopt;
    const std::string remedyLine = remedyText(remedy, shellVersion);
    return "当前桌面不把桌面上的点击告诉 Orvella，连点手势不起作用。" +
           (remedyLine.empty() ? std::string("可用托盘菜单或 orvella --call、orvella --scatter 召唤和驱散鱼群。")
                               : remedyLine);
}

std::string appVersionDisplay(const std::optional<std::string>& shortVersion, const std::optional<std::string>& build) {
    if (!shortVersion || shortVersion->empty()) return "开发版";
    if (build && !build->empty()) return "v" + *shortVersion + " (" + *build + ")";
    return "v" + *shortVersion;
}

std::string opacityValueLabel(double iconOpacity) {
    return std::to_string(static_cast<long>(std::lround((1 - iconOpacity) * 100))) + "%";
}

std::string speedValueLabel(double swimSpeed) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1fx", swimSpeed);
    return text;
}

std::string unreadPillLabel(int count) {
    if (count < 1) return "";
    return count < 100 ? std::to_string(count) : "99+";
}

double unreadPillPadding(int count) { return count >= 10 ? 5 : 0; }

std::optional<DisplayInfo> preferredSettingsScreen(const std::optional<DisplayInfo>& trayScreen, Point mouse,
                                                   const std::vector<DisplayInfo>& screens,
                                                   const std::optional<DisplayInfo>& mainScreen) {
    if (trayScreen) return trayScreen;
    for (const auto& screen : screens)
        if (screen.frame.contains(mouse)) return screen;
    return mainScreen;
}

std::optional<Rect> centeredSettingsWindowFrame(Size window, const std::optional<Rect>& visibleFrame) {
    if (!visibleFrame) return std::nullopt;
    const double m = SettingsPanelMetrics::screenMargin;
    const Rect B = visibleFrame->insetBy(m, m);
    const double w = std::min(window.width, B.width());
    const double h = std::min(window.height, B.height());
    double x = B.midX() - w / 2, y = B.midY() - h / 2;
    x = std::min(std::max(x, B.minX()), B.maxX() - w);
    y = std::min(std::max(y, B.minY()), B.maxY() - h);
    return Rect::make(x, y, w, h);
}

std::optional<Rect> resizedSettingsWindowFrame(const Rect& current, Size requested,
                                               const std::optional<Rect>& visibleFrame) {
    const double tolerance = SettingsPanelMetrics::resizeTolerance;
    if (std::abs(current.width() - requested.width) <= tolerance &&
        std::abs(current.height() - requested.height) <= tolerance)
        return std::nullopt;
    double w = requested.width, h = requested.height;
    double x = current.midX() - w / 2, y = current.maxY() - h;
    if (visibleFrame) {
        const double m = SettingsPanelMetrics::screenMargin;
        const Rect B = visibleFrame->insetBy(m, m);
        w = std::min(w, B.width());
        h = std::min(h, B.height());
        x = std::min(std::max(x, B.minX()), B.maxX() - w);
        y = std::min(std::max(y, B.minY()), B.maxY() - h);
    }
    return Rect::make(x, y, w, h);
}

}  // namespace orvella
