#include "shell/app_picker.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickImageProvider>
#include <QQuickView>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>
#include <mutex>

#include "render/canvas.h"
#include "orvella/platform/workspace.h"

namespace orvella::shell {

// The icons looked up so far, by entry path. Looked up on the main thread
// (the workspace is not made for other threads) and read by the image
// provider on Qt Quick's loader thread.
class EntryIcons {
public:
    QImage get(const QString& path) const {
        std::lock_guard lock(mutex_);
        return images_.value(path);
    }
    bool has(const QString& path) const {
        std::lock_guard lock(mutex_);
        return images_.contains(path);
    }
    void put(const QString& path, const QImage& image) {
        std::lock_guard lock(mutex_);
        images_.insert(path, image);
    }

private:
    mutable std::mutex mutex_;
    QHash<QString, QImage> images_;
};

namespace {

// Icons of desktop entries, by percent-encoded path, from the icons the
// model looked up before it handed out their addresses.
class EntryIconProvider : public QQuickImageProvider {
public:
    explicit EntryIconProvider(std::shared_ptr<EntryIcons> icons)
        : QQuickImageProvider(QQuickImageProvider::Image), icons_(std::move(icons)) {}
    QImage requestImage(const QString& id, QSize* size, const QSize& requested) override {
        QImage image = icons_->get(QUrl::fromPercentEncoding(id.toUtf8()));
        if (!image.isNull() && requested.isValid())
            image = image.scaled(requested, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        if (size) *size = image.size();
        return image;
    }

private:
    std::shared_ptr<EntryIcons> icons_;
};

}  // namespace

DesktopEntryFolder::DesktopEntryFolder(Workspace& workspace, QObject* parent)
    : QAbstractListModel(parent), workspace_(workspace), icons_(std::make_shared<EntryIcons>()) {}

int DesktopEntryFolder::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

QVariant DesktopEntryFolder::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const Entry& e = entries_[static_cast<size_t>(index.row())];
    switch (role) {
        case NameRole: return e.name;
        case PathRole: return e.path;
        case IconRole:
            if (e.isFolder) return QString();
            // Asked for by the view on the main thread, as a row comes into
            // sight: the icon is looked up here, once.
            if (!icons_->has(e.path)) {
                QImage image;
                if (auto icon = workspace_.iconForFile(e.path.toStdString()))
                    if (const auto* q = dynamic_cast<const render::QtImage*>(icon.get())) image = q->image();
                icons_->put(e.path, image);
            }
            return "image://orvella-entry/" + QString::fromUtf8(QUrl::toPercentEncoding(e.path));
        case IsFolderRole: return e.isFolder;
        case SelectedRole: return selected_.contains(e.path);
        default: return {};
    }
}

QHash<int, QByteArray> DesktopEntryFolder::roleNames() const {
    return {{NameRole, "name"}, {PathRole, "path"}, {IconRole, "iconSource"}, {IsFolderRole, "isFolder"},
            {SelectedRole, "selected"}};
}

// ~/.local/share/applications, or wherever XDG_DATA_HOME puts it.
QString DesktopEntryFolder::userFolder() const {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/applications";
}

void DesktopEntryFolder::setFolder(const QString& requested) {
    const QString folder = QDir::cleanPath(QDir(requested).absolutePath());
    QDir dir(folder);
    if (!dir.exists() || !QFileInfo(folder).isReadable()) {
        error_ = QString::fromUtf8("无法打开文件夹 ") + folder;
        Q_EMIT folderChanged();
        return;
    }
    std::vector<Entry> folders, entries;
    for (const QFileInfo& info :
         dir.entryInfoList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot | QDir::Readable, QDir::Name)) {
        if (info.isDir()) {
            folders.push_back({info.fileName(), info.absoluteFilePath(), true});
        } else if (info.suffix() == "desktop") {
            const std::string path = info.absoluteFilePath().toStdString();
            // Entries by the name the desktop shows, not by file name.
            entries.push_back({QString::fromStdString(workspace_.displayName(path)), info.absoluteFilePath(), false});
        }
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(entries.begin(), entries.end(),
                     [&](const Entry& a, const Entry& b) { return collator.compare(a.name, b.name) < 0; });
    beginResetModel();
    folder_ = folder;
    error_.clear();
    entries_ = std::move(folders);
    entries_.insert(entries_.end(), entries.begin(), entries.end());
    endResetModel();
    Q_EMIT folderChanged();
}

void DesktopEntryFolder::toggle(int row) {
    if (row < 0 || row >= rowCount()) return;
    const Entry& e = entries_[static_cast<size_t>(row)];
    if (e.isFolder) {
        setFolder(e.path);
        return;
    }
    if (selected_.contains(e.path))
        selected_.removeAll(e.path);
    else
        selected_.push_back(e.path);
    const QModelIndex at = index(row);
    Q_EMIT dataChanged(at, at, {SelectedRole});
    Q_EMIT selectionChanged();
}

void DesktopEntryFolder::up() {
    QDir dir(folder_);
    if (dir.cdUp()) setFolder(dir.absolutePath());
}

QStringList DesktopEntryFolder::selectedPaths() const { return selected_; }

ApplicationPicker::ApplicationPicker(Workspace& workspace, std::function<void(const QStringList&)> add,
                                     QObject* parent)
    : QObject(parent), workspace_(workspace), add_(std::move(add)) {}

ApplicationPicker::~ApplicationPicker() { view_.reset(); }

void ApplicationPicker::open() {
    if (view_) {
        view_->raise();
        view_->requestActivate();
        return;
    }
    view_ = std::make_unique<QQuickView>();
    view_->setTitle(QString::fromUtf8("选择要加入Orvella的应用"));
    view_->setResizeMode(QQuickView::SizeRootObjectToView);
    model_ = new DesktopEntryFolder(workspace_, view_.get());
    view_->engine()->addImageProvider("orvella-entry", new EntryIconProvider(model_->icons()));
    model_->setFolder(DesktopEntryFolder::systemFolder());
    view_->setInitialProperties({{"model", QVariant::fromValue<QObject*>(model_)},
                                 {"picker", QVariant::fromValue<QObject*>(this)}});
    view_->setSource(QUrl("qrc:/orvella/qml/AppPicker.qml"));
    view_->resize(560, 480);
    connect(view_.get(), &QWindow::visibleChanged, this, [this](bool visible) {
        if (!visible) QMetaObject::invokeMethod(this, &ApplicationPicker::cancel, Qt::QueuedConnection);
    });
    view_->show();
    view_->requestActivate();
}

void ApplicationPicker::accept() {
    if (!view_ || !model_) return;
    const QStringList chosen = model_->selectedPaths();
    finish();
    if (!chosen.isEmpty() && add_) add_(chosen);
}

void ApplicationPicker::cancel() { finish(); }

void ApplicationPicker::finish() {
    if (!view_) return;
    auto view = std::move(view_);
    model_ = nullptr;
    view->disconnect(this);
    view->hide();
    view.release()->deleteLater();
}

}  // namespace orvella::shell
