#pragma once
// A Wayland compositor's own account of the desktop, through the extension
// point it offers (an IPC socket, a script, a shell extension). Coordinates
// are the compositor's layout in logical pixels, which the XWayland screen
// Orvella's windows live on shares: top-left origin, y down.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QObject>
#include <QPointF>
#include <QRectF>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "desktop/window_list.h"
#include "orvella/platform/desktop_awareness.h"
#include "orvella/platform/mouse.h"

namespace orvella::desktop {

struct ProviderWindow {
    QRectF frame;           // with the compositor's decorations
    int processID = 0;
    std::string windowClass;  // app id or X11 class
    std::string title;
};

class DesktopProvider : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual std::string name() const = 0;
    // Connects to the compositor's end; `lost` follows if it cannot.
    virtual void start() = 0;
    // What it reports while it is there.
    virtual DesktopAbilities abilities() const = 0;
    virtual DesktopRemedy remedy() const { return DesktopRemedy::none; }
    virtual std::string shellVersion() const { return {}; }
    virtual std::optional<QPointF> pointer() const { return std::nullopt; }
    virtual std::optional<ProviderWindow> focusedWindow() const { return std::nullopt; }
    // Asks the compositor to look again at what lies under the pointer, for
    // a compositor that does so only when the pointer moves: a surface that
    // moved under a resting pointer then gets its next press.
    virtual void rebasePointer() {}
    // Every top-level window the compositor lists, native and XWayland
    // alike, in stacking order with the focused one last; absent where the
    // compositor lists none. Read from what it last said: never waits.
    virtual std::optional<std::vector<ListedWindow>> windows() const { return std::nullopt; }
    // Asks the compositor to focus one of those, without waiting for its
    // answer; false when it cannot be asked.
    virtual bool activateWindow(const ListedWindow&) { return false; }

protected:
    // Calls over the session bus without waiting, and goes on with the
    // answer (or the error) when it comes; nothing if this is gone by then.
    void callBus(const QDBusMessage& message, std::function<void(const QDBusMessage&)> then,
                 int timeoutMilliseconds = 3000) {
        auto* watcher = new QDBusPendingCallWatcher(
            QDBusConnection::sessionBus().asyncCall(message, timeoutMilliseconds), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, then = std::move(then)] {
            watcher->deleteLater();
            then(watcher->reply());
        });
    }

Q_SIGNALS:
    void pointerMoved(QPointF at);
    void pressed(QPointF at, orvella::Modifiers modifiers);
    void changed();
    // The compositor's end of it is gone (socket closed, script unloaded).
    void lost();
};

}  // namespace orvella::desktop
