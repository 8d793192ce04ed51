#pragma once
// The parts a person sees besides the fish: the tray item and its menu, the
// settings window and the application picker, wired to the controller.

#include <QObject>
#include <QRect>
#include <QStringList>
#include <memory>

#include "shell/panel_ui.h"

namespace orvella {
class OrvellaController;
}

namespace orvella::shell {

class StatusItem;

class Shell : public QObject {
    Q_OBJECT
public:
    // The settings window and the picker come from `panel` when they are
    // first asked for; by default from the panel plugin.
    explicit Shell(OrvellaController& controller, PanelUiFactory panel = {}, QObject* parent = nullptr);
    ~Shell() override;

    void showSettingsWindow();
    void addApplicationFromPicker();
    // With no tray host the window opens once, so that the person sees
    // Orvella is running.
    void announceStart();

    bool isSettingsWindowOpen() const { return ui_ && ui_->isSettingsOpen(); }
    StatusItem& statusItem() { return *status_; }

    // For scripts and tests: the menu as "title|checkable|checked" lines
    // (separators as "-"), and where a named control of the panel or the
    // picker is on the screen.
    QStringList describeMenu() const;
    QRect itemGeometry(const QString& objectName) const;
    // The text a named control of the settings window or the picker shows.
    QString itemText(const QString& objectName) const;

private:
    // Made when first needed; null (and said once) when the plugin is missing.
    PanelUi* ui();

    OrvellaController& controller_;
    PanelUiFactory panel_;
    bool panelFailed_ = false;
    std::unique_ptr<StatusItem> status_;
    std::unique_ptr<PanelUi> ui_;
};

}  // namespace orvella::shell
