#include "desktop/providers/sway.h"

#include <algorithm>
#include <cstring>

#include "desktop/json.h"

namespace orvella::desktop {

namespace i3ipc {

namespace {
constexpr char kMagic[] = "i3-ipc";
constexpr int kMagicSize = 6;
constexpr int kHeaderSize = kMagicSize + 8;
// A reply larger than this is no reply of a compositor's.
constexpr std::uint32_t kMaximumPayload = 64u << 20;

const auto member = jsonMember;

double number(const Value* v) { return v && v->isNumber() ? v->asNumber() : 0; }
std::string text(const Value* v) { return v && v->isString() ? v->asString() : std::string(); }

std::optional<ProviderWindow> search(const Value& node) {
    const Value* focused = member(node, "focused");
    const Value* pid = member(node, "pid");
    if (focused && focused->isBool() && focused->asBool() && pid && pid->isNumber()) {
        ProviderWindow w;
        if (const Value* rect = member(node, "rect"))
            w.frame = QRectF(number(member(*rect, "x")), number(member(*rect, "y")), number(member(*rect, "width")),
                             number(member(*rect, "height")));
        w.processID = static_cast<int>(number(pid));
        w.windowClass = text(member(node, "app_id"));
        if (w.windowClass.empty())
            if (const Value* props = member(node, "window_properties")) w.windowClass = text(member(*props, "class"));
        w.title = text(member(node, "name"));
        return w;
    }
    for (const char* children : {"nodes", "floating_nodes"}) {
        const Value* list = member(node, children);
        if (!list || !list->isArray()) continue;
        for (const Value& child : list->asArray())
            if (auto found = search(child)) return found;
    }
    return std::nullopt;
}

// A view is a container with a process: workspaces, outputs and split
// containers have none.
void collectViews(const Value& node, std::vector<ListedWindow>& out, std::optional<ListedWindow>& focused) {
    const Value* pid = member(node, "pid");
    const Value* id = member(node, "id");
    if (pid && pid->isNumber() && id && id->isNumber() && number(id) >= 0) {
        ListedWindow w;
        w.id = static_cast<unsigned long>(number(id));
        w.listedByCompositor = true;
        w.processID = static_cast<int>(number(pid));
        const std::string appID = text(member(node, "app_id"));
        const Value* props = member(node, "window_properties");
        w.instance = appID.empty() && props ? text(member(*props, "instance")) : appID;
        w.className = appID.empty() && props ? text(member(*props, "class")) : appID;
        const Value* isFocused = member(node, "focused");
        if (isFocused && isFocused->isBool() && isFocused->asBool()) focused = std::move(w);
        else out.push_back(std::move(w));
    }
    for (const char* children : {"nodes", "floating_nodes"}) {
        const Value* list = member(node, children);
        if (!list || !list->isArray()) continue;
        for (const Value& child : list->asArray()) collectViews(child, out, focused);
    }
}
}  // namespace

QByteArray encode(std::uint32_t type, const QByteArray& payload) {
    QByteArray out(kMagic, kMagicSize);
    const auto length = static_cast<std::uint32_t>(payload.size());
    out.append(reinterpret_cast<const char*>(&length), 4);
    out.append(reinterpret_cast<const char*>(&type), 4);
    out.append(payload);
    return out;
}

std::optional<Message> take(QByteArray& buffer, bool& bad) {
    bad = false;
    if (buffer.size() < kHeaderSize) {
        const auto n = static_cast<size_t>(std::min<qsizetype>(buffer.size(), kMagicSize));
        bad = std::memcmp(buffer.constData(), kMagic, n) != 0;
        return std::nullopt;
    }
    if (std::memcmp(buffer.constData(), kMagic, kMagicSize) != 0) {
        bad = true;
        return std::nullopt;
    }
    std::uint32_t length = 0, type = 0;
    std::memcpy(&length, buffer.constData() + kMagicSize, 4);
    std::memcpy(&type, buffer.constData() + kMagicSize + 4, 4);
    if (length > kMaximumPayload) {
        bad = true;
        return std::nullopt;
    }
    if (static_cast<std::uint64_t>(buffer.size()) < kHeaderSize + static_cast<std::uint64_t>(length))
        return std::nullopt;
    Message m{type, buffer.mid(kHeaderSize, static_cast<qsizetype>(length))};
    buffer.remove(0, kHeaderSize + static_cast<qsizetype>(length));
    return m;
}

std::optional<ProviderWindow> focusedWindow(const Value& tree) { return search(tree); }

std::vector<ListedWindow> views(const Value& tree) {
    std::vector<ListedWindow> out;
    std::optional<ListedWindow> focused;
    collectViews(tree, out, focused);
    if (focused) out.push_back(std::move(*focused));
    return out;
}

QByteArray focusCommand(const ListedWindow& window) {
    return QByteArray("[con_id=") + QByteArray::number(static_cast<qulonglong>(window.id)) + "] focus";
}

}  // namespace i3ipc

SwayProvider::SwayProvider(std::string socketPath, QObject* parent)
    : DesktopProvider(parent), path_(std::move(socketPath)) {
    connect(&socket_, &QLocalSocket::connected, this, [this] {
        connected_ = true;
        // Told of every focus change and of workspaces that empty; the tree
        // is read once now and again after each such event.
        send(i3ipc::subscribe, R"(["window","workspace"])");
        send(i3ipc::getTree, {});
        treeAsked_ = true;
        Q_EMIT changed();
    });
    connect(&socket_, &QLocalSocket::readyRead, this, &SwayProvider::readMessages);
    auto gone = [this] {
        if (!connected_ && socket_.state() != QLocalSocket::UnconnectedState) return;
        const bool was = connected_;
        connected_ = false;
        focused_.reset();
        views_.clear();
        buffer_.clear();
        if (was) Q_EMIT changed();
        Q_EMIT lost();
    };
    connect(&socket_, &QLocalSocket::disconnected, this, gone);
    connect(&socket_, &QLocalSocket::errorOccurred, this, [this, gone](QLocalSocket::LocalSocketError) {
        if (socket_.state() == QLocalSocket::UnconnectedState) gone();
    });
}

SwayProvider::~SwayProvider() {
    // The socket says it closed as it is destroyed, after the rest of us.
    socket_.disconnect();
}

void SwayProvider::start() {
    if (socket_.state() != QLocalSocket::UnconnectedState) return;
    socket_.connectToServer(QString::fromStdString(path_));
}

void SwayProvider::rebasePointer() {
    if (connected_) send(i3ipc::runCommand, "seat * cursor move 0 0");
}

std::optional<std::vector<ListedWindow>> SwayProvider::windows() const {
    if (!connected_) return std::nullopt;
    return views_;
}

bool SwayProvider::activateWindow(const ListedWindow& window) {
    if (!connected_) return false;
    send(i3ipc::runCommand, i3ipc::focusCommand(window));
    return true;
}

void SwayProvider::send(std::uint32_t type, const QByteArray& payload) {
    socket_.write(i3ipc::encode(type, payload));
    // Out now: a buffered write costs the event loop two more turns, ten
    // times a second while fish swim.
    socket_.flush();
}

void SwayProvider::readMessages() {
    buffer_.append(socket_.readAll());
    bool bad = false;
    while (auto message = i3ipc::take(buffer_, bad)) {
        if (message->type & i3ipc::eventBit) {
            // Something moved the focus: read the tree again (one question
            // at a time; the answer holds every change before it).
            if (!treeAsked_) {
                send(i3ipc::getTree, {});
                treeAsked_ = true;
            }
            continue;
        }
        if (message->type != i3ipc::getTree) continue;
        treeAsked_ = false;
        if (auto tree = parseJson(message->payload.toStdString())) {
            focused_ = i3ipc::focusedWindow(*tree);
            views_ = i3ipc::views(*tree);
        } else {
            focused_.reset();
            views_.clear();
        }
    }
    if (bad) socket_.abort();
}

}  // namespace orvella::desktop
