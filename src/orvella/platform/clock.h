#pragma once

namespace orvella {

// Seconds since 2001-01-01 00:00 UTC. Every deadline in the tank is an
// absolute time on this clock.
using Time = double;

class Clock {
public:
    virtual ~Clock() = default;
    virtual Time now() const = 0;
};

}  // namespace orvella
