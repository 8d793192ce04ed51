#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QPointF>
#include <functional>
#include <chrono>
#include <map>
#include <optional>
#include <set>

#include "desktop/mouse_monitors.h"

namespace orvella::x11 {

// The pointer of the whole desktop, read, never grabbed. XInput2 raw motion
// and raw button presses on the root window say that something happened;
// the pointer's position and modifier keys are then read once per turn of
// the event loop, so a burst of motion costs one read. Presses on this
// application's own windows are handled by an application event filter
// instead, synchronously, before the window sees them, and only there.
class X11Mouse : public QObject, public desktop::DesktopMouse, public QAbstractNativeEventFilter {
public:
    // Without `useXInput` the desktop's own presses and raw motion go
    // unheard, as on a server lacking XInput2.
    explicit X11Mouse(bool useXInput = true);
    ~X11Mouse() override;
    Point mouseLocation() const override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Whether raw pointer motion could be selected on this server.
    bool watchesMotion() const { return xiOpcode_ >= 0; }
    // Called on every timer tick: a pointer moved by software (a warp, as
    // automation tools do) makes no raw motion, so while none has come for
    // a second the position is asked for ten times a second. The answer is
    // collected at the next of those polls, so the tick never waits for
    // the server.
    void pollIfQuiet();
    // A compositor's provider reports the pointer and presses over windows
    // XWayland cannot see: they go to the global monitors, in X-screen
    // coordinates, and its pointer is the one mouseLocation gives.
    void providerPointerMoved(QPointF at) override;
    void providerPressed(QPointF at, Modifiers modifiers) override;

private:
    void sample();
    void samplePress();
    Modifiers heldModifiers() const;
    // Keys held, followed from raw key events in the order the server saw
    // them, so that a click's modifiers are those of the moment of the click
    // even when the event is read late.
    std::set<int> heldKeys_;
    std::map<int, int> modifierOfKey_;  // keycode -> X modifier index
    bool tracksKeys_ = false;
    std::chrono::steady_clock::time_point lastRaw_{};
    int ticks_ = 0;
    int xiOpcode_ = -1;
    bool sampleQueued_ = false;
    Point last_;
    // The sequence number of the quiet poll's question still unanswered.
    std::optional<unsigned int> pendingQuery_;
    bool providerKnowsPointer() const;
};

}  // namespace orvella::x11
