#pragma once
// Hyprland: the active window and the cursor position from its IPC sockets
// ($XDG_RUNTIME_DIR/hypr/$HYPRLAND_INSTANCE_SIGNATURE, or /tmp/hypr/... in
// older versions). Events on .socket2.sock say when the active window
// changes; requests on .socket.sock ("j/activewindow", "j/cursorpos", one
// per connection) give the details. The cursor has no event: it is asked
// for ten times a second. Clicks are not reported.

#include <QLocalSocket>
#include <QTimer>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "desktop/providers/provider.h"
#include "orvella/platform/user_defaults.h"

namespace orvella::desktop {

namespace hyprland {
// The folder of the instance's sockets, or empty when there is none.
std::string socketFolder(const std::string& signature);
// A "j/activewindow" reply; absent for "{}" (no window) and for anything
// that is not one.
std::optional<ProviderWindow> activeWindow(const Value& reply);
// A "j/cursorpos" reply.
std::optional<QPointF> cursorPosition(const Value& reply);
// A "j/clients" reply: the mapped windows, least recently focused first.
std::vector<ListedWindow> clients(const Value& reply);
// The request that focuses one of them.
QByteArray focusRequest(const ListedWindow& window);
}  // namespace hyprland

class HyprlandProvider : public DesktopProvider {
public:
    explicit HyprlandProvider(std::string folder, QObject* parent = nullptr);
    ~HyprlandProvider() override;
    std::string name() const override { return "hyprland"; }
    DesktopAbilities abilities() const override { return {connected_, connected_, false}; }
    std::optional<QPointF> pointer() const override { return pointer_; }
    std::optional<ProviderWindow> focusedWindow() const override { return active_; }
    std::optional<std::vector<ListedWindow>> windows() const override;
    bool activateWindow(const ListedWindow& window) override;
    void start() override;

private:
    // One request on its own connection; `done` gets the reply's JSON, or
    // nothing when the socket did not answer.
    void request(const QByteArray& command, std::function<void(std::optional<Value>)> done);
    void refreshActiveWindow();
    void refreshClients();
    void pollCursor();
    void readEvents();
    std::string folder_;
    QLocalSocket events_;
    QByteArray pending_;
    QTimer cursorTimer_;
    bool connected_ = false;
    bool cursorAsked_ = false;
    bool windowAsked_ = false;
    bool clientsAsked_ = false;
    std::vector<ListedWindow> clients_;
    std::optional<QPointF> pointer_;
    std::optional<ProviderWindow> active_;
};

}  // namespace orvella::desktop
