#include "shell/status_item.h"

#include <QApplication>
#include <QFont>
#include <QPainter>
#include <QPixmap>

#include "desktop/coordinates.h"
#include "orvella/controller/orvella_controller.h"

namespace orvella::shell {

namespace {

// The shipped waves; where they cannot be drawn, a fish in text.
QIcon wavesIcon() {
    QIcon waves(":/orvella/icons/water-waves.svg");
    if (!waves.pixmap(22, 22).isNull()) return waves;
    QPixmap pixmap(44, 44);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QFont font = painter.font();
    font.setPixelSize(34);
    painter.setFont(font);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, QString::fromUtf8("🐟"));
    return QIcon(pixmap);
}

}  // namespace

StatusItem::StatusItem(OrvellaController& controller, std::function<void()> showSettings, QObject* parent)
    : QObject(parent), controller_(controller), showSettings_(std::move(showSettings)) {
    tray_.setIcon(wavesIcon());
    tray_.setToolTip("Orvella");

    auto checkable = [this](const char* title, void (StatusItem::*toggle)()) {
        QAction* action = menu_.addAction(QString::fromUtf8(title));
        action->setCheckable(true);
        connect(action, &QAction::triggered, this, [this, toggle] { (this->*toggle)(); });
        return action;
    };
    stillWaterItem_ = checkable("静水模式", &StatusItem::toggleStillWaterMode);
    unreadBadgeItem_ = checkable("消息感应", &StatusItem::toggleUnreadBadgeMonitoring);
    windowAvoidanceItem_ = checkable("窗口避让", &StatusItem::toggleWindowAvoidance);
    // Where no desktop click reaches Orvella, the school is called and
    // scattered from here.
    attractItem_ = menu_.addAction(QString::fromUtf8("召唤鱼群"));
    connect(attractItem_, &QAction::triggered, this, [this] { controller_.attractSchool(); });
    disperseItem_ = menu_.addAction(QString::fromUtf8("驱散鱼群"));
    connect(disperseItem_, &QAction::triggered, this, [this] { controller_.disperseSchool(); });
    menu_.addSeparator();
    connect(menu_.addAction(QString::fromUtf8("设置")), &QAction::triggered, this, [this] {
        if (showSettings_) showSettings_();
    });
    menu_.addSeparator();
    connect(menu_.addAction(QString::fromUtf8("退出")), &QAction::triggered, qApp, &QCoreApplication::quit,
            Qt::QueuedConnection);
    // Changes made in the panel show the next time the menu opens.
    connect(&menu_, &QMenu::aboutToShow, this, &StatusItem::refresh);
    tray_.setContextMenu(&menu_);
    // A left click opens the menu too, as a status item's does.
    connect(&tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) menu_.popup(QCursor::pos());
    });
    refresh();
    tray_.show();
}

bool StatusItem::isTrayAvailable() { return QSystemTrayIcon::isSystemTrayAvailable(); }

std::optional<DisplayInfo> StatusItem::screen() const {
    const QRect where = tray_.geometry();
    if (!where.isValid() || where.isEmpty()) return std::nullopt;
    const Point centre = desktop::toDesktop(QPointF(where.center()));
    for (const auto& screen : controller_.platform().displays.screens())
        if (screen.frame.contains(centre)) return screen;
    return std::nullopt;
}

void StatusItem::refresh() {
    stillWaterItem_->setChecked(controller_.stillWaterModeEnabled());
    unreadBadgeItem_->setChecked(controller_.unreadBadgeMonitoringEnabled());
    windowAvoidanceItem_->setChecked(controller_.windowAvoidanceEnabled());
    const bool noClicks = !controller_.desktopAbilities().desktopPresses;
    attractItem_->setVisible(noClicks);
    disperseItem_->setVisible(noClicks);
}

void StatusItem::toggleStillWaterMode() {
    controller_.setStillWaterModeEnabled(!controller_.stillWaterModeEnabled());
    refresh();
}

void StatusItem::toggleUnreadBadgeMonitoring() {
    controller_.setUnreadBadgeMonitoringEnabled(!controller_.unreadBadgeMonitoringEnabled());
    refresh();
}

void StatusItem::toggleWindowAvoidance() {
    controller_.setWindowAvoidanceEnabled(!controller_.windowAvoidanceEnabled());
    refresh();
}

}  // namespace orvella::shell
