#pragma once
// The settings panel's view of the controller: its observable state as Qt
// properties and its operations as invokable methods. The panel (QML) only
// shows what this says and calls back; every rule stays in the tank.

#include <QImage>
#include <QMutex>
#include <QObject>
#include <QQuickImageProvider>
#include <QSizeF>
#include <QStringList>
#include <QVariantList>
#include <functional>
#include <map>

namespace orvella {
class OrvellaController;
}

namespace orvella::shell {

// Application icons for the grid, by catalogue path:
// "image://orvella-icon/<percent-encoded path>".
class AppIconProvider : public QQuickImageProvider {
public:
    AppIconProvider() : QQuickImageProvider(QQuickImageProvider::Image) {}
    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;
    void setIcons(std::map<QString, QImage> icons);

private:
    QMutex mutex_;
    std::map<QString, QImage> icons_;
};

class PanelAdapter : public QObject {
    Q_OBJECT
    Q_PROPERTY(QVariantList apps READ apps NOTIFY appsChanged)
    Q_PROPERTY(int appCount READ appCount NOTIFY appsChanged)
    Q_PROPERTY(double iconOpacity READ iconOpacity WRITE setIconOpacity NOTIFY settingsChanged)
    Q_PROPERTY(double transparency READ transparency WRITE setTransparency NOTIFY settingsChanged)
    Q_PROPERTY(QString opacityLabel READ opacityLabel NOTIFY settingsChanged)
    Q_PROPERTY(double swimSpeed READ swimSpeed WRITE setSwimSpeed NOTIFY settingsChanged)
    Q_PROPERTY(QString speedLabel READ speedLabel NOTIFY settingsChanged)
    Q_PROPERTY(int fishOpenModifier READ fishOpenModifier WRITE setFishOpenModifier NOTIFY settingsChanged)
    Q_PROPERTY(int attractionModifier READ attractionModifier WRITE setAttractionModifier NOTIFY settingsChanged)
    Q_PROPERTY(int dispersalModifier READ dispersalModifier WRITE setDispersalModifier NOTIFY settingsChanged)
    Q_PROPERTY(QStringList openModifierLabels READ openModifierLabels CONSTANT)
    Q_PROPERTY(QStringList gestureLabels READ gestureLabels CONSTANT)
    Q_PROPERTY(bool hasScreenGestureConflict READ hasScreenGestureConflict NOTIFY settingsChanged)
    // What this desktop withholds from a row, and what would bring it; empty
    // where nothing is missing.
    Q_PROPERTY(QString windowAvoidanceNote READ windowAvoidanceNote NOTIFY settingsChanged)
    Q_PROPERTY(QString screenGestureNote READ screenGestureNote NOTIFY settingsChanged)
    Q_PROPERTY(bool stillWaterModeEnabled READ stillWaterModeEnabled WRITE setStillWaterModeEnabled NOTIFY settingsChanged)
    Q_PROPERTY(bool unreadBadgeMonitoringEnabled READ unreadBadgeMonitoringEnabled WRITE
                   setUnreadBadgeMonitoringEnabled NOTIFY settingsChanged)
    Q_PROPERTY(bool windowAvoidanceEnabled READ windowAvoidanceEnabled WRITE setWindowAvoidanceEnabled NOTIFY
                   settingsChanged)
    Q_PROPERTY(bool hasUnreadBadgeAccessibilityPermission READ hasUnreadBadgeAccessibilityPermission NOTIFY
                   settingsChanged)
    Q_PROPERTY(bool hasWindowAvoidanceAccessibilityPermission READ hasWindowAvoidanceAccessibilityPermission NOTIFY
                   settingsChanged)
    Q_PROPERTY(QString versionText READ versionText CONSTANT)
    // The panel's fixed sizes (width, grid, pickers), as the tank states them.
    Q_PROPERTY(QVariantMap metrics READ metrics CONSTANT)
    Q_PROPERTY(QStringList tabLabels READ tabLabels CONSTANT)
    Q_PROPERTY(int selectedTab READ selectedTab WRITE setSelectedTab NOTIFY selectedTabChanged)
    Q_PROPERTY(double panelHeight READ panelHeight NOTIFY panelSizeChanged)
    Q_PROPERTY(double scrollAreaHeight READ scrollAreaHeight NOTIFY panelSizeChanged)

public:
    struct Actions {
        std::function<void()> add;
        std::function<void()> close;
        std::function<void(QSizeF)> resize;
    };
    PanelAdapter(OrvellaController& controller, Actions actions, AppIconProvider* icons, QObject* parent = nullptr);
    ~PanelAdapter() override;
    // Stops following the controller and drops the actions: the window is
    // closing, and its deletion may come after the controller is gone.
    void detach();

    QVariantList apps() const { return apps_; }
    int appCount() const { return static_cast<int>(apps_.size()); }
    double iconOpacity() const;
    void setIconOpacity(double value);
    // What the opacity slider shows: 1 - opacity.
    double transparency() const { return 1 - iconOpacity(); }
    void setTransparency(double value) { setIconOpacity(1 - value); }
    QString opacityLabel() const;
    double swimSpeed() const;
    void setSwimSpeed(double value);
    QString speedLabel() const;
    int fishOpenModifier() const;
    void setFishOpenModifier(int index);
    int attractionModifier() const;
    void setAttractionModifier(int index);
    int dispersalModifier() const;
    void setDispersalModifier(int index);
    QStringList openModifierLabels() const;
    QStringList gestureLabels() const;
    bool hasScreenGestureConflict() const;
    QString windowAvoidanceNote() const;
    QString screenGestureNote() const;
    bool stillWaterModeEnabled() const;
    void setStillWaterModeEnabled(bool on);
    bool unreadBadgeMonitoringEnabled() const;
    void setUnreadBadgeMonitoringEnabled(bool on);
    bool windowAvoidanceEnabled() const;
    void setWindowAvoidanceEnabled(bool on);
    bool hasUnreadBadgeAccessibilityPermission() const;
    bool hasWindowAvoidanceAccessibilityPermission() const;
    QString versionText() const;
    QVariantMap metrics() const;
    QStringList tabLabels() const;
    int selectedTab() const { return selectedTab_; }
    void setSelectedTab(int tab);
    double panelHeight() const;
    double scrollAreaHeight() const;

    Q_INVOKABLE void add();
    Q_INVOKABLE void close();
    Q_INVOKABLE void removeApplication(const QString& path);
    Q_INVOKABLE void resetFishSizes();
    Q_INVOKABLE void requestUnreadBadgePermission();
    Q_INVOKABLE void requestWindowAvoidancePermission();
    Q_INVOKABLE void refreshUnreadBadgePermission();
    Q_INVOKABLE void refreshWindowAvoidancePermission();
    // Hands (404, the tab's panel height) to the window, on the next turn
    // of the event loop.
    Q_INVOKABLE void reportPanelSize();

Q_SIGNALS:
    void appsChanged();
    void settingsChanged();
    void selectedTabChanged();
    void panelSizeChanged();

private:
    void refresh();
    OrvellaController& controller_;
    Actions actions_;
    AppIconProvider* icons_;
    int observer_ = 0;
    QVariantList apps_;
    bool conflict_ = false;
    int selectedTab_ = 0;
};

}  // namespace orvella::shell
