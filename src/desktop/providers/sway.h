#pragma once
// sway and other i3-IPC compositors: the focused window, from the IPC socket
// ($SWAYSOCK), by subscription to window and workspace events. The socket
// tells neither the pointer nor clicks.

#include <QByteArray>
#include <QLocalSocket>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "desktop/providers/provider.h"
#include "orvella/platform/user_defaults.h"

namespace orvella::desktop {

namespace i3ipc {
constexpr std::uint32_t runCommand = 0;
constexpr std::uint32_t subscribe = 2;
constexpr std::uint32_t getTree = 4;
constexpr std::uint32_t eventBit = 0x80000000u;
// "i3-ipc", payload length and type (native byte order), payload.
QByteArray encode(std::uint32_t type, const QByteArray& payload);
struct Message {
    std::uint32_t type = 0;
    QByteArray payload;
};
// Takes whole messages off the front of `buffer`; absent when it holds no
// whole message yet. A buffer that does not start with the magic is bad:
// `bad` is set and the buffer should be dropped.
std::optional<Message> take(QByteArray& buffer, bool& bad);
// The focused window of a GET_TREE reply (a view: a container with a
// process), absent when the focus is on an empty workspace.
std::optional<ProviderWindow> focusedWindow(const Value& tree);
// Every view of a GET_TREE reply (native ones by app id, XWayland ones by
// their WM_CLASS), in tree order with the focused one last.
std::vector<ListedWindow> views(const Value& tree);
// The command that focuses a view.
QByteArray focusCommand(const ListedWindow& window);
}  // namespace i3ipc

class SwayProvider : public DesktopProvider {
public:
    explicit SwayProvider(std::string socketPath, QObject* parent = nullptr);
    ~SwayProvider() override;
    std::string name() const override { return "sway"; }
    DesktopAbilities abilities() const override { return {false, connected_, false}; }
    std::optional<ProviderWindow> focusedWindow() const override { return focused_; }
    std::optional<std::vector<ListedWindow>> windows() const override;
    bool activateWindow(const ListedWindow& window) override;
    void start() override;
    // sway finds the surface under the pointer again on a zero move.
    void rebasePointer() override;

private:
    void send(std::uint32_t type, const QByteArray& payload);
    void readMessages();
    QLocalSocket socket_;
    std::string path_;
    QByteArray buffer_;
    bool connected_ = false;
    bool treeAsked_ = false;
    std::optional<ProviderWindow> focused_;
    std::vector<ListedWindow> views_;
};

}  // namespace orvella::desktop
