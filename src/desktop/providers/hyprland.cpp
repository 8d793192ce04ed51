#include "desktop/providers/hyprland.h"

#include <algorithm>
#include <filesystem>
#include <utility>

#include "desktop/json.h"

namespace orvella::desktop {

namespace hyprland {

namespace {
const auto member = jsonMember;
std::optional<QPointF> pair(const Value* v) {
    if (!v || !v->isArray() || v->asArray().size() != 2) return std::nullopt;
    const auto& a = v->asArray();
    if (!a[0].isNumber() || !a[1].isNumber()) return std::nullopt;
    return QPointF(a[0].asNumber(), a[1].asNumber());
}
}  // namespace

std::string socketFolder(const std::string& signature) {
    // A signature names a folder; it must not climb out of it.
    if (signature.empty() || signature.find('/') != std::string::npos || signature == "." || signature == "..")
        return {};
    std::error_code error;
    std::vector<std::filesystem::path> candidates;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        candidates.push_back(std::filesystem::path(runtime) / "hypr" / signature);
    candidates.push_back(std::filesystem::path("/tmp/hypr") / signature);
    for (const auto& folder : candidates)
        if (std::filesystem::exists(folder / ".socket2.sock", error)) return folder.string();
    return {};
}

std::optional<ProviderWindow> activeWindow(const Value& reply) {
    const auto at = pair(member(reply, "at"));
    const auto size = pair(member(reply, "size"));
    if (!at || !size) return std::nullopt;
    ProviderWindow w;
    w.frame = QRectF(*at, QSizeF(size->x(), size->y()));
    if (const Value* pid = member(reply, "pid"); pid && pid->isNumber()) w.processID = static_cast<int>(pid->asNumber());
    if (const Value* c = member(reply, "class"); c && c->isString()) w.windowClass = c->asString();
    if (const Value* t = member(reply, "title"); t && t->isString()) w.title = t->asString();
    return w;
}

std::optional<QPointF> cursorPosition(const Value& reply) {
    const Value* x = member(reply, "x");
    const Value* y = member(reply, "y");
    if (!x || !y || !x->isNumber() || !y->isNumber()) return std::nullopt;
    return QPointF(x->asNumber(), y->asNumber());
}

std::vector<ListedWindow> clients(const Value& reply) {
    std::vector<std::pair<double, ListedWindow>> ranked;
    if (!reply.isArray()) return {};
    for (const Value& client : reply.asArray()) {
        const Value* address = member(client, "address");
        const Value* mapped = member(client, "mapped");
        if (!address || !address->isString() || (mapped && mapped->isBool() && !mapped->asBool())) continue;
        ListedWindow w;
        try {
            w.id = std::stoul(address->asString(), nullptr, 16);
        } catch (const std::exception&) {
            continue;
        }
        w.listedByCompositor = true;
        if (const Value* pid = member(client, "pid"); pid && pid->isNumber()) w.processID = static_cast<int>(pid->asNumber());
        // The class the window asked for first names its application; it
        // may set another later.
        for (const char* key : {"initialClass", "class"})
            if (const Value* c = member(client, key); c && c->isString() && !c->asString().empty()) {
                w.instance = c->asString();
                break;
            }
        if (const Value* c = member(client, "class"); c && c->isString()) w.className = c->asString();
        // 0 is the focused window, 1 the one before it, and so on.
        const Value* history = member(client, "focusHistoryID");
        ranked.emplace_back(history && history->isNumber() ? history->asNumber() : 1e9, std::move(w));
    }
    std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<ListedWindow> out;
    for (auto& [rank, w] : ranked) out.push_back(std::move(w));
    return out;
}

QByteArray focusRequest(const ListedWindow& window) {
    return "dispatch focuswindow address:0x" + QByteArray::number(static_cast<qulonglong>(window.id), 16);
}

}  // namespace hyprland

HyprlandProvider::HyprlandProvider(std::string folder, QObject* parent)
    : DesktopProvider(parent), folder_(std::move(folder)) {
    connect(&events_, &QLocalSocket::connected, this, [this] {
        connected_ = true;
        refreshActiveWindow();
        refreshClients();
        cursorTimer_.start();
        Q_EMIT changed();
    });
    connect(&events_, &QLocalSocket::readyRead, this, &HyprlandProvider::readEvents);
    auto gone = [this] {
        if (events_.state() != QLocalSocket::UnconnectedState) return;
        const bool was = connected_;
        connected_ = false;
        cursorTimer_.stop();
        active_.reset();
        clients_.clear();
        pointer_.reset();
        pending_.clear();
        if (was) Q_EMIT changed();
        Q_EMIT lost();
    };
    connect(&events_, &QLocalSocket::disconnected, this, gone);
    connect(&events_, &QLocalSocket::errorOccurred, this, [gone](QLocalSocket::LocalSocketError) { gone(); });
    cursorTimer_.setInterval(100);
    connect(&cursorTimer_, &QTimer::timeout, this, &HyprlandProvider::pollCursor);
}

HyprlandProvider::~HyprlandProvider() {
    // Sockets closing as they are destroyed say so: nothing of this object
    // may hear it once its members are gone.
    events_.disconnect();
    for (QLocalSocket* request : findChildren<QLocalSocket*>(Qt::FindDirectChildrenOnly)) {
        request->disconnect();
        delete request;
    }
}

void HyprlandProvider::start() {
    if (events_.state() != QLocalSocket::UnconnectedState) return;
    events_.connectToServer(QString::fromStdString(folder_ + "/.socket2.sock"));
}

void HyprlandProvider::request(const QByteArray& command, std::function<void(std::optional<Value>)> done) {
    auto* socket = new QLocalSocket(this);
    auto reply = std::make_shared<QByteArray>();
    auto finished = std::make_shared<bool>(false);
    auto finish = [socket, reply, finished, done = std::move(done)] {
        if (*finished) return;
        *finished = true;
        socket->deleteLater();
        done(reply->isEmpty() ? std::nullopt : parseJson(reply->toStdString()));
    };
    connect(socket, &QLocalSocket::connected, socket, [socket, command] { socket->write(command); });
    connect(socket, &QLocalSocket::readyRead, socket, [socket, reply] { reply->append(socket->readAll()); });
    connect(socket, &QLocalSocket::disconnected, socket, finish);
    connect(socket, &QLocalSocket::errorOccurred, socket, [socket, reply, finish](QLocalSocket::LocalSocketError) {
        reply->append(socket->readAll());
        finish();
    });
    socket->connectToServer(QString::fromStdString(folder_ + "/.socket.sock"));
}

void HyprlandProvider::refreshActiveWindow() {
    if (windowAsked_) return;
    windowAsked_ = true;
    request("j/activewindow", [this](std::optional<Value> reply) {
        windowAsked_ = false;
        if (!connected_) return;
        active_ = reply ? hyprland::activeWindow(*reply) : std::nullopt;
    });
}

void HyprlandProvider::refreshClients() {
    if (clientsAsked_) return;
    clientsAsked_ = true;
    request("j/clients", [this](std::optional<Value> reply) {
        clientsAsked_ = false;
        if (!connected_) return;
        clients_ = reply ? hyprland::clients(*reply) : std::vector<ListedWindow>{};
    });
}

std::optional<std::vector<ListedWindow>> HyprlandProvider::windows() const {
    if (!connected_) return std::nullopt;
    return clients_;
}

bool HyprlandProvider::activateWindow(const ListedWindow& window) {
    if (!connected_) return false;
    request(hyprland::focusRequest(window), [](std::optional<Value>) {});
    return true;
}

void HyprlandProvider::pollCursor() {
    if (cursorAsked_) return;
    cursorAsked_ = true;
    request("j/cursorpos", [this](std::optional<Value> reply) {
        cursorAsked_ = false;
        if (!connected_ || !reply) return;
        const auto at = hyprland::cursorPosition(*reply);
        if (!at || at == pointer_) return;
        pointer_ = at;
        Q_EMIT pointerMoved(*at);
    });
}

void HyprlandProvider::readEvents() {
    pending_.append(events_.readAll());
    bool refresh = false;
    for (qsizetype end = pending_.indexOf('\n'); end >= 0; end = pending_.indexOf('\n')) {
        const QByteArray line = pending_.left(end);
        pending_.remove(0, end + 1);
        // Anything that may change which window is active, or where it is.
        for (const char* event : {"activewindow", "openwindow", "closewindow", "movewindow", "workspace",
                                  "changefloatingmode", "fullscreen", "focusedmon"})
            if (line.startsWith(QByteArray(event) + ">>") || line.startsWith(QByteArray(event) + "v2>>")) refresh = true;
    }
    // A line this long is no event of Hyprland's.
    if (pending_.size() > (1 << 16)) pending_.clear();
    if (refresh) {
        refreshActiveWindow();
        refreshClients();
    }
}

}  // namespace orvella::desktop
