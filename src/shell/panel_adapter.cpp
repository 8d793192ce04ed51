#include "shell/panel_adapter.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QUrl>
#include <algorithm>

#include "render/canvas.h"
#include "orvella/controller/orvella_controller.h"
#include "orvella/panel/settings_panel.h"

namespace orvella::shell {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

template <typename E, size_t N>
int indexOf(const std::array<E, N>& all, E value) {
    return static_cast<int>(std::find(all.begin(), all.end(), value) - all.begin());
}

SettingsTab tabAt(int index) {
    return allSettingsTabs[std::clamp(index, 0, static_cast<int>(std::size(allSettingsTabs)) - 1)];
}

}  // namespace

QImage AppIconProvider::requestImage(const QString& id, QSize* size, const QSize& requestedSize) {
    QImage image;
    {
        QMutexLocker lock(&mutex_);
        auto it = icons_.find(QUrl::fromPercentEncoding(id.toUtf8()));
        if (it != icons_.end()) image = it->second;
    }
    if (!image.isNull() && requestedSize.isValid())
        image = image.scaled(requestedSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (size) *size = image.size();
    return image;
}

void AppIconProvider::setIcons(std::map<QString, QImage> icons) {
    QMutexLocker lock(&mutex_);
    icons_ = std::move(icons);
}

PanelAdapter::PanelAdapter(OrvellaController& controller, Actions actions, AppIconProvider* icons, QObject* parent)
    : QObject(parent), controller_(controller), actions_(std::move(actions)), icons_(icons) {
    refresh();
    observer_ = controller_.observeChanges([this] { refresh(); });
}

PanelAdapter::~PanelAdapter() { detach(); }

void PanelAdapter::detach() {
    if (observer_) controller_.unobserveChanges(observer_);
    observer_ = 0;
    actions_ = {};
}

void PanelAdapter::refresh() {
    QVariantList apps;
    std::map<QString, QImage> images;
    for (const auto& app : controller_.apps.get()) {
        const int count = controller_.unreadBadgeCount(app);
        QVariantMap tile;
        tile["name"] = q(app.name);
        tile["path"] = q(app.url);
        tile["icon"] = "image://orvella-icon/" + QString::fromUtf8(QUrl::toPercentEncoding(q(app.url)));
        tile["unread"] = count;
        tile["unreadLabel"] = q(unreadPillLabel(count));
        tile["unreadPadding"] = unreadPillPadding(count);
        apps.push_back(tile);
        if (const auto* image = dynamic_cast<const render::QtImage*>(app.icon.get()))
            images.emplace(q(app.url), image->image());
    }
    // Only a real change rebuilds the tiles: hovering survives readings.
    if (apps != apps_) {
        if (icons_) icons_->setIcons(std::move(images));
        apps_ = std::move(apps);
        Q_EMIT appsChanged();
    }
    Q_EMIT settingsChanged();
    const bool conflict = controller_.hasScreenGestureConflict();
    if (conflict != conflict_) {
        conflict_ = conflict;
        Q_EMIT panelSizeChanged();
        reportPanelSize();
    }
}

double PanelAdapter::iconOpacity() const { return controller_.iconOpacity(); }
void PanelAdapter::setIconOpacity(double value) { controller_.setIconOpacity(value); }
QString PanelAdapter::opacityLabel() const { return q(orvella::opacityValueLabel(controller_.iconOpacity())); }
double PanelAdapter::swimSpeed() const { return controller_.swimSpeed(); }
void PanelAdapter::setSwimSpeed(double value) { controller_.setSwimSpeed(value); }
QString PanelAdapter::speedLabel() const { return q(orvella::speedValueLabel(controller_.swimSpeed())); }

int PanelAdapter::fishOpenModifier() const { return indexOf(allFishOpenModifiers, controller_.fishOpenModifier()); }
void PanelAdapter::setFishOpenModifier(int index) {
    if (index < 0 || index >= static_cast<int>(allFishOpenModifiers.size())) return;
    controller_.setFishOpenModifier(allFishOpenModifiers[static_cast<size_t>(index)]);
}
int PanelAdapter::attractionModifier() const {
    return indexOf(allFishScreenGestures, controller_.attractionModifier());
}
void PanelAdapter::setAttractionModifier(int index) {
    if (index < 0 || index >= static_cast<int>(allFishScreenGestures.size())) return;
    controller_.setAttractionModifier(allFishScreenGestures[static_cast<size_t>(index)]);
}
int PanelAdapter::dispersalModifier() const { return indexOf(allFishScreenGestures, controller_.dispersalModifier()); }
void PanelAdapter::setDispersalModifier(int index) {
    if (index < 0 || index >= static_cast<int>(allFishScreenGestures.size())) return;
    controller_.setDispersalModifier(allFishScreenGestures[static_cast<size_t>(index)]);
}

QStringList PanelAdapter::openModifierLabels() const {
    QStringList out;
    for (auto m : allFishOpenModifiers) out << q(label(m));
    return out;
}

QStringList PanelAdapter::gestureLabels() const {
    QStringList out;
    for (auto g : allFishScreenGestures) out << q(label(g));
    return out;
}

bool PanelAdapter::hasScreenGestureConflict() const { return controller_.hasScreenGestureConflict(); }

QString PanelAdapter::windowAvoidanceNote() const {
    return q(orvella::windowAvoidanceNote(controller_.desktopAbilities(), controller_.desktopRemedy(),
                                          controller_.desktopShellVersion())
                 .value_or(""));
}

QString PanelAdapter::screenGestureNote() const {
    return q(orvella::screenGestureNote(controller_.desktopAbilities(), controller_.desktopRemedy(),
                                        controller_.desktopShellVersion())
                 .value_or(""));
}
bool PanelAdapter::stillWaterModeEnabled() const { return controller_.stillWaterModeEnabled(); }
void PanelAdapter::setStillWaterModeEnabled(bool on) { controller_.setStillWaterModeEnabled(on); }
bool PanelAdapter::unreadBadgeMonitoringEnabled() const { return controller_.unreadBadgeMonitoringEnabled(); }
void PanelAdapter::setUnreadBadgeMonitoringEnabled(bool on) { controller_.setUnreadBadgeMonitoringEnabled(on); }
bool PanelAdapter::windowAvoidanceEnabled() const { return controller_.windowAvoidanceEnabled(); }
void PanelAdapter::setWindowAvoidanceEnabled(bool on) { controller_.setWindowAvoidanceEnabled(on); }
bool PanelAdapter::hasUnreadBadgeAccessibilityPermission() const {
    return controller_.hasUnreadBadgeAccessibilityPermission.get();
}
bool PanelAdapter::hasWindowAvoidanceAccessibilityPermission() const {
    return controller_.hasWindowAvoidanceAccessibilityPermission.get();
}

QString PanelAdapter::versionText() const {
    const QString version = QCoreApplication::applicationVersion();
    const QVariant build = QCoreApplication::instance() ? QCoreApplication::instance()->property("buildNumber")
                                                        : QVariant();
    std::optional<std::string> s, b;
    if (!version.isEmpty()) s = version.toStdString();
    if (build.isValid() && !build.toString().isEmpty()) b = build.toString().toStdString();
    return q(appVersionDisplay(s, b));
}

QVariantMap PanelAdapter::metrics() const {
    using M = SettingsPanelMetrics;
    return {{"width", M::width},
            {"gridColumns", M::gridColumns},
            {"gridColumnWidth", M::gridColumnWidth},
            {"gridSpacing", M::gridSpacing},
            {"gridPadding", M::gridPadding},
            {"gridMaximumHeight", M::gridMaximumHeight},
            {"gridScrollIndicatorThreshold", M::gridScrollIndicatorThreshold},
            {"shortcutPickerWidth", M::shortcutPickerWidth},
            {"tabChangeDuration", M::tabChangeDuration * 1000}};
}

QStringList PanelAdapter::tabLabels() const {
    QStringList out;
    for (auto tab : allSettingsTabs) out << q(label(tab));
    return out;
}

void PanelAdapter::setSelectedTab(int tab) {
    tab = std::clamp(tab, 0, static_cast<int>(std::size(allSettingsTabs)) - 1);
    if (tab == selectedTab_) return;
    selectedTab_ = tab;
    Q_EMIT selectedTabChanged();
    Q_EMIT panelSizeChanged();
    reportPanelSize();
}

double PanelAdapter::panelHeight() const {
    return orvella::panelHeight(tabAt(selectedTab_), controller_.hasScreenGestureConflict());
}

double PanelAdapter::scrollAreaHeight() const {
    return orvella::scrollAreaHeight(tabAt(selectedTab_), controller_.hasScreenGestureConflict());
}

void PanelAdapter::add() {
    if (actions_.add) actions_.add();
}

void PanelAdapter::close() {
    if (actions_.close) actions_.close();
}

void PanelAdapter::removeApplication(const QString& path) {
    const auto list = controller_.apps.get();
    auto it = std::find_if(list.begin(), list.end(), [&](const auto& app) { return q(app.url) == path; });
    if (it != list.end()) controller_.removeApplication(*it);
}

void PanelAdapter::resetFishSizes() { controller_.resetFishSizes(); }
void PanelAdapter::requestUnreadBadgePermission() { controller_.requestUnreadBadgeAccessibilityPermission(); }
void PanelAdapter::requestWindowAvoidancePermission() {
    controller_.requestWindowAvoidanceAccessibilityPermission();
}

void PanelAdapter::refreshUnreadBadgePermission() {
    const bool trusted = controller_.platform().accessibility.isProcessTrusted();
    controller_.hasUnreadBadgeAccessibilityPermission.set(trusted);
    controller_.hasWindowAvoidanceAccessibilityPermission.set(trusted);
    controller_.configureUnreadBadgeMonitor();
}

void PanelAdapter::refreshWindowAvoidancePermission() {
    const bool trusted = controller_.platform().accessibility.isProcessTrusted();
    controller_.hasWindowAvoidanceAccessibilityPermission.set(trusted);
    controller_.hasUnreadBadgeAccessibilityPermission.set(trusted);
}

void PanelAdapter::reportPanelSize() {
    const QSizeF size(SettingsPanelMetrics::width, panelHeight());
    QMetaObject::invokeMethod(
        this, [this, size] {
            if (actions_.resize) actions_.resize(size);
        },
        Qt::QueuedConnection);
}

}  // namespace orvella::shell
