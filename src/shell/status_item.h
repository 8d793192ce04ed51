#pragma once
// The tray item and its menu: three switches, the settings window, quit.

#include <QAction>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <functional>
#include <optional>

#include "orvella/platform/displays.h"

namespace orvella {
class OrvellaController;
}

namespace orvella::shell {

class StatusItem : public QObject {
    Q_OBJECT
public:
    StatusItem(OrvellaController& controller, std::function<void()> showSettings, QObject* parent = nullptr);

    // Whether a tray host is there to show the item.
    static bool isTrayAvailable();
    // The display the item is shown on, when the host says where it is.
    std::optional<DisplayInfo> screen() const;
    // The check marks follow the settings.
    void refresh();
    QMenu& menu() { return menu_; }
    QSystemTrayIcon& trayIcon() { return tray_; }

private:
    void toggleStillWaterMode();
    void toggleUnreadBadgeMonitoring();
    void toggleWindowAvoidance();

    OrvellaController& controller_;
    std::function<void()> showSettings_;
    QSystemTrayIcon tray_;
    QMenu menu_;
    QAction* stillWaterItem_ = nullptr;
    QAction* unreadBadgeItem_ = nullptr;
    QAction* attractItem_ = nullptr;
    QAction* disperseItem_ = nullptr;
    QAction* windowAvoidanceItem_ = nullptr;
};

}  // namespace orvella::shell
