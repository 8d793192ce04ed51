#include "shell/shell.h"

#include <QQuickItem>
#include <QQuickView>

#include "orvella/controller/orvella_controller.h"
#include "shell/app_picker.h"
#include "shell/settings_window.h"
#include "shell/status_item.h"

namespace orvella::shell {

Shell::Shell(OrvellaController& controller, QObject* parent) : QObject(parent), controller_(controller) {
    status_ = std::make_unique<StatusItem>(controller_, [this] { showSettingsWindow(); });
    settings_ = std::make_unique<SettingsWindow>(
        controller_, [this] { return status_->screen(); }, [this] { addApplicationFromPicker(); });
    picker_ = std::make_unique<ApplicationPicker>(controller_.platform().workspace, [this](const QStringList& paths) {
        for (const QString& path : paths) controller_.addApplication(path.toStdString());
    });
}

Shell::~Shell() = default;

void Shell::showSettingsWindow() { settings_->show(); }

void Shell::addApplicationFromPicker() { picker_->open(); }

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

namespace {
// Items made by repeaters and containers sit in the visual tree, not always
// among their creator's children: search the visual tree.
QQuickItem* findItem(QQuickItem* item, const QString& name) {
    if (item->objectName() == name) return item;
    for (QQuickItem* child : item->childItems())
        if (QQuickItem* found = findItem(child, name)) return found;
    return nullptr;
}
}  // namespace

QString Shell::itemText(const QString& objectName) const {
    for (QQuickView* view : {settings_->view(), picker_->view()}) {
        if (!view || !view->rootObject()) continue;
        if (QQuickItem* item = findItem(view->rootObject(), objectName); item && item->isVisible())
            return item->property("text").toString();
    }
    return {};
}

QRect Shell::itemGeometry(const QString& objectName) const {
    for (QQuickView* view : {settings_->view(), picker_->view()}) {
        if (!view || !view->rootObject()) continue;
        QQuickItem* item = findItem(view->rootObject(), objectName);
        if (!item || !item->isVisible()) continue;
        const QPointF topLeft = item->mapToGlobal(QPointF(0, 0));
        return QRect(topLeft.toPoint(), QSize(static_cast<int>(item->width()), static_cast<int>(item->height())));
    }
    return {};
}

}  // namespace orvella::shell
