#pragma once
// The parts a person sees besides the fish: the tray item and its menu, the
// settings window and the application picker, wired to the controller.

#include <QObject>
#include <QRect>
#include <QStringList>
#include <memory>

namespace orvella {
class OrvellaController;
}

namespace orvella::shell {

class ApplicationPicker;
class SettingsWindow;
class StatusItem;

class Shell : public QObject {
    Q_OBJECT
public:
    explicit Shell(OrvellaController& controller, QObject* parent = nullptr);
    ~Shell() override;

    void showSettingsWindow();
    void addApplicationFromPicker();
    // With no tray host the window opens once, so that the person sees
    // Orvella is running.
    void announceStart();

    SettingsWindow& settingsWindow() { return *settings_; }
    ApplicationPicker& picker() { return *picker_; }
    StatusItem& statusItem() { return *status_; }

    // For scripts and tests: the menu as "title|checkable|checked" lines
    // (separators as "-"), and where a named control of the panel or the
    // picker is on the screen.
    QStringList describeMenu() const;
    QRect itemGeometry(const QString& objectName) const;
    // The text a named control of the settings window or the picker shows.
    QString itemText(const QString& objectName) const;

private:
    OrvellaController& controller_;
    std::unique_ptr<StatusItem> status_;
    std::unique_ptr<SettingsWindow> settings_;
    std::unique_ptr<ApplicationPicker> picker_;
};

}  // namespace orvella::shell
