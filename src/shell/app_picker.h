#pragma once
// The application chooser: desktop entries of a folder by icon and name,
// several at a time, with browsing to other folders.

#include <QAbstractListModel>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>

class QQuickView;

namespace orvella {
class Workspace;
}

namespace orvella::shell {

class EntryIcons;

class DesktopEntryFolder : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(QString folder READ folder WRITE setFolder NOTIFY folderChanged)
    Q_PROPERTY(QString error READ error NOTIFY folderChanged)
public:
    enum Role { NameRole = Qt::UserRole + 1, PathRole, IconRole, IsFolderRole, SelectedRole };
    DesktopEntryFolder(Workspace& workspace, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    QString folder() const { return folder_; }
    // Lists the folder: its subfolders first, then its desktop entries by
    // name. A folder that cannot be read keeps the old listing and says why.
    void setFolder(const QString& folder);
    QString error() const { return error_; }

    Q_INVOKABLE void toggle(int row);
    Q_INVOKABLE void up();
    Q_INVOKABLE QStringList selectedPaths() const;
    Q_INVOKABLE int selectedCount() const { return static_cast<int>(selected_.size()); }
    static QString systemFolder() { return "/usr/share/applications"; }
    Q_INVOKABLE QString userFolder() const;
    // The icons of the entries shown so far, shared with the image provider.
    const std::shared_ptr<EntryIcons>& icons() const { return icons_; }

Q_SIGNALS:
    void folderChanged();
    void selectionChanged();

private:
    struct Entry {
        QString name, path;
        bool isFolder = false;
    };
    Workspace& workspace_;
    QString folder_;
    QString error_;
    std::vector<Entry> entries_;
    QStringList selected_;  // in the order chosen
    std::shared_ptr<EntryIcons> icons_;
};

class ApplicationPicker : public QObject {
    Q_OBJECT
public:
    // `add` receives every chosen entry, in the order chosen.
    ApplicationPicker(Workspace& workspace, std::function<void(const QStringList&)> add, QObject* parent = nullptr);
    ~ApplicationPicker() override;
    // Shows the chooser in the system folder, or brings it forward.
    void open();
    bool isOpen() const { return view_ != nullptr; }
    QQuickView* view() const { return view_.get(); }
    DesktopEntryFolder* model() const { return model_; }

    Q_INVOKABLE void accept();
    Q_INVOKABLE void cancel();

private:
    void finish();
    Workspace& workspace_;
    std::function<void(const QStringList&)> add_;
    std::unique_ptr<QQuickView> view_;
    DesktopEntryFolder* model_ = nullptr;
};

}  // namespace orvella::shell
