#pragma once
// What this session lets Orvella know of the desktop. On an X11 session the
// server tells everything: XInput2 for the pointer and presses, EWMH for the
// focused window (X11Mouse, X11Accessibility). In a Wayland session Orvella's
// X11 connection goes through XWayland, which sees none of the compositor's
// native windows; what it knows then comes from the compositor's own
// provider, chosen at start and chosen again when it goes away.

#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "desktop/handler_registry.h"
#include "desktop/providers/provider.h"
#include "orvella/platform/accessibility.h"
#include "orvella/platform/desktop_awareness.h"

namespace orvella::desktop {

class SessionAwareness : public QObject, public DesktopAwareness {
public:
    // What the environment says of the session.
    struct Session {
        bool wayland = false;
        std::string swaySocket;         // $SWAYSOCK (sway and other i3-IPC compositors)
        std::string hyprlandSignature;  // $HYPRLAND_INSTANCE_SIGNATURE
    };
    static Session fromEnvironment();

    explicit SessionAwareness(Session session = fromEnvironment());
    ~SessionAwareness() override;
    DesktopAbilities abilities() const override;
    std::string providerName() const override;
    DesktopRemedy remedy() const override;
    std::string shellVersion() const override;
    int addChangeObserver(std::function<void()> observer) override;
    void removeChangeObserver(int id) override { observers_.remove(id); }

    bool isWayland() const { return session_.wayland; }
    // The compositor's provider while there is one (Wayland sessions only).
    DesktopProvider* provider() const { return provider_.get(); }
    // The focused window as the provider reports it, in the avoidance
    // rules' top-left coordinates of the primary display.
    std::optional<FrontWindowInfo> providerFrontWindow() const;
    // The provider's pointer and focused window while it reports them.
    std::optional<QPointF> providerPointer() const;
    std::optional<ProviderWindow> providerWindow() const;
    // Told of the provider's pointer and presses, on the main thread.
    std::function<void(QPointF)> onPointerMoved;
    std::function<void(QPointF, Modifiers)> onPressed;

private:
    void choose();
    void notify();
    Session session_;
    std::unique_ptr<DesktopProvider> provider_;
    QTimer retry_;
    HandlerRegistry<> observers_;
};

}  // namespace orvella::desktop
