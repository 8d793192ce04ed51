#pragma once
// Choosing and opening a desktop backend: X11 windows (an X11 session, or
// XWayland), or Wayland layer surfaces where the compositor offers them.
// The platforms' own code is reached through the openers the entry hands
// in, so that nothing here needs Xlib or wayland-client.

#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "orvella/platform/platform.h"

namespace orvella::desktop {

// One desktop backend: everything the tank runs on.
class DesktopBackend {
public:
    virtual ~DesktopBackend() = default;
    virtual Platform& platform() = 0;
    // The surfaces on screen, for tools ("title|x|y|width|height|buffer
    // width"), where the backend's surfaces are not windows the tools can
    // read themselves; empty otherwise.
    virtual std::function<QStringList()> surfaceLister() { return {}; }
};

enum class BackendKind { x11, wayland };

// "x11" or "wayland"; nothing for any other name.
std::optional<BackendKind> backendNamed(std::string_view name);

// What each platform can do before Qt starts, and how it opens.
struct BackendOpeners {
    // Whether the session's compositor offers layer surfaces.
    std::function<bool()> waylandOffersLayerShell;
    // Whether an X display can be opened.
    std::function<bool()> x11DisplayOpens;
    std::function<std::unique_ptr<DesktopBackend>()> openX11;
    // Null when no compositor with layer surfaces answers.
    std::function<std::unique_ptr<DesktopBackend>()> openWayland;
};

// Without a choice: Wayland in a Wayland session whose compositor offers
// layer surfaces; elsewhere (X11, GNOME) everything goes through X11 or
// XWayland.
BackendKind chooseBackend(std::optional<BackendKind> requested, const BackendOpeners& openers);

// Before the application object: Qt's platform for the backend, unless the
// user set one, and a check that it can show anything at all. The reason
// it cannot, for the user, or nothing.
std::optional<std::string> prepareBackend(BackendKind kind, const BackendOpeners& openers);

// After the application object. Null, with the reason in `error`, when it
// cannot open.
std::unique_ptr<DesktopBackend> openBackend(BackendKind kind, const BackendOpeners& openers, std::string& error);

}  // namespace orvella::desktop
