#include "shell/settings_window.h"

#include <QGuiApplication>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QScreen>
#include <QVariantAnimation>

#include "desktop/coordinates.h"
#include "orvella/controller/orvella_controller.h"
#include "orvella/panel/settings_panel.h"
#include "shell/panel_adapter.h"
#include "x11/connection.h"

namespace orvella::shell {

using desktop::toDesktop;
using desktop::toScreen;

SettingsWindow::SettingsWindow(OrvellaController& controller, std::function<std::optional<DisplayInfo>()> trayScreen,
                               std::function<void()> add, QObject* parent)
    : QObject(parent), controller_(controller), trayScreen_(std::move(trayScreen)), add_(std::move(add)) {}

SettingsWindow::~SettingsWindow() {
    if (animation_) animation_->stop();
    if (adapter_) adapter_->detach();
    view_.reset();
}

std::optional<DisplayInfo> SettingsWindow::preferredScreen() const {
    auto& platform = controller_.platform();
    return preferredSettingsScreen(trayScreen_ ? trayScreen_() : std::nullopt, platform.mouse.mouseLocation(),
                                   platform.displays.screens(), platform.displays.mainScreen());
}

std::optional<DisplayInfo> SettingsWindow::windowScreen() const {
    if (!view_ || !view_->screen()) return std::nullopt;
    const Rect frame = toDesktop(QRectF(view_->screen()->geometry()));
    for (const auto& screen : controller_.platform().displays.screens())
        if (screen.frame == frame) return screen;
    return std::nullopt;
}

void SettingsWindow::show() {
    const auto screen = preferredScreen();
    if (view_) {
        view_->show();
        view_->raise();
        view_->requestActivate();
        center(screen);
        return;
    }
    view_ = std::make_unique<QQuickView>();
    auto* view = view_.get();
    view->setTitle("Orvella Settings");
    view->setFlags(Qt::Window | Qt::FramelessWindowHint);
    view->setColor(Qt::transparent);
    view->setResizeMode(QQuickView::SizeRootObjectToView);
    icons_ = new AppIconProvider;
    view->engine()->addImageProvider("orvella-icon", icons_);  // the engine owns it
    PanelAdapter::Actions actions;
    actions.add = [this] {
        if (add_) add_();
    };
    actions.close = [this] { QMetaObject::invokeMethod(this, &SettingsWindow::close, Qt::QueuedConnection); };
    actions.resize = [this](QSizeF size) { resize(size); };
    adapter_ = new PanelAdapter(controller_, std::move(actions), icons_, view);
    view->setInitialProperties({{"adapter", QVariant::fromValue<QObject*>(adapter_)}});
    view->setSource(QUrl("qrc:/orvella/qml/SettingsPanel.qml"));
    view->installEventFilter(this);
    view->resize(static_cast<int>(SettingsPanelMetrics::width), static_cast<int>(SettingsPanelMetrics::initialHeight));
    view->create();
    requestBlurBehind();
    center(screen);
    view->show();
    view->raise();
    view->requestActivate();
    // The panel shrinks the window to its first tab right after it appears.
    adapter_->reportPanelSize();
    Q_EMIT opened();
}

void SettingsWindow::close() {
    if (!view_) return;
    if (animation_) animation_->stop();
    // The next window starts afresh on the first tab.
    auto view = std::move(view_);
    adapter_->detach();
    adapter_ = nullptr;
    icons_ = nullptr;
    view->removeEventFilter(this);
    view->hide();
    view.release()->deleteLater();
    Q_EMIT closed();
}

bool SettingsWindow::eventFilter(QObject* watched, QEvent* event) {
    if (view_ && watched == view_.get() && event->type() == QEvent::Close) {
        QMetaObject::invokeMethod(this, &SettingsWindow::close, Qt::QueuedConnection);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void SettingsWindow::center(const std::optional<DisplayInfo>& screen) {
    if (!view_) return;
    const QRect current = view_->geometry();
    const auto frame = centeredSettingsWindowFrame(
        {static_cast<double>(current.width()), static_cast<double>(current.height())},
        screen ? std::optional<Rect>(screen->visibleFrame) : std::nullopt);
    if (!frame) {
        // No display known: the window system's own centring.
        if (QScreen* primary = QGuiApplication::primaryScreen()) {
            QRect r = current;
            r.moveCenter(primary->availableGeometry().center());
            setFrame(r, false);
        }
        return;
    }
    setFrame(toScreen(*frame).toRect(), false);
}

void SettingsWindow::resize(QSizeF size) {
    if (!view_) return;
    const Rect current = toDesktop(QRectF(animation_ ? animation_->endValue().toRect() : view_->geometry()));
    auto screen = windowScreen();
    if (!screen) screen = preferredScreen();
    const auto frame = resizedSettingsWindowFrame(current, {size.width(), size.height()},
                                                  screen ? std::optional<Rect>(screen->visibleFrame) : std::nullopt);
    if (!frame) return;
    setFrame(toScreen(*frame).toRect(), true);
}

void SettingsWindow::place(const QRect& frame) {
    // A window whose size cannot change (minimum = maximum) is one tiling
    // window managers float instead of tiling it; the panel alone changes
    // it, through here.
    view_->setMinimumSize(QSize(0, 0));
    constexpr int unbounded = (1 << 24) - 1;  // Qt's largest window size
    view_->setMaximumSize(QSize(unbounded, unbounded));
    view_->setGeometry(frame);
    view_->setMinimumSize(frame.size());
    view_->setMaximumSize(frame.size());
}

void SettingsWindow::setFrame(const QRect& frame, bool animate) {
    if (animation_) animation_->stop();
    if (!animate || !view_->isVisible()) {
        place(frame);
        return;
    }
    auto* animation = new QVariantAnimation(this);
    animation->setStartValue(view_->geometry());
    animation->setEndValue(frame);
    animation->setDuration(180);
    animation->setEasingCurve(QEasingCurve::OutCubic);
    connect(animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        if (view_) place(v.toRect());
    });
    animation_ = animation;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void SettingsWindow::requestBlurBehind() {
    // Compositors that blur what lies behind a window read it from X11.
    if (view_) x11::requestBlurBehind(view_.get());
}

}  // namespace orvella::shell
