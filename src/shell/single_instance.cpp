// GLib first: its headers use names that Qt's keywords would replace.
#include <gio/gio.h>

#include "shell/single_instance.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QLocalSocket>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>

#include "desktop/session_bus.h"

namespace orvella::shell {

namespace {

constexpr const char* kService = "org.orvella.Orvella";
constexpr const char* kPath = "/org/orvella/Orvella";

const char* methodFor(Request r) {
    switch (r) {
        case Request::quit: return "Quit";
        case Request::attract: return "Attract";
        case Request::disperse: return "Disperse";
        case Request::show: break;
    }
    return "ShowSettings";
}

// The socket's words for the requests, in Request's order.
constexpr const char* kLines[] = {"show", "quit", "attract", "disperse"};
std::string lineFor(Request r) { return std::string(kLines[static_cast<int>(r)]) + "\n"; }

bool handOverOnBus(Request request) {
    if (!desktop::sessionBusExists()) return false;
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) {
        g_clear_error(&error);
        return false;
    }
    g_dbus_connection_set_exit_on_close(bus, FALSE);
    // Only a running owner answers; nothing is started for the name.
    GVariant* reply = g_dbus_connection_call_sync(bus, kService, kPath, kService, methodFor(request), nullptr,
                                                  nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, 5000, nullptr, &error);
    const bool ok = reply != nullptr;
    if (reply) g_variant_unref(reply);
    g_clear_error(&error);
    g_object_unref(bus);
    return ok;
}

bool handOverOnSocket(Request request) {
    const std::string path = instanceSocketPath().toStdString();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    bool ok = false;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        timeval timeout{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        const std::string line = lineFor(request);
        if (::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size())) {
            char answer[4] = {};
            ok = ::read(fd, answer, 3) == 3 && std::strncmp(answer, "ok\n", 3) == 0;
        }
    }
    ::close(fd);
    return ok;
}

}  // namespace

QString instanceSocketPath() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && runtime.startsWith('/')) return QString::fromLocal8Bit(runtime) + "/orvella.socket";
    return QString("/tmp/orvella-%1.socket").arg(::getuid());
}

bool handOver(Request request) { return handOverOnBus(request) || handOverOnSocket(request); }

InstanceServer::InstanceServer(std::function<void(Request)> handle, QObject* parent)
    : QObject(parent), handle_(std::move(handle)) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = server_.nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                if (!client->canReadLine()) return;
                const QByteArray line = client->readLine().trimmed();
                std::optional<Request> request;
                for (int i = 0; i < static_cast<int>(std::size(kLines)); ++i)
                    if (line == kLines[i]) request = static_cast<Request>(i);
                client->write(request ? "ok\n" : "no\n");
                client->flush();
                client->disconnectFromServer();
                if (request && handle_) handle_(*request);
            });
        }
    });
}

bool InstanceServer::listen() {
    const QString path = instanceSocketPath();
    if (server_.listen(path)) return true;
    // A socket left by an instance that died: nobody answers on it.
    QLocalSocket probe;
    probe.connectToServer(path);
    if (probe.waitForConnected(500)) return false;
    QLocalServer::removeServer(path);
    return server_.listen(path);
}

}  // namespace orvella::shell
