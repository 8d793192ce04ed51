#include "linux/x11.h"

#include <QGuiApplication>

namespace orvella::linux_desktop {

Display* x11Display() {
    if (!qGuiApp) return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->display() : nullptr;
}

}  // namespace orvella::linux_desktop
