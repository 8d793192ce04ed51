#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

#include "shell/panel_ui.h"

namespace orvella::shell {

PanelUiFactory loadPanelUiPlugin(QString* error) {
    // Beside the executable in a build tree; where it is installed (relative
    // to the executable) otherwise.
    const QDir here(QCoreApplication::applicationDirPath());
    const QStringList places = {here.path(), QDir::cleanPath(here.filePath(QStringLiteral(ORVELLA_PLUGIN_DIR)))};
    QStringList reasons;
    for (const QString& place : places) {
        const QString path = QDir(place).filePath(QStringLiteral("orvella-panel.so"));
        if (!QFileInfo::exists(path)) continue;
        // Never unloaded: Qt Quick, once loaded, stays for the process.
        auto* library = new QLibrary(path);
        library->setLoadHints(QLibrary::PreventUnloadHint);
        auto entry = reinterpret_cast<PanelUiEntry>(library->resolve(ORVELLA_PANEL_UI_ENTRY));
        if (!entry) {
            reasons << library->errorString();
            delete library;
            continue;
        }
        return [entry](OrvellaController& controller, TrayScreen trayScreen) {
            return std::unique_ptr<PanelUi>(entry(&controller, &trayScreen));
        };
    }
    if (error) {
        *error = reasons.isEmpty() ? QStringLiteral("no orvella-panel.so in %1").arg(places.join(QStringLiteral(" or ")))
                                   : reasons.join(QStringLiteral("; "));
    }
    return {};
}

}  // namespace orvella::shell
