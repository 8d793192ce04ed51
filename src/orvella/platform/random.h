#pragma once

#include <cstdint>

namespace orvella {

// The system's random source. Values are never reproduced from a seed in the
// application; tests script them.
class Random {
public:
    virtual ~Random() = default;
    // A uniformly distributed integer in 0...2^53, both ends included.
    virtual std::uint64_t nextUnit53() = 0;
    // A uniformly distributed integer in 0..<upperBound (upperBound > 0).
    virtual std::uint64_t nextBelow(std::uint64_t upperBound) = 0;
};

constexpr std::uint64_t kTwoPow53 = std::uint64_t{1} << 53;

// A double in the closed interval [lo, hi]: u = 2^53 maps to hi exactly,
// anything else to lo + u * 2^-53 * (hi - lo).
inline double randomDouble(Random& random, double lo, double hi) {
    const std::uint64_t u = random.nextUnit53();
    if (u >= kTwoPow53) return hi;
    return lo + (static_cast<double>(u) * 0x1p-53) * (hi - lo);
}

}  // namespace orvella
