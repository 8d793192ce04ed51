#pragma once
// The settings window and the application picker, as the rest of the shell
// sees them. They are Qt Quick, which is large: they live in a plugin that
// is loaded the first time either is asked for, so that a school swimming
// with its settings never opened carries none of Qt Quick or QML.

#include <QRect>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "orvella/platform/displays.h"

namespace orvella {
class OrvellaController;
}

namespace orvella::shell {

class PanelUi {
public:
    virtual ~PanelUi() = default;
    virtual void showSettings() = 0;
    virtual void openPicker() = 0;
    virtual bool isSettingsOpen() const = 0;
    // The text a named control of the settings window or the picker shows,
    // and where it is on the screen (for scripts and tests).
    virtual QString itemText(const QString& objectName) const = 0;
    virtual QRect itemGeometry(const QString& objectName) const = 0;
};

// `trayScreen` says which display shows the tray item, if any.
using TrayScreen = std::function<std::optional<DisplayInfo>()>;
using PanelUiFactory = std::function<std::unique_ptr<PanelUi>(OrvellaController&, TrayScreen)>;

// The plugin's entry point, by this name.
#define ORVELLA_PANEL_UI_ENTRY "orvella_make_panel_ui"
using PanelUiEntry = PanelUi* (*)(OrvellaController* controller, const TrayScreen* trayScreen);

// Made in this process from what is linked into it (the shell's tests).
std::unique_ptr<PanelUi> makeQuickPanelUi(OrvellaController& controller, TrayScreen trayScreen);

// Loads the plugin from beside the executable, else from the folder it is
// installed in; a null factory and the reason when neither holds it.
PanelUiFactory loadPanelUiPlugin(QString* error);

}  // namespace orvella::shell
