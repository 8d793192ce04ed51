#include "x11/desktop.h"

namespace orvella::x11 {

X11Desktop::X11Desktop(std::filesystem::path defaultsFile)
    : services_(std::move(defaultsFile), &windows_),
      platform_(services_.platformWith(displays_, surfaces_, mouse_, accessibility_)) {
    // What a motion step moves and redraws goes out in one go at its end,
    // not on later turns of the event loop.
    services_.scheduler.setTickHooks(
        [this] {
            surfaces_.beginBatch();
            mouse_.pollIfQuiet();
        },
        [this] { surfaces_.endBatch(); });
}

}  // namespace orvella::x11
