// The Qt Quick side of the shell: the settings window and the application
// picker, made by the plugin's entry point or, in the shell's tests, directly.

#include <QQuickItem>
#include <QQuickView>

#include "orvella/controller/orvella_controller.h"
#include "shell/app_picker.h"
#include "shell/panel_ui.h"
#include "shell/settings_window.h"

namespace orvella::shell {

namespace {

// Items made by repeaters and containers sit in the visual tree, not always
// among their creator's children: search the visual tree.
QQuickItem* findItem(QQuickItem* item, const QString& name) {
    if (item->objectName() == name) return item;
    for (QQuickItem* child : item->childItems())
        if (QQuickItem* found = findItem(child, name)) return found;
    return nullptr;
}

class QuickPanelUi final : public PanelUi {
public:
    QuickPanelUi(OrvellaController& controller, TrayScreen trayScreen)
        : settings_(controller, std::move(trayScreen), [this] { openPicker(); }),
          picker_(controller.platform().workspace, [&controller](const QStringList& paths) {
              for (const QString& path : paths) controller.addApplication(path.toStdString());
          }) {}

    void showSettings() override { settings_.show(); }
    void openPicker() override { picker_.open(); }
    bool isSettingsOpen() const override { return settings_.isOpen(); }

    QString itemText(const QString& objectName) const override {
        for (QQuickView* view : {settings_.view(), picker_.view()}) {
            if (!view || !view->rootObject()) continue;
            if (QQuickItem* item = findItem(view->rootObject(), objectName); item && item->isVisible())
                return item->property("text").toString();
        }
        return {};
    }

    QRect itemGeometry(const QString& objectName) const override {
        for (QQuickView* view : {settings_.view(), picker_.view()}) {
            if (!view || !view->rootObject()) continue;
            QQuickItem* item = findItem(view->rootObject(), objectName);
            if (!item || !item->isVisible()) continue;
            const QPointF topLeft = item->mapToGlobal(QPointF(0, 0));
            return QRect(topLeft.toPoint(), QSize(static_cast<int>(item->width()), static_cast<int>(item->height())));
        }
        return {};
    }

private:
    SettingsWindow settings_;
    ApplicationPicker picker_;
};

}  // namespace

std::unique_ptr<PanelUi> makeQuickPanelUi(OrvellaController& controller, TrayScreen trayScreen) {
    return std::make_unique<QuickPanelUi>(controller, std::move(trayScreen));
}

}  // namespace orvella::shell

extern "C" Q_DECL_EXPORT orvella::shell::PanelUi* orvella_make_panel_ui(orvella::OrvellaController* controller,
                                                                       const orvella::shell::TrayScreen* trayScreen) {
    return orvella::shell::makeQuickPanelUi(*controller, *trayScreen).release();
}
