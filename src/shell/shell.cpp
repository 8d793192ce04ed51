#include "shell/shell.h"

#include <cstdio>

#include "orvella/controller/orvella_controller.h"
#include "shell/status_item.h"

namespace orvella::shell {

Shell::Shell(OrvellaController& controller, PanelUiFactory panel, QObject* parent)
    : QObject(parent), controller_(controller), panel_(std::move(panel)) {
    status_ = std::make_unique<StatusItem>(controller_, [this] { showSettingsWindow(); });
}

Shell::~Shell() = default;

PanelUi* Shell::ui() {
    if (ui_ || panelFailed_) return ui_.get();
    if (!panel_) {
        QString error;
        panel_ = loadPanelUiPlugin(&error);
        if (!panel_) {
            panelFailed_ = true;
            std::fprintf(stderr, "orvella: the settings window cannot be shown: %s\n", qPrintable(error));
            return nullptr;
        }
    }
    ui_ = panel_(controller_, [this] { return status_->screen(); });
    return ui_.get();
}

void Shell::showSettingsWindow() {
    if (PanelUi* panel = ui()) panel->showSettings();
}

void Shell::addApplicationFromPicker() {
    if (PanelUi* panel = ui()) panel->openPicker();
}

void Shell::announceStart() {
    if (!StatusItem::isTrayAvailable()) showSettingsWindow();
}

QStringList Shell::describeMenu() const {
    status_->refresh();
    QStringList out;
    for (QAction* action : status_->menu().actions()) {
        if (!action->isVisible()) continue;
        if (action->isSeparator()) {
            out << "-";
            continue;
        }
        out << QString("%1|%2|%3").arg(action->text()).arg(action->isCheckable()).arg(action->isChecked());
    }
    return out;
}

QString Shell::itemText(const QString& objectName) const { return ui_ ? ui_->itemText(objectName) : QString(); }

QRect Shell::itemGeometry(const QString& objectName) const { return ui_ ? ui_->itemGeometry(objectName) : QRect(); }

}  // namespace orvella::shell
