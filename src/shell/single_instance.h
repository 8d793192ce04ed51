#pragma once
// One Orvella per session: the first owns the bus name (and a socket in the
// runtime directory, for sessions without a bus); later starts hand their
// request to it and leave.

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace orvella::shell {

// What a later start asks of the running Orvella: its settings, to quit, or
// to call or scatter the school.
enum class Request { show, quit, attract, disperse };

// Before any window exists: asks a running Orvella to carry out `request`.
// True when one took it. Uses no Qt application object.
bool handOver(Request request);

// The socket a running Orvella listens on.
QString instanceSocketPath();

// Listens for hand-overs on the socket while the process runs.
class InstanceServer : public QObject {
    Q_OBJECT
public:
    InstanceServer(std::function<void(Request)> handle, QObject* parent = nullptr);
    // False when another live instance holds the socket.
    bool listen();

private:
    std::function<void(Request)> handle_;
    QLocalServer server_;
};

}  // namespace orvella::shell
