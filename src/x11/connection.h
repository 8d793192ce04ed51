#pragma once
// The X connection Qt opened, and the little the rest of Orvella asks of X11
// directly. Null without X11 (pure Wayland).

typedef struct _XDisplay Display;
typedef struct xcb_connection_t xcb_connection_t;
class QWindow;

namespace orvella::x11 {

Display* x11Display();
xcb_connection_t* xcbConnection();
// Whether an X display can be opened at all (before Qt starts: without one
// nothing of the X11 backend can show).
bool canOpenDisplay();
// Asks compositors that blur what lies behind a window (KWin, picom with
// its blur on) to blur all of this one's; nothing without X11.
void requestBlurBehind(QWindow* window);

}  // namespace orvella::x11
