#pragma once
// The settings window: one borderless, translucent Qt Quick window holding
// the panel, placed on the preferred display and resized at the panel's
// request, keeping its top edge and horizontal centre.

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSizeF>
#include <functional>
#include <memory>
#include <optional>

#include "orvella/platform/displays.h"

class QQuickView;
class QVariantAnimation;

namespace orvella {
class OrvellaController;
}

namespace orvella::shell {

class AppIconProvider;
class PanelAdapter;

class SettingsWindow : public QObject {
    Q_OBJECT
public:
    // `trayScreen` says which display shows the tray item, if any; `add`
    // opens the application picker.
    SettingsWindow(OrvellaController& controller, std::function<std::optional<DisplayInfo>()> trayScreen,
                   std::function<void()> add, QObject* parent = nullptr);
    ~SettingsWindow() override;

    // Creates the window, or brings the one there is to the front; centres
    // it on the preferred display either way.
    void show();
    void close();
    bool isOpen() const { return view_ != nullptr; }
    QQuickView* view() const { return view_.get(); }
    PanelAdapter* adapter() const { return adapter_; }
    // The panel's size request.
    void resize(QSizeF size);

Q_SIGNALS:
    void opened();
    void closed();

private:
    std::optional<DisplayInfo> preferredScreen() const;
    std::optional<DisplayInfo> windowScreen() const;
    void center(const std::optional<DisplayInfo>& screen);
    void setFrame(const QRect& frame, bool animate);
    void place(const QRect& frame);
    void requestBlurBehind();
    bool eventFilter(QObject* watched, QEvent* event) override;

    OrvellaController& controller_;
    std::function<std::optional<DisplayInfo>()> trayScreen_;
    std::function<void()> add_;
    std::unique_ptr<QQuickView> view_;
    PanelAdapter* adapter_ = nullptr;
    AppIconProvider* icons_ = nullptr;
    QPointer<QVariantAnimation> animation_;
};

}  // namespace orvella::shell
