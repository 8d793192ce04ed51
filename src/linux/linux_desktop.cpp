#include "linux/linux_desktop.h"

#include <QIcon>

namespace orvella::linux_desktop {

bool useDesktopIconTheme() {
    QIcon::setThemeName(QString::fromStdString(GioWorkspace::detectIconTheme()));
    QIcon::setFallbackSearchPaths(QIcon::fallbackSearchPaths() << "/usr/share/pixmaps");
    return true;
}

LinuxDesktop::LinuxDesktop(std::filesystem::path defaultsFile)
    : defaults_((useDesktopIconTheme(), std::move(defaultsFile))),
      platform_{displays_, surfaces_, bitmaps_, workspace_, mouse_,    accessibility_,
                scheduler_, clock_,    random_,  defaults_,  awareness_} {
    // In a Wayland session the compositor's provider stands in for what
    // XWayland cannot see.
    accessibility_.setSession(&awareness_);
    if (awareness_.isWayland()) {
        workspace_.setWaylandFocus([this]() -> std::optional<GioWorkspace::FocusedWindow> {
            const auto window = awareness_.providerWindow();
            if (!window) return std::nullopt;
            return GioWorkspace::FocusedWindow{window->windowClass, window->processID};
        });
    }
    mouse_.setProviderPointer([this] { return awareness_.providerPointer(); });
    awareness_.onPointerMoved = [this](QPointF at) { mouse_.providerPointerMoved(at); };
    awareness_.onPressed = [this](QPointF at, Modifiers m) { mouse_.providerPressed(at, m); };
    // What a motion step moves and redraws goes out in one go at its end,
    // not on later turns of the event loop.
    scheduler_.setTickHooks(
        [this] {
            surfaces_.beginBatch();
            mouse_.pollIfQuiet();
        },
        [this] { surfaces_.endBatch(); });
}

}  // namespace orvella::linux_desktop
