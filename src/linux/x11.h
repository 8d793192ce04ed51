#pragma once
// Access to the X connection Qt opened; null without X11 (pure Wayland).

typedef struct _XDisplay Display;

namespace orvella::linux_desktop {

Display* x11Display();

}  // namespace orvella::linux_desktop
