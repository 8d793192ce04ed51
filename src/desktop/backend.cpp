#include "desktop/backend.h"

#include <QtGlobal>

namespace orvella::desktop {

std::optional<BackendKind> backendNamed(std::string_view name) {
    if (name == "x11") return BackendKind::x11;
    if (name == "wayland") return BackendKind::wayland;
    return std::nullopt;
}

BackendKind chooseBackend(std::optional<BackendKind> requested, const BackendOpeners& openers) {
    if (requested) return *requested;
    const bool layerShell = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && openers.waylandOffersLayerShell &&
                            openers.waylandOffersLayerShell();
    return layerShell ? BackendKind::wayland : BackendKind::x11;
}

std::optional<std::string> prepareBackend(BackendKind kind, const BackendOpeners& openers) {
    // The Wayland backend's Qt windows (settings, menus) are native Wayland
    // ones; the X11 backend's everything is X11.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", kind == BackendKind::wayland ? "wayland;xcb" : "xcb");
    if (kind == BackendKind::x11 && qgetenv("QT_QPA_PLATFORM") == "xcb" && openers.x11DisplayOpens &&
        !openers.x11DisplayOpens())
        return "Orvella needs an X11 display (an X11 session, or XWayland under Wayland), and none could be "
               "opened; is DISPLAY set?";
    return std::nullopt;
}

std::unique_ptr<DesktopBackend> openBackend(BackendKind kind, const BackendOpeners& openers, std::string& error) {
    std::unique_ptr<DesktopBackend> backend;
    if (kind == BackendKind::wayland) {
        if (openers.openWayland) backend = openers.openWayland();
        if (!backend)
            error = "the Wayland backend needs a compositor that offers layer surfaces (zwlr_layer_shell_v1), "
                    "and none answered; try --backend x11";
    } else {
        if (openers.openX11) backend = openers.openX11();
        if (!backend) error = "the X11 backend could not open";
    }
    return backend;
}

}  // namespace orvella::desktop
