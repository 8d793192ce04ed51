#include "desktop/providers/session_awareness.h"

#include <cstdlib>
#include <cstring>

#include "desktop/coordinates.h"
#include "desktop/providers/gnome_shell.h"
#include "desktop/providers/hyprland.h"
#include "desktop/providers/kwin.h"
#include "desktop/providers/sway.h"

namespace orvella::desktop {

namespace {
std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}
// How long after a provider went away it is looked for again.
constexpr int kRetryMilliseconds = 2000;
}  // namespace

SessionAwareness::Session SessionAwareness::fromEnvironment() {
    Session s;
    s.wayland = !environment("WAYLAND_DISPLAY").empty() || environment("XDG_SESSION_TYPE") == "wayland";
    s.swaySocket = environment("SWAYSOCK");
    s.hyprlandSignature = environment("HYPRLAND_INSTANCE_SIGNATURE");
    return s;
}

SessionAwareness::SessionAwareness(Session session) : session_(std::move(session)) {
    retry_.setSingleShot(true);
    retry_.setInterval(kRetryMilliseconds);
    connect(&retry_, &QTimer::timeout, this, [this] { choose(); });
    if (session_.wayland) choose();
}

SessionAwareness::~SessionAwareness() {
    if (provider_) provider_->disconnect(this);
}

void SessionAwareness::choose() {
    std::unique_ptr<DesktopProvider> chosen;
    if (!session_.swaySocket.empty()) {
        chosen = std::make_unique<SwayProvider>(session_.swaySocket);
    } else if (!session_.hyprlandSignature.empty()) {
        const std::string folder = hyprland::socketFolder(session_.hyprlandSignature);
        if (!folder.empty()) chosen = std::make_unique<HyprlandProvider>(folder);
    } else if (GnomeShellProvider::isAvailable()) {
        chosen = std::make_unique<GnomeShellProvider>();
    } else if (KWinProvider::isAvailable()) {
        chosen = std::make_unique<KWinProvider>();
    }
    if (provider_) {
        provider_->disconnect(this);
        provider_.release()->deleteLater();  // it may be the one calling
    }
    if (!chosen) {
        notify();
        return;
    }
    provider_ = std::move(chosen);
    connect(provider_.get(), &DesktopProvider::changed, this, [this] { notify(); });
    connect(provider_.get(), &DesktopProvider::lost, this, [this] {
        notify();
        // The compositor may be restarting its end (a reloaded config):
        // look again in a while, and keep doing so.
        retry_.start();
    });
    connect(provider_.get(), &DesktopProvider::pointerMoved, this, [this](QPointF at) {
        if (onPointerMoved) onPointerMoved(at);
    });
    connect(provider_.get(), &DesktopProvider::pressed, this, [this](QPointF at, Modifiers m) {
        if (onPressed) onPressed(at, m);
    });
    provider_->start();
    notify();
}

DesktopAbilities SessionAwareness::abilities() const {
    if (!session_.wayland) return {true, true, true};
    return provider_ ? provider_->abilities() : DesktopAbilities{};
}

std::string SessionAwareness::providerName() const {
    if (!session_.wayland) return "x11";
    return provider_ ? provider_->name() : "none";
}

DesktopRemedy SessionAwareness::remedy() const { return provider_ ? provider_->remedy() : DesktopRemedy::none; }

std::string SessionAwareness::shellVersion() const { return provider_ ? provider_->shellVersion() : std::string(); }

int SessionAwareness::addChangeObserver(std::function<void()> observer) { return observers_.add(std::move(observer)); }

void SessionAwareness::notify() {
    observers_.deliver();
}

std::optional<QPointF> SessionAwareness::providerPointer() const {
    if (!provider_ || !provider_->abilities().pointer) return std::nullopt;
    return provider_->pointer();
}

std::optional<ProviderWindow> SessionAwareness::providerWindow() const {
    if (!provider_ || !provider_->abilities().focusedWindow) return std::nullopt;
    return provider_->focusedWindow();
}

std::optional<FrontWindowInfo> SessionAwareness::providerFrontWindow() const {
    const auto window = providerWindow();
    if (!window) return std::nullopt;
    const QRectF primary = primaryGeometry();
    FrontWindowInfo info;
    info.processID = window->processID;
    info.bundleIdentifier = window->windowClass;
    info.title = window->title;
    info.topLeftPosition = {window->frame.x() - primary.x(), window->frame.y() - primary.y()};
    info.size = {window->frame.width(), window->frame.height()};
    return info;
}

}  // namespace orvella::desktop
