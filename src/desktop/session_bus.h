#pragma once

namespace orvella::desktop {

// Whether a session bus is there to connect to: an address in the
// environment, or the bus socket in the runtime directory. Nothing here
// starts one.
bool sessionBusExists();

}  // namespace orvella::desktop
