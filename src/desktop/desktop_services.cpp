#include "desktop/desktop_services.h"

#include <QIcon>

namespace orvella::desktop {

bool useDesktopIconTheme() {
    QIcon::setThemeName(QString::fromStdString(GioWorkspace::detectIconTheme()));
    QIcon::setFallbackSearchPaths(QIcon::fallbackSearchPaths() << "/usr/share/pixmaps");
    return true;
}

DesktopServices::DesktopServices(std::filesystem::path defaultsFile, WindowList* windows)
    : windows_(awareness, windows), workspace((useDesktopIconTheme(), &windows_)), defaults(std::move(defaultsFile)) {}

Platform DesktopServices::platformWith(Displays& displays, SurfaceFactory& surfaces, DesktopMouse& mouse,
                                       DesktopAccessibility& accessibility) {
    accessibility.setSession(&awareness);
    if (awareness.isWayland()) {
        workspace.setWaylandFocus([this]() -> std::optional<GioWorkspace::FocusedWindow> {
            const auto window = awareness.providerWindow();
            if (!window) return std::nullopt;
            return GioWorkspace::FocusedWindow{window->windowClass, window->processID};
        });
    }
    mouse.setProviderPointer([this] { return awareness.providerPointer(); });
    awareness.onPointerMoved = [&mouse](QPointF at) { mouse.providerPointerMoved(at); };
    awareness.onPressed = [&mouse](QPointF at, Modifiers m) { mouse.providerPressed(at, m); };
    return Platform{displays, surfaces, bitmaps,   workspace, mouse,    accessibility,
                    scheduler, clock,   random,    defaults,  awareness};
}

}  // namespace orvella::desktop
