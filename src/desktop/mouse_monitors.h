#pragma once
// What both backends' mice share: the global and local monitors, kept and
// delivered one way, and the pointer and presses the compositor's provider
// reports.

#include <QPointF>
#include <functional>
#include <optional>

#include "desktop/handler_registry.h"
#include "orvella/platform/mouse.h"

namespace orvella::desktop {

class DesktopMouse : public MouseMonitors {
public:
    int addGlobalMonitor(std::function<void(const MouseEvent&)> handler) override {
        return monitors_.add(std::move(handler), kGlobal);
    }
    int addLocalMonitor(std::function<void(const MouseEvent&)> handler) override {
        return monitors_.add(std::move(handler), kLocal);
    }
    void removeMonitor(int handle) override { monitors_.remove(handle); }

    // What the compositor's provider reports of the pointer and of presses
    // over windows this backend cannot see, in the layout's pixels (or the
    // X screen's): they go to the global monitors.
    virtual void providerPointerMoved(QPointF at) = 0;
    virtual void providerPressed(QPointF at, Modifiers modifiers) = 0;
    // Where the provider says the pointer is, while it reports one.
    void setProviderPointer(std::function<std::optional<QPointF>()> pointer) { providerPointer_ = std::move(pointer); }

protected:
    void deliverGlobal(const MouseEvent& e) { monitors_.deliverTo(kGlobal, e); }
    void deliverLocal(const MouseEvent& e) { monitors_.deliverTo(kLocal, e); }
    std::optional<QPointF> providerPointer() const { return providerPointer_ ? providerPointer_() : std::nullopt; }
    bool hasGlobalMonitors() const { return monitors_.anyIn(kGlobal); }
    bool hasProviderPointer() const { return static_cast<bool>(providerPointer_); }

private:
    static constexpr int kGlobal = 0, kLocal = 1;
    HandlerRegistry<const MouseEvent&> monitors_;
    std::function<std::optional<QPointF>()> providerPointer_;
};

}  // namespace orvella::desktop
