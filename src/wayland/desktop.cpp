#include "wayland/desktop.h"

#include <linux/input-event-codes.h>

#include "wayland/toplevels.h"

namespace orvella::wayland {

std::vector<desktop::ListedWindow> WaylandWindowList::windows() {
    ForeignToplevels* list = connection_.toplevels();
    if (!list || !list->refresh()) return {};
    return list->windows();
}

std::optional<desktop::ListedWindow> WaylandWindowList::active() {
    // Asked by the motion step's front-window reading: no round trip to the
    // compositor there. What came since the last read is enough, as the
    // list is read with every tick.
    ForeignToplevels* list = connection_.toplevels();
    if (!list || !list->dispatchPending()) return std::nullopt;
    return list->active();
}

bool WaylandWindowList::activate(const desktop::ListedWindow& window) {
    ForeignToplevels* list = connection_.toplevels();
    return list && list->activate(window.id, connection_.seat());
}

std::unique_ptr<WaylandDesktop> WaylandDesktop::open(std::filesystem::path defaultsFile) {
    auto connection = WaylandConnection::open();
    if (!connection) return nullptr;
    return std::unique_ptr<WaylandDesktop>(new WaylandDesktop(std::move(connection), std::move(defaultsFile)));
}

WaylandDesktop::WaylandDesktop(std::unique_ptr<WaylandConnection> connection, std::filesystem::path defaultsFile)
    : connection_(std::move(connection)),
      displays_(*connection_),
      surfaces_(*connection_),
      windows_(*connection_),
      services_(std::move(defaultsFile), &windows_),
      platform_(services_.platformWith(displays_, surfaces_, mouse_, accessibility_)) {
    connection_->onOutputRemoved = [this](Output* output) { surfaces_.outputRemoved(output); };
    connection_->onOutputsChanged = [this] {
        for (WaylandSurface* s : surfaces_.surfaces()) s->outputsChanged();
        displays_.changed();
    };
    surfaces_.onPointer = [this](const PointerEvent& event, Point global) {
        if (event.type == PointerEvent::Type::press && event.button == BTN_LEFT)
            mouse_.localPress(global);
        else if (event.type == PointerEvent::Type::motion || event.type == PointerEvent::Type::enter)
            mouse_.localMove(global);
        else if (event.type == PointerEvent::Type::leave)
            mouse_.localLeave();
    };
    // What a motion step moves and redraws goes out together at its end.
    services_.scheduler.setTickHooks(
        [this] {
            surfaces_.beginBatch();
            // What came since the last tick is handled with this one.
            connection_->readArrived();
        },
        [this] {
            surfaces_.endBatch();
            rebaseIfMoved();
            tickEnded();
        });
    // Ticks have stopped: nothing would read what the compositor sends.
    readingAgain_.setSingleShot(true);
    readingAgain_.setInterval(100);
    QObject::connect(&readingAgain_, &QTimer::timeout, &readingAgain_, [this] { connection_->setReadOnArrival(true); });
}

void WaylandDesktop::tickEnded() {
    // While fish swim, the compositor answers each tick's commit at once,
    // mostly with buffers it has done with; read on arrival, each answer
    // would wake the process a second time a tick. So it waits for the next
    // tick (or 100 ms, should ticks be slower or stop), unless the pointer
    // is over a surface of ours (a press is answered at once) or a frame is
    // awaited.
    const bool quiet = !connection_->pointerOnUs() && !surfaces_.awaitingFrames();
    connection_->setReadOnArrival(!quiet);
    if (quiet)
        readingAgain_.start();
    else
        readingAgain_.stop();
}

QStringList WaylandDesktop::surfaceList() const {
    QStringList out;
    for (const WaylandSurface* s : surfaces_.surfaces()) {
        if (!s->isVisible() || !s->isOnScreen()) continue;
        const QRect r = s->placed();
        out << QString("%1|%2|%3|%4|%5|%6")
                   .arg(QString::fromStdString(s->title()))
                   .arg(r.x())
                   .arg(r.y())
                   .arg(r.width())
                   .arg(r.height())
                   .arg(s->bufferWidth());
    }
    out.sort();
    return out;
}

void WaylandDesktop::rebaseIfMoved() {
    // Some compositors find what is under a resting pointer only when it
    // moves; asked at most ten times a second while fish swim.
    constexpr auto interval = std::chrono::milliseconds(100);
    const auto now = std::chrono::steady_clock::now();
    if (now - lastRebase_ < interval || !surfaces_.takeMoved()) return;
    lastRebase_ = now;
    if (auto* provider = services_.awareness.provider()) provider->rebasePointer();
}

WaylandDesktop::~WaylandDesktop() {
    connection_->onOutputsChanged = nullptr;
    connection_->onOutputRemoved = nullptr;
    surfaces_.onPointer = nullptr;
}

}  // namespace orvella::wayland
